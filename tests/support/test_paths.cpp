#include "test_paths.h"

#include <cstdlib>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
unsigned long CurrentProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// Under Wine the build's Linux paths are reached through drive Z:.
fs::path Native(const char* path) {
#ifdef _WIN32
    std::string p = std::string("Z:") + path;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return fs::path(p);
#else
    return fs::path(path);
#endif
}
}  // namespace

std::string SourcePath(const std::string& relative) {
    return (Native(MORVANDITE_SOURCE_DIR) / relative).string();
}

std::string BinaryPath(const std::string& relative) {
    return (Native(MORVANDITE_BINARY_DIR) / relative).string();
}

std::string ScratchFolder(const std::string& name) {
    // CTest runs tests in parallel processes: the process id keeps two tests
    // that use the same name apart.
    fs::path p = Native(MORVANDITE_BINARY_DIR) / "test-scratch" / (name + "-" + std::to_string(CurrentProcessId()));
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p);
    return p.string();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ReadWholeFileOrEmpty(const std::string& path) {
    try {
        return ReadWholeFile(path);
    } catch (...) {
        return std::string();
    }
}

bool PathExists(const std::string& path) {
#ifdef _WIN32
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    return access(path.c_str(), F_OK) == 0;
#endif
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string InstallerStubPath() {
    const char* stub = std::getenv("MORVANDITE_STUB");
    return stub ? std::string(stub) : BinaryPath("../windows/bin/MorvanditeInstallStub.exe");
}

std::string WindowsArtefactAbsence(const std::string& path) {
    if (std::getenv("MORVANDITE_STUB") || fs::exists(path))
        return std::string();
    return "needs " + path + " from the Windows tree (tools/build.sh builds it); not there";
}

std::string ToolPath(const std::string& name) {
    const char* tools = std::getenv("MORVANDITE_TOOLS");
    return (tools ? std::string(tools) : BinaryPath("bin")) + "/" + name;
}
