// Tracked installers for distributors:
//   tinfo stamp INSTALLER LINES OUT   stamp a tracking tag made of the KEY=value
//                                     lines of LINES (the tag grammar, taggrammar.h),
//                                     replacing a tag INSTALLER already has; OUT may
//                                     be INSTALLER. A signed installer carries the tag
//                                     in one extra certificate of its signature, which
//                                     stays valid (tagstamp.h); an unsigned one at the
//                                     end of the file.
//   tinfo read INSTALLER              print the lines of the installer's tag
//   tinfo serve SIGNED.exe --listen HOST:PORT
//                                     serve the installer, tagged per download
//                                     from the query string (servecommand.h;
//                                     Linux only)
// Exit codes (toolcli.h): 0 done, 1 refused or failed with the reason (read:
// no tag), 2 usage.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "outputfile.h"
#include "payloadnames.h"
#include "perror.h"
#include "punique.h"
#ifndef _WIN32
#include "servecommand.h"
#endif
#include "tagstamp.h"
#include "taggrammar.h"
#include "toolargs.h"
#include "toolcli.h"
#include "tracking.h"

namespace {

// Paths are UTF-8, on Windows too (the wide CRT opens them there).
FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
    return _wfopen(std::filesystem::u8path(path).wstring().c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

bool ReadAll(const std::string& path, std::string& out) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad())
        return false;
    out = s.str();
    return true;
}

const char* kUsage =
    "usage: tinfo stamp INSTALLER LINES OUT\n"
    "       tinfo read INSTALLER\n"
    "       tinfo serve SIGNED.exe --listen HOST:PORT [--max-connections N] [--threads N]\n"
    "                   [--timeout SECONDS] [--poll SECONDS]\n"
    "       tinfo --help | --version\n";

const char* kHelp =
    "usage: tinfo stamp INSTALLER LINES OUT\n"
    "       tinfo read INSTALLER\n"
    "       tinfo serve SIGNED.exe --listen HOST:PORT [--max-connections N] [--threads N]\n"
    "                   [--timeout SECONDS] [--poll SECONDS]\n"
    "       tinfo --help | --version\n"
    "\n"
    "stamp  writes OUT, a tracked copy of INSTALLER: a tracking tag made of the KEY=value\n"
    "       lines of the file LINES (such as SRC=partner7), replacing a tag INSTALLER has.\n"
    "       Keys: 1-32 letters, digits or _; values: up to 255 printable ASCII characters\n"
    "       but [ and ]; at most 32 lines and 1,012 bytes; blanks around keys and values are\n"
    "       trimmed. ITS and IZ are the installer's own: it drops such lines.\n"
    "       Stamp a signed installer: the tag goes into one extra certificate of its\n"
    "       signature, which stays valid (also under Windows' strict padding check).\n"
    "       OUT may be INSTALLER; it is written beside itself and renamed, and refused\n"
    "       when it is not a regular file.\n"
    "read   prints the lines of INSTALLER's tracking tag.\n"
    "serve  serves SIGNED.exe over HTTP at /NAME (its own file name), each download\n"
    "       tagged as stamp would tag it with the lines of its query string\n"
    "       (/NAME?SRC=partner7&CAMP=winter; no query: the file as it is). GET, HEAD,\n"
    "       one Range; a refused tag is answered 400 with the reason. A new release\n"
    "       moved into place over SIGNED.exe is served once prepared (looked for every\n"
    "       --poll seconds, default 1, or at SIGHUP); downloads in flight end with the\n"
    "       old one. One log line per request on standard output. Limits: at most\n"
    "       --max-connections (default 1024), --timeout seconds (default 10) for a\n"
    "       request's header or a stalled download. Stops at SIGTERM or SIGINT.\n"
    "       Linux only.\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed (the reason is printed; read: no block), 2 usage.\n";

int Stamp(const std::string& installer, const std::string& linesPath, const std::string& outPath) {
    std::string lines;
    if (!ReadAll(linesPath, lines)) {
        std::fprintf(stderr, "tinfo: cannot read %s: %s\n", linesPath.c_str(), std::strerror(errno));
        return kToolRefused;
    }
    std::string text;
    try {
        text = TrackingTextFromLines(lines);
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            if (IsReservedTagKey(line.substr(0, line.find('='))))
                std::fprintf(stderr, "tinfo: note: the installer drops the line %s\n", line.c_str());
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s: %s\n", e.why(), linesPath.c_str());
        return kToolRefused;
    }
    UniqueStdioFile in(OpenForReading(installer));
    if (!in) {
        std::fprintf(stderr, "tinfo: cannot read %s: %s\n", installer.c_str(), std::strerror(errno));
        return kToolRefused;
    }
    // Exactly the segments a tag server sends for this tag.
    std::string stamped;
    try {
        PreparedInstaller prepared = PreparedInstaller::Prepare(in.get());
        stamped = AssembleSegments(in.get(), prepared.Segments(text));
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s: %s\n", e.why(), installer.c_str());
        return kToolRefused;
    }
    in.reset();
#ifdef _WIN32
    const mode_t mode = 0755;  // no mode bits on Windows
#else
    struct stat from;
    const mode_t mode = stat(installer.c_str(), &from) == 0 ? (from.st_mode & 07777) : 0755;
#endif
    try {
        WriteOutputFile(outPath, stamped, mode);
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s; nothing written\n", e.why());
        return kToolRefused;
    }
    return kToolDone;
}

int Read(const std::string& installer) {
    UniqueStdioFile f(OpenForReading(installer));
    if (!f) {
        std::fprintf(stderr, "tinfo: cannot read %s: %s\n", installer.c_str(), std::strerror(errno));
        return kToolRefused;
    }
    _PBlock block;
    std::string why;
    TrackingBlockStatus status = ReadInstallerTrackingBlock(f.get(), block, why);
    f.reset();
    if (status == TrackingBlockStatus::Rejected) {
        std::fprintf(stderr, "tinfo: %s: %s\n", installer.c_str(), why.c_str());
        return kToolRefused;
    }
    if (status == TrackingBlockStatus::NotFound) {
        std::fprintf(stderr, "tinfo: no tracking block in %s\n", installer.c_str());
        return kToolRefused;
    }
    if (status == TrackingBlockStatus::ReadError) {
        std::fprintf(stderr, "tinfo: %s: the tracking block runs past the start of the file\n", installer.c_str());
        return kToolRefused;
    }
    std::string text(reinterpret_cast<const char*>(block.ptr()), block.size());
    text = text.substr(0, text.find('\0'));
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            std::printf("%s\n", line.c_str());
    return kToolDone;
}

}  // namespace

int Main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "tinfo", kHelp))
        return kToolDone;
    if (argc == 5 && std::strcmp(argv[1], "stamp") == 0)
        return Stamp(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "read") == 0)
        return Read(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "serve") == 0) {
#ifdef _WIN32
        std::fprintf(stderr, "tinfo: serve is not part of the Windows build; run the Linux build of tinfo\n");
        return kToolRefused;
#else
        return ServeCommand(argc - 1, argv + 1);
#endif
    }
    return UsageError(kUsage);
}

#ifdef _WIN32
// The command line as UTF-8, as the native tool has it.
int wmain(int argc, wchar_t** argv) { return RunWithUtf8Arguments("tinfo", argc, argv, &Main); }
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
