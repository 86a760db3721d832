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
    : destination_(destination), buffer_(bufferSize ? bufferSize : 1), bytesWritten_(0), filesWritten_(0) {
    Utf8ToPStringX(destination, destinationX_);
}

CPayloadFileWriter::~CPayloadFileWriter() {}

void CPayloadFileWriter::Fail(const char* what, const char* path, const char* reason) {
    PString text(what);
    text.append(" '").append(path).append("': ").append(reason);
    throw PInternalError(text.text());
}

void* CPayloadFileWriter::OpenOutputFile(const char* path) {
    PString utf8;
    PStringXToUtf8(path, utf8);
    uint32_t prefix = destination_.length();
    if (std::strncmp(utf8.text(), destination_.text(), prefix) != 0 || utf8.text()[prefix] != '\\')
        Fail("Cannot open file", utf8.text(), "not below the destination folder");
    const char* relative = utf8.text() + prefix + 1;
    // The extraction checked the names already; a writer never trusts a path it did not build.
    PString name;
    if (!Utf8ToCp1252(relative, uint32_t(std::strlen(relative)), name))
        Fail("Cannot open file", utf8.text(), "a name that is not code page 1252 text");
    if (const char* problem = PayloadNameProblem(name.text(), name.length()))
        Fail("Cannot open file", utf8.text(), problem);

    currentPath_.assign(destination_.text());
    currentPath_.append('/');
    currentPath_.append(relative);
    for (char* c = currentPath_.data() + prefix + 1; *c; ++c)
        if (*c == '\\')
            *c = '/';

#ifdef _WIN32
    PWString wide;
    if (!Utf8ToUtf16(utf8.text(), utf8.length(), wide))
        Fail("Cannot open file", currentPath_.text(), "the destination is not valid UTF-8");
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
