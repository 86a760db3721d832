#include <windows.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <direct.h>
#include <io.h>
#include <new>
#include <utility>

#include "pcrterror.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "pfile_win.h"
#include "pshellcalls.h"
#include "pwideapi.h"

namespace {

// A narrow path made ready for one call: wide() for the W function when
// isWide(), otherwise ansi() for the A function (the narrow text unchanged
// when there is no encoding).
class PathArg {
public:
    PathArg(const char* path, const PStringEncoding* encoding) : wide_(false), ansi_(path ? path : "") {
        if (!encoding)
            return;
        ToWide(w_, path, encoding);
        w_.terminate();
        if (UseWideApi()) {
            wide_ = true;
        } else {
            WideToAnsi(converted_, w_.wide());
            ansi_ = converted_.text();
        }
    }
    bool isWide() const { return wide_; }
    const wchar_t* wide() const { return w_.wide(); }
    const char* ansi() const { return ansi_; }

private:
    bool wide_;
    PWString w_;
    PString converted_;
    const char* ansi_;
};

constexpr uint64_t kFileTime1970 = 116444736000000000ull;

}  // namespace

FILE* OpenFile(const char* path, const char* mode, const PStringEncoding* encoding, uint32_t* failureCode) {
    PathArg p(path, encoding);
    PWString wmode;
    for (const char* m = mode; *m; ++m)
        wmode.append(uint8_t(*m));
    wmode.terminate();
    ClearCrtFailure();
    FILE* f = p.isWide() ? _wfopen(p.wide(), wmode.wide()) : std::fopen(p.ansi(), mode);
    if (!f && failureCode)
        *failureCode = CrtFailureCode(kCrtOpenFailed);
    return f;
}

bool MoveFileReplacing(const char* from, const char* to, const PStringEncoding* encoding) {
    PathArg a(from, encoding), b(to, encoding);
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    return a.isWide() ? MoveFileExW(a.wide(), b.wide(), flags) != 0 : MoveFileExA(a.ansi(), b.ansi(), flags) != 0;
}

bool RemoveFile(const char* path, const PStringEncoding* encoding) {
    PathArg p(path, encoding);
    return (p.isWide() ? _wunlink(p.wide()) : _unlink(p.ansi())) == 0;
}

