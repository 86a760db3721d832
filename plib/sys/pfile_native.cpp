// The file helpers the portable code needs off Windows (tools and native
// tests): paths reach the C library as UTF-8.
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <unistd.h>

#include "pcrterror.h"
#include "pencoding.h"
#include "pfile.h"

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

// With an encoding the path's characters as UTF-8 (surrogate pairs joined);
// without one the bytes unchanged, as the ANSI functions would get them.
std::string NativePath(const char* path, const PStringEncoding* encoding) {
    if (!encoding)
        return path ? path : "";
    PWString w;
    ToWide(w, path, encoding);
    std::string out;
    for (uint32_t i = 0; i < w.units(); ++i) {
        uint32_t c = w.unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.units() && w.unit(i + 1) >= 0xDC00 && w.unit(i + 1) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (w.unit(i + 1) - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace

FILE* OpenFile(const char* path, const char* mode, const PStringEncoding* encoding, uint32_t* failureCode) {
    const std::string native = NativePath(path, encoding);
    ClearCrtFailure();
    FILE* f = std::fopen(native.c_str(), mode);
    if (!f && failureCode)
        *failureCode = CrtFailureCode(kCrtOpenFailed);
    return f;
}

bool MoveFileReplacing(const char* from, const char* to, const PStringEncoding* encoding) {
    return std::rename(NativePath(from, encoding).c_str(), NativePath(to, encoding).c_str()) == 0;
}

bool RemoveFile(const char* path, const PStringEncoding* encoding) {
    return unlink(NativePath(path, encoding).c_str()) == 0;
}

static_assert(sizeof(std::recursive_mutex) <= 48, "mutex does not fit its storage");

CriticalSection::CriticalSection() { new (storage_) std::recursive_mutex; }
CriticalSection::~CriticalSection() { reinterpret_cast<std::recursive_mutex*>(storage_)->~recursive_mutex(); }
void CriticalSection::Enter() { reinterpret_cast<std::recursive_mutex*>(storage_)->lock(); }
void CriticalSection::Leave() { reinterpret_cast<std::recursive_mutex*>(storage_)->unlock(); }
