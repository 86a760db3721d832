// payload list|extract|space|verify: the payload archive outside the installer.
// Archive names are code page 1252 with backslashes; they are shown as UTF-8
// (natively with '/'), and files are created under their Unicode names.
// Exit codes: toolcli.h (verify: 1 when the archive fails its check).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "payload.h"
#include "payloaddigest.h"
#include "payloadfiles.h"
#include "payloadfilesource.h"
#include "payloadnames.h"
#include "perror.h"
#include "punique.h"
#include "toolcli.h"

namespace {

const char* kUsage =
    "usage: payload list FILE           names and sizes of the files in the archive\n"
    "       payload extract FILE DIR    extracts every file below DIR\n"
    "       payload space FILE CLUSTER  bytes the files take with CLUSTER-byte clusters\n"
    "       payload verify FILE [DIGEST]\n"
    "                                   checks FILE against its SHA-256 digest (32 raw bytes in\n"
    "                                   DIGEST, by default FILE.sha256; a missing digest fails),\n"
    "                                   then decodes everything, writes nothing\n"
    "       payload --help | --version\n";

const char* kHelp =
    "usage: payload list FILE           names and sizes of the files in the archive\n"
    "       payload extract FILE DIR    extracts every file below DIR\n"
    "       payload space FILE CLUSTER  bytes the files take with CLUSTER-byte clusters\n"
    "       payload verify FILE [DIGEST]\n"
    "                                   checks FILE against its SHA-256 digest (32 raw bytes in\n"
    "                                   DIGEST, by default FILE.sha256; a missing digest fails),\n"
    "                                   then decodes everything, writes nothing\n"
    "       payload --help | --version\n"
    "\n"
    "FILE is a payload archive (resource 130 of an installer, or mkpayload's output).\n"
    "Exit codes: 0 done, 1 refused or failed (the reason is printed), 2 usage.\n";

class Failure {
public:
    explicit Failure(std::string text) : text(std::move(text)) {}
    std::string text;
};

// The archive file, read through one bounded buffer: the process holds the
// decoder's dictionary and little else, however large the archive.
void OpenArchive(PayloadFileSource& archive, const std::string& path) {
    PString why;
    if (!archive.Open(path.c_str(), 0, PayloadFileSource::kToEnd, &why))
        throw Failure(why.text());
}

std::string Shown(const char* name) {
    PString utf8;
    Cp1252ToUtf8(name, uint32_t(std::strlen(name)), utf8);
    std::string s = utf8.text();
#ifndef _WIN32
    for (char& c : s)
        if (c == '\\')
            c = '/';
#endif
    return s;
}

// A callback that only counts: verification decodes and checks everything
// but creates nothing.
class NullFiles : public IStatusCallBack {
public:
    void OnFileStarted(uint32_t, uint32_t, const char*) override {}
    void* OpenOutputFile(const char*) override { return this; }
    bool WriteOutputFile(void*, const void*, uint32_t) override { return true; }
    void CloseOutputFile(void*) override {}
};

// Wraps the real callback: progress on a terminal.
class Progress : public IStatusCallBack {
public:
    Progress(IStatusCallBack& inner, const char* verb, uint32_t total)
        : inner_(inner), verb_(verb), total_(total), done_(0), shown_(-1), files_(0), fileCount_(0) {
#ifdef _WIN32
        terminal_ = _isatty(_fileno(stderr)) != 0;
#else
        terminal_ = isatty(STDERR_FILENO) != 0;
#endif
    }
    ~Progress() { End(); }

    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) override {
        files_ = fileIndex;
        fileCount_ = fileCount;
        inner_.OnFileStarted(fileCount, fileIndex, name);
        Show(false);
    }
    void* OpenOutputFile(const char* path) override { return inner_.OpenOutputFile(path); }
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override {
        bool ok = inner_.WriteOutputFile(handle, data, size);
        done_ += size;
        Show(false);
        return ok;
    }
    void CloseOutputFile(void* handle) override { inner_.CloseOutputFile(handle); }

    void End() {
        if (terminal_ && shown_ >= 0) {
            Show(true);
            std::fputc('\n', stderr);
            shown_ = -1;
            terminal_ = false;
        }
    }

private:
    void Show(bool force) {
        if (!terminal_)
            return;
        int percent = total_ ? int(done_ * 100 / total_) : 100;
        if (!force && percent == shown_)
            return;
        shown_ = percent;
        std::fprintf(stderr, "\r%s: %3d%%  file %u of %u", verb_, percent, files_, fileCount_);
        std::fflush(stderr);
    }

    IStatusCallBack& inner_;
    const char* verb_;
    uint32_t total_;
    uint64_t done_;
    int shown_;
    uint32_t files_;
    uint32_t fileCount_;
    bool terminal_;
};

