#include "payloadfilesource.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "pencoding.h"
#include "payloadnames.h"

namespace {
#ifdef _WIN32
// The system's text for a Windows error code, with the code.
PString SystemText(DWORD code) {
    PString text;
    if (!PSystemErrorDescription(code, text))
        text.assign("Windows error");
    text.append(" (").appendUint(code).append(")");
    return text;
}
#endif
}  // namespace

PayloadFileSource::PayloadFileSource(uint32_t bufferSize)
    : file_(kNoFile), regionStart_(0), length_(0), buffer_(bufferSize ? bufferSize : 1), bufferStart_(0),
      filled_(0) {}

PayloadFileSource::~PayloadFileSource() { Close(); }

void PayloadFileSource::Close() {
    if (file_ == kNoFile)
        return;
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(file_));
#else
    close(int(file_));
#endif
    file_ = kNoFile;
    length_ = 0;
    filled_ = 0;
}

bool PayloadFileSource::Region(uint64_t fileSize, uint64_t offset, uint32_t length, PString* why) {
    uint64_t end = length == kToEnd ? fileSize : offset + length;
    if (offset > fileSize || end > fileSize || end < offset) {
        if (why)
            why->assign(name_.text()).append(": shorter than the payload it should hold");
        Close();
        return false;
    }
    if (end - offset >= kToEnd) {
        if (why)
            why->assign(name_.text()).append(": 4 GiB or larger, too large for an archive");
        Close();
        return false;
    }
    regionStart_ = offset;
    length_ = uint32_t(end - offset);
    bufferStart_ = 0;
    filled_ = 0;
    return true;
}

#ifdef _WIN32
bool PayloadFileSource::Open(const char* utf8Path, uint64_t offset, uint32_t length, PString* why) {
    PWString wide;
    if (!Utf8ToUtf16(utf8Path, uint32_t(std::strlen(utf8Path)), wide)) {
        Close();
        if (why)
            why->assign(utf8Path).append(": not a valid name");
        return false;
    }
    wide.terminate();
    return Open(wide.wide(), offset, length, why);
}

bool PayloadFileSource::Open(const wchar_t* path, uint64_t offset, uint32_t length, PString* why) {
    Close();
    name_.clear();
    for (const wchar_t* c = path; *c; ++c)
        PAppendUtf8(name_, uint16_t(*c));
    // Shared for everything: the installer reads its own running executable.
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (why)
            why->assign(name_.text()).append(": cannot open: ").append(SystemText(GetLastError()));
        return false;
    }
    file_ = reinterpret_cast<intptr_t>(h);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        if (why)
            why->assign(name_.text()).append(": cannot read its size: ").append(SystemText(GetLastError()));
        Close();
        return false;
    }
    return Region(uint64_t(size.QuadPart), offset, length, why);
}
#else
bool PayloadFileSource::Open(const char* utf8Path, uint64_t offset, uint32_t length, PString* why) {
    Close();
    name_.assign(utf8Path);
    int fd = open(utf8Path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (why)
            why->assign(name_.text()).append(": ").append(std::strerror(errno));
        return false;
    }
    file_ = fd;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (why)
            why->assign(name_.text()).append(": not a regular file");
        Close();
        return false;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return Region(uint64_t(st.st_size), offset, length, why);
}
#endif

void PayloadFileSource::ReadFailed(const char* reason) {
    PString text(name_);
    text.append(": ").append(reason);
    throw PayloadReadError(text.text());
}

// Reads the buffer full from offset on (or up to the region's end).
void PayloadFileSource::Fill(uint32_t offset) {
    if (file_ == kNoFile)
        ReadFailed("not open");
    uint32_t want = length_ - offset;
    if (want > buffer_.size())
        want = uint32_t(buffer_.size());
    filled_ = 0;
    bufferStart_ = offset;
    uint64_t at = regionStart_ + offset;
    while (filled_ < want) {
#ifdef _WIN32
        OVERLAPPED position = {};
        position.Offset = DWORD(at);
        position.OffsetHigh = DWORD(at >> 32);
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file_), buffer_.data() + filled_, want - filled_, &got, &position)) {
            DWORD code = GetLastError();
            if (code != ERROR_HANDLE_EOF)
                ReadFailed(PString("cannot read: ").append(SystemText(code)).text());
            got = 0;
        }
#else
        ssize_t got = pread(int(file_), buffer_.data() + filled_, want - filled_, off_t(at));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ReadFailed(PString("cannot read: ").append(std::strerror(errno)).text());
        }
#endif
        if (got == 0) {
            filled_ = 0;
            ReadFailed("ends before the payload it should hold");
        }
        filled_ += uint32_t(got);
        at += uint32_t(got);
    }
}

const uint8_t* PayloadFileSource::Read(uint32_t offset, uint32_t maxLength, uint32_t* length) {
    if (offset < bufferStart_ || offset - bufferStart_ >= filled_)
        Fill(offset);
    uint32_t inBuffer = filled_ - (offset - bufferStart_);
    *length = inBuffer < maxLength ? inBuffer : maxLength;
    return buffer_.data() + (offset - bufferStart_);
}
