#include "outputfile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "perror.h"

#ifdef _WIN32
namespace fs = std::filesystem;

namespace {
[[noreturn]] void Refuse(const std::string& text) { throw PInternalError(text.c_str()); }

// The tools' paths are UTF-8; Windows takes them as UTF-16.
std::wstring Wide(const std::string& utf8) { return fs::u8path(utf8).wstring(); }

std::string SystemText(DWORD error) { return std::system_category().message(int(error)); }
}  // namespace

void CheckOutputTarget(const std::string& target) {
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        Refuse("cannot examine the output '" + target + "': " + SystemText(error));
    }
    const char* kind = (attributes & FILE_ATTRIBUTE_DIRECTORY)       ? "a folder"
                       : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "a symbolic link"
                       : (attributes & FILE_ATTRIBUTE_DEVICE)        ? "a device"
                                                                     : nullptr;
    if (kind)
        Refuse("the output '" + target + "' is " + kind + ", not a regular file; it is left alone");
}

bool IsInsideFolder(const std::string& path, const std::string& folder) {
    std::error_code ec;
    const fs::path inner = fs::weakly_canonical(fs::absolute(fs::u8path(path), ec), ec);
    if (ec)
        return false;
    const fs::path outer = fs::weakly_canonical(fs::absolute(fs::u8path(folder), ec), ec);
    if (ec)
        return false;
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty())
            continue;
        if (i == inner.end() || _wcsicmp(i->c_str(), o->c_str()) != 0)
            return false;
    }
    return true;
}

PendingOutputFile::PendingOutputFile(const std::string& target) : target_(target) {
    CheckOutputTarget(target);
    // A name nobody else uses: the process and a counter, created exclusively.
    for (unsigned attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const std::string name = target + ".part-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        fd_ = _wopen(Wide(name).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd_ >= 0)
            temporary_ = name;
        else if (errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        Refuse("cannot create a file beside '" + target + "': " + std::strerror(errno));
}

PendingOutputFile::~PendingOutputFile() {
    if (fd_ >= 0)
        _close(fd_);
    if (!temporary_.empty())
        _wunlink(Wide(temporary_).c_str());
}

void PendingOutputFile::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const unsigned piece = unsigned(size < (1u << 30) ? size : (1u << 30));
        int n = _write(fd_, p, piece);
        if (n <= 0)
            Fail("write", n < 0 ? errno : ENOSPC);
        p += n;
        size -= size_t(n);
    }
}

void PendingOutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    const long long end = _lseeki64(fd_, 0, SEEK_END);
    if (end < 0 || _lseeki64(fd_, static_cast<long long>(offset), SEEK_SET) < 0)
        Fail("write", errno);
    Write(data, size);
    // Write appends: the end is where the next piece goes.
    if (_lseeki64(fd_, 0, SEEK_END) < 0)
        Fail("write", errno);
}

void PendingOutputFile::Commit(mode_t) {
    // Windows has no mode bits to give: a program runs by its name.
    if (_commit(fd_) != 0)
        Fail("write", errno);
    const int closing = fd_;
    fd_ = -1;
    if (_close(closing) != 0)
        Fail("write", errno);
    CheckOutputTarget(target_);
    if (!MoveFileExW(Wide(temporary_).c_str(), Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Refuse("cannot write '" + target_ + "': " + SystemText(GetLastError()));
    temporary_.clear();
}

#else  // POSIX

namespace fs = std::filesystem;

namespace {
[[noreturn]] void Refuse(const std::string& text) { throw PInternalError(text.c_str()); }

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}
}  // namespace

void CheckOutputTarget(const std::string& target) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return;
        Refuse("cannot examine the output '" + target + "': " + std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode))
        Refuse("the output '" + target + "' is " + KindOf(st.st_mode) + ", not a regular file; it is left alone");
}

bool IsInsideFolder(const std::string& path, const std::string& folder) {
    std::error_code ec;
    const fs::path inner = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec)
        return false;
    const fs::path outer = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    if (ec)
        return false;
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty())  // the trailing separator of "dir/"
            continue;
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

PendingOutputFile::PendingOutputFile(const std::string& target) : target_(target) {
    CheckOutputTarget(target);
    std::string name = target + ".part-XXXXXX";
    fd_ = mkstemp(&name[0]);
    if (fd_ < 0)
        Refuse("cannot create a file beside '" + target + "': " + std::strerror(errno));
    temporary_ = name;
}

PendingOutputFile::~PendingOutputFile() {
    if (fd_ >= 0)
        close(fd_);
    if (!temporary_.empty())
        unlink(temporary_.c_str());
}

void PendingOutputFile::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail("write", n < 0 ? errno : ENOSPC);
        p += n;
        size -= size_t(n);
    }
}

void PendingOutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, p, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail("write", n < 0 ? errno : ENOSPC);
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
}

void PendingOutputFile::Commit(mode_t mode) {
    if (fsync(fd_) != 0)
        Fail("write", errno);
    if (fchmod(fd_, mode) != 0)
        Fail("write", errno);
    const int closing = fd_;
    fd_ = -1;
    if (close(closing) != 0)
        Fail("write", errno);
    // The target may have been replaced while the output was being made.
    CheckOutputTarget(target_);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        Fail("write", errno);
    temporary_.clear();
}

#endif

// The same on every system.
PendingOutputFile::PendingOutputFile(PendingOutputFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)), fd_(other.fd_) {
    other.fd_ = -1;
    other.temporary_.clear();
}

void PendingOutputFile::Fail(const std::string& what, int error) {
    Refuse("cannot " + what + " '" + target_ + "': " + std::strerror(error));
}

void WriteOutputFile(const std::string& target, const std::string& bytes, mode_t mode) {
    PendingOutputFile out(target);
    out.Write(bytes.data(), bytes.size());
    out.Commit(mode);
}