void ReadList(PayloadFileSource& archive, PayloadEntryList& list, uint32_t* total) {
    PString why;
    if (ReadPayloadEntries(archive, list, total, &why) != 0)
        throw Failure(std::string("archive error: ") + why.text());
}

int List(const std::string& file) {
    PayloadFileSource archive;
    OpenArchive(archive, file);
    PayloadEntryList list;
    uint32_t total = 0;
    ReadList(archive, list, &total);
    uint32_t start = 0;
    for (PayloadEntry* e = list.Head(); e; e = e->next) {
        uint32_t end = e->endOffset ? e->endOffset : total;
        std::printf("%10u  %s\n", end - start, Shown(e->name.text()).c_str());
        start = end;
    }
    std::printf("%u files, %u bytes\n", list.Count(), total);
    return 0;
}

int Extract(const std::string& file, const std::string& folder, bool write) {
    PayloadFileSource archive;
    OpenArchive(archive, file);
    PayloadEntryList list;
    uint32_t total = 0;
    ReadList(archive, list, &total);
    uint32_t count = list.Count();
    list.Clear();

    // Small buffers: the memory budget is the decoder's dictionary.
    CPayloadFileWriter writer(folder.c_str(), 64 * 1024);
    CPayloadQueuedWriter queued(writer, 512 * 1024);
    NullFiles nothing;
    IStatusCallBack& inner = write ? static_cast<IStatusCallBack&>(queued) : nothing;
    Progress progress(inner, write ? "extracting" : "verifying", total);
    PString why;
    int r = ExtractPayload(archive, writer.Destination(), &progress, &why);
    queued.Finish();
    progress.End();
    if (r != 0)
        throw Failure(std::string("archive error: ") + why.text());
    std::printf("%u files, %u bytes%s\n", count, total, write ? " extracted" : ": archive is sound");
    return 0;
}

// The digest file whole; one that cannot be read is a failure, never a pass.
std::string ReadDigestFile(const std::string& path) {
    UniqueStdioFile f(OpenHostFile(path.c_str(), "rb"));
    if (!f)
        throw Failure(path + ": no digest to check against: " + std::strerror(errno));
    std::string bytes;
    char buffer[64];
    size_t n;
    // More than 32 bytes is malformed; reading one past is enough to tell.
    while (bytes.size() <= PayloadDigestSize && (n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
        bytes.append(buffer, n);
    bool failed = std::ferror(f.get()) != 0;
    f.reset();
    if (failed)
        throw Failure(path + ": cannot read the digest");
    return bytes;
}

int Verify(const std::string& file, const std::string& digestFile) {
    std::string digest = ReadDigestFile(digestFile);
    {
        PayloadFileSource archive;
        OpenArchive(archive, file);
        PString why;
        if (!PayloadDigestMatches(archive, digest.data(), digest.size(), &why))
            throw Failure(std::string("archive error: ") + why.text() + " (" + digestFile + ")");
    }
    return Extract(file, ".", false);
}

int Space(const std::string& file, const std::string& cluster) {
    char* end = nullptr;
    errno = 0;
    unsigned long long c = std::strtoull(cluster.c_str(), &end, 10);
    if (cluster.empty() || *end || errno || c > 0xFFFFFFFFull || cluster[0] == '-')
        throw Failure("CLUSTER must be a byte count from 0 to 4294967295, not '" + cluster + "'");
    PayloadFileSource archive;
    OpenArchive(archive, file);
    std::printf("%u\n", GetRequiredSpace(archive, uint32_t(c)));
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "list")
        return List(args[1]);
    if (args.size() == 3 && args[0] == "extract")
        return Extract(args[1], args[2], true);
    if (args.size() == 3 && args[0] == "space")
        return Space(args[1], args[2]);
    if ((args.size() == 2 || args.size() == 3) && args[0] == "verify")
        return Verify(args[1], args.size() == 3 ? args[2] : args[1] + PayloadDigestSuffix);
    return UsageError(kUsage);
}

int Main(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"payload"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    if (AnswerHelpOrVersion(int(argv.size()), argv.data(), "payload", kHelp))
        return kToolDone;
    try {
        return Run(args);
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "payload: %s\n", f.text.c_str());
    } catch (const PError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "payload: %s: %s\n", args.size() > 1 ? args[1].c_str() : "", e.why());
    }
    return kToolRefused;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        PString utf8;
        const uint16_t* units = reinterpret_cast<const uint16_t*>(argv[i]);
        if (!Utf16ToUtf8(units, uint32_t(wcslen(argv[i])), utf8)) {
            std::fprintf(stderr, "payload: argument %d is not valid UTF-16\n", i);
            return 2;
        }
        args.push_back(utf8.text());
    }
    return Main(args);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
