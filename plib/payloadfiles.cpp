#include "payloadfiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "payloadnames.h"
#include "perror.h"

namespace fs = std::filesystem;

FILE* OpenHostFile(const char* utf8Path, const char* mode) {
#ifdef _WIN32
    PWString path, wmode;
    if (!Utf8ToUtf16(utf8Path, uint32_t(std::strlen(utf8Path)), path)) {
        errno = EINVAL;
        return nullptr;
    }
    path.terminate();
    for (const char* m = mode; *m; ++m)
        wmode.append(uint16_t(*m));
    wmode.terminate();
    return _wfopen(path.wide(), wmode.wide());
#else
    return std::fopen(utf8Path, mode);
#endif
}

CPayloadFileWriter::CPayloadFileWriter(const char* destination, uint32_t bufferSize)
    : destination_(destination), buffer_(bufferSize ? bufferSize : 1), bytesWritten_(0), filesWritten_(0) {}

CPayloadFileWriter::~CPayloadFileWriter() {}

void CPayloadFileWriter::Fail(const char* what, const char* path, const char* reason) {
    PString text(what);
    text.append(" '").append(path).append("': ").append(reason);
    throw PInternalError(text.text());
}

void* CPayloadFileWriter::OpenOutputFile(const char* path) {
    uint32_t prefix = destination_.length();
    if (std::strncmp(path, destination_.text(), prefix) != 0 || path[prefix] != '\\')
        Fail("Cannot open file", path, "not below the destination folder");
    const char* name = path + prefix + 1;
    uint32_t nameLength = uint32_t(std::strlen(name));
    // The extraction checked the names already; a writer never trusts a path it did not build.
    if (const char* problem = PayloadNameProblem(name, nameLength))
        Fail("Cannot open file", path, problem);

    PString relative;
    Cp1252ToUtf8(name, nameLength, relative);
    currentPath_.assign(destination_.text());
    currentPath_.append('/');
    for (char* c = relative.data(); *c; ++c)
        if (*c == '\\')
            *c = '/';
    currentPath_.append(relative);

#ifdef _WIN32
    PWString wide;
    if (!Utf8ToUtf16(destination_.text(), destination_.length(), wide))
        Fail("Cannot open file", currentPath_.text(), "the destination is not valid UTF-8");
    wide.append(uint16_t('\\'));
    PWString wideName;
    Cp1252ToUtf16(name, nameLength, wideName);
    for (uint32_t i = 0; i < wideName.units(); ++i)
        wide.append(wideName.unit(i));
    wide.terminate();
    fs::path full(wide.wide());
#else
    fs::path full(currentPath_.text());
#endif

    std::error_code ec;
    fs::path folder = full.parent_path();
    // Files come folder by folder: the folder made or found last needs no second look.
    if (!folder.empty() && folder != lastFolder_ && !fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            std::string shown(currentPath_.text());
            shown.resize(shown.rfind('/'));
            Fail("Cannot create folder", shown.c_str(), ec.message().c_str());
        }
    }
#ifdef _WIN32
    FILE* f = _wfopen(full.c_str(), L"wb");
#else
    FILE* f = std::fopen(full.c_str(), "wb");
#endif
    if (!f)
        Fail("Cannot open file", currentPath_.text(), std::strerror(errno));
    lastFolder_ = folder;
    std::setvbuf(f, buffer_.data(), _IOFBF, buffer_.size());
    ++filesWritten_;
    return f;
}

bool CPayloadFileWriter::WriteOutputFile(void* handle, const void* data, uint32_t size) {
    if (!handle)
        return true;
    if (std::fwrite(data, 1, size, static_cast<FILE*>(handle)) != size)
        Fail("Cannot write to file", currentPath_.text(), std::strerror(errno));
    bytesWritten_ += size;
    return true;
}

void CPayloadFileWriter::CloseOutputFile(void* handle) {
    if (!handle)
        return;
    if (std::fclose(static_cast<FILE*>(handle)) != 0)
        Fail("Cannot write to file", currentPath_.text(), std::strerror(errno));
}