bool FileExists(const char* path, const PStringEncoding* encoding) {
    PathArg p(path, encoding);
    DWORD attributes = p.isWide() ? GetFileAttributesW(p.wide()) : GetFileAttributesA(p.ansi());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

bool CreateFolder(const char* path, const PStringEncoding* encoding, uint32_t* failureCode) {
    PathArg p(path, encoding);
    ClearCrtFailure();
    if ((p.isWide() ? _wmkdir(p.wide()) : _mkdir(p.ansi())) == 0)
        return true;
    int error = errno;
    if (failureCode)
        *failureCode = CrtFailureCode(kCrtCreateFailed);
    if (error == EEXIST)
        return false;
    PString why("Unable to create directory: ");
    why.appendInt(error);
    throw PInternalError(why.text());
}

void CopyFile(const char* from, const char* to, const PStringEncoding* encoding) {
    PathArg a(from, encoding), b(to, encoding);
    BOOL ok = a.isWide() ? CopyFileW(a.wide(), b.wide(), FALSE) : CopyFileA(a.ansi(), b.ansi(), FALSE);
    if (ok)
        return;
    DWORD error = GetLastError();
    PString why("Unable to copy file: '");
    why.append(from).append("' err=").appendUint(error);
    throw PInternalError(why.text());
}

bool DirectoryExists(const char* path, const PStringEncoding* encoding) {
    FileFinder finder(encoding);
    bool found = finder.First(path);
    bool folder = found && finder.IsFolder();
    finder.Close();
    if (found && !folder)
        throw PInternalError("same name object but not a directory");
    return found;
}

namespace {
ShellActionLog g_shellActionLog = nullptr;
}  // namespace

void SetShellActionLog(ShellActionLog log) { g_shellActionLog = log; }

intptr_t OpenBrowserWindow(const char* address, const PStringEncoding* encoding) {
    if (g_shellActionLog) {
        PString line("OpenBrowserWindow( ");
        line.append(address);
        line.append(" )");
        g_shellActionLog(line.text());
    }
    return PShellExecute(nullptr, "open", address, nullptr, nullptr, encoding, SW_SHOWNORMAL);
}

PWriteFile::~PWriteFile() {
    if (handle_)
        CloseHandle(handle_);
    delete[] buffer_;
}

PWriteFile::PWriteFile(PWriteFile&& other) noexcept
    : handle_(other.handle_), buffer_(other.buffer_), capacity_(other.capacity_), used_(other.used_) {
    other.handle_ = nullptr;
    other.buffer_ = nullptr;
    other.capacity_ = other.used_ = 0;
}

PWriteFile& PWriteFile::operator=(PWriteFile&& other) noexcept {
    if (this != &other) {
        if (handle_)
            CloseHandle(handle_);
        delete[] buffer_;
        handle_ = other.handle_;
        buffer_ = other.buffer_;
        capacity_ = other.capacity_;
        used_ = other.used_;
        other.handle_ = nullptr;
        other.buffer_ = nullptr;
        other.capacity_ = other.used_ = 0;
    }
    return *this;
}

bool PWriteFile::Create(const char* path, const PStringEncoding* encoding, uint32_t bufferSize,
                        uint32_t* failureCode) {
    if (handle_) {
        uint32_t ignored;
        Close(&ignored);
    }
    if (!buffer_ || capacity_ != bufferSize) {
        delete[] buffer_;
        capacity_ = bufferSize ? bufferSize : 1;
        buffer_ = new char[capacity_];
    }
    used_ = 0;
    PathArg p(path, encoding);
    SetLastError(0);
    HANDLE h = p.isWide() ? CreateFileW(p.wide(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : CreateFileA(p.ansi(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *failureCode = code ? code : kCrtOpenFailed;
        return false;
    }
    handle_ = h;
    return true;
}

bool PWriteFile::Flush(uint32_t* failureCode) {
    uint32_t done = 0;
    while (done < used_) {
        DWORD written = 0;
        SetLastError(0);
        if (!WriteFile(handle_, buffer_ + done, used_ - done, &written, nullptr) || written == 0) {
            const DWORD code = GetLastError();
            *failureCode = code ? code : kCrtWriteFailed;
            return false;
        }
        done += written;
    }
    used_ = 0;
    return true;
}

bool PWriteFile::Write(const void* data, uint32_t size, uint32_t* failureCode) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (used_ == capacity_ && !Flush(failureCode))
            return false;
        uint32_t n = capacity_ - used_ < size ? capacity_ - used_ : size;
        std::memcpy(buffer_ + used_, p, n);
        used_ += n;
        p += n;
        size -= n;
    }
    return true;
}

bool PWriteFile::Close(uint32_t* failureCode) {
    if (!handle_)
        return true;
    bool ok = Flush(failureCode);
    HANDLE h = handle_;
    handle_ = nullptr;
    used_ = 0;
    SetLastError(0);
    if (!CloseHandle(h) && ok) {
        const DWORD code = GetLastError();
        *failureCode = code ? code : kCrtWriteFailed;
        ok = false;
    }
    return ok;
}

FileFinder::FileFinder(const PStringEncoding* encoding)
    : encoding_(encoding), handle_(INVALID_HANDLE_VALUE), wide_(encoding && UseWideApi()), holdsWide_(false) {
    std::memset(&data_, 0, sizeof data_);
}

FileFinder::FileFinder(FileFinder&& other) noexcept
    : encoding_(other.encoding_), data_(other.data_), handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)),
      wide_(other.wide_), holdsWide_(other.holdsWide_) {}

FileFinder& FileFinder::operator=(FileFinder&& other) noexcept {
    if (this != &other) {
        Close();
        encoding_ = other.encoding_;
        data_ = other.data_;
        handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        wide_ = other.wide_;
        holdsWide_ = other.holdsWide_;
    }
    return *this;
}

bool FileFinder::First(const char* pattern) {
    Close();
    // The kind of call was fixed at construction, whatever the mode is now.
    if (wide_) {
        PWString w;
        ToWide(w, pattern, encoding_);
        w.terminate();
        handle_ = FindFirstFileW(w.wide(), &data_.w);
    } else if (encoding_) {
        PWString w;
        ToWide(w, pattern, encoding_);
        w.terminate();
        PString ansi;
        WideToAnsi(ansi, w.wide());
        handle_ = FindFirstFileA(ansi.text(), &data_.a);
    } else {
        handle_ = FindFirstFileA(pattern ? pattern : "", &data_.a);
    }
    holdsWide_ = wide_;
    if (handle_ == INVALID_HANDLE_VALUE)
        return false;
    for (;;) {
        bool dots = wide_ ? (std::wcscmp(data_.w.cFileName, L".") == 0 || std::wcscmp(data_.w.cFileName, L"..") == 0)
                          : (std::strcmp(data_.a.cFileName, ".") == 0 || std::strcmp(data_.a.cFileName, "..") == 0);
        if (!dots)
            return true;
        BOOL next = wide_ ? FindNextFileW(handle_, &data_.w) : FindNextFileA(handle_, &data_.a);
        if (!next)
            return false;
    }
}

bool FileFinder::IsFolder() const {
    DWORD attributes = holdsWide_ ? data_.w.dwFileAttributes : data_.a.dwFileAttributes;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int64_t FileFinder::WriteTime() const {
    const FILETIME& ft = holdsWide_ ? data_.w.ftLastWriteTime : data_.a.ftLastWriteTime;
    uint64_t t = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    if (t == 0 || t <= kFileTime1970)
        return 0;
    return int64_t((t - kFileTime1970) / 10000000);
}

int FileFinder::Close() {
    if (handle_ == INVALID_HANDLE_VALUE)
        return -1;
    BOOL ok = FindClose(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
}

PString FileFinder::Name() const {
    PString name;
    if (holdsWide_) {
        FromWide(name, data_.w.cFileName, encoding_);
    } else if (encoding_) {
        PWString w;
        AnsiToWide(w, data_.a.cFileName);
        FromWide(name, w.wide(), encoding_);
    } else {
        name.assign(data_.a.cFileName);
    }
    return name;
}

static_assert(sizeof(CRITICAL_SECTION) <= 48, "critical section does not fit its storage");

CriticalSection::CriticalSection() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

bool LocalTimeOf(int64_t t, std::tm& out) {
    // Read once: the program runs for minutes, and a zone that changed on the
    // way must not give two stamps of one run different offsets.
    static const PTimeZoneInfo zone = [] {
        TIME_ZONE_INFORMATION tzi;
        std::memset(&tzi, 0, sizeof tzi);
        PTimeZoneInfo z = {};
        if (GetTimeZoneInformation(&tzi) == TIME_ZONE_ID_INVALID)
            return z;
        static_assert(sizeof(SYSTEMTIME) == sizeof(PSystemTime), "SYSTEMTIME layout");
        z.Bias = tzi.Bias;
        z.StandardBias = tzi.StandardBias;
        z.DaylightBias = tzi.DaylightBias;
        std::memcpy(&z.StandardDate, &tzi.StandardDate, sizeof z.StandardDate);
        std::memcpy(&z.DaylightDate, &tzi.DaylightDate, sizeof z.DaylightDate);
        return z;
    }();
    return LocalTimeUnder(zone, t, out);
}
