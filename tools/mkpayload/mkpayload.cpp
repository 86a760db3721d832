// mkpayload DIR OUT: packs every file below DIR into a payload archive, and
// writes its SHA-256 digest (32 raw bytes) to OUT.sha256 for the installer's
// integrity resource. Names are stored relative to DIR with backslashes, in
// code page 1252; the order is fixed by the names, so the same tree always
// gives the same bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lzmadecoder.h"
#include "outputfile.h"
#include "payloadbuilder.h"
#include "payloaddigest.h"
#include "payloadfolder.h"
#include "perror.h"
#include "punique.h"
#include "toolcli.h"

namespace {

const char* kUsage =
    "usage: mkpayload [--dict BYTES] DIR OUT\n"
    "       mkpayload --help | --version\n";

const char* kHelp =
    "usage: mkpayload [--dict BYTES] DIR OUT\n"
    "       mkpayload --help | --version\n"
    "\n"
    "Packs every file below DIR into the payload archive OUT (raw LZMA1, lc 3, lp 0, pb 2,\n"
    "dictionary 8 MiB unless --dict says otherwise), and its SHA-256 digest (32 raw bytes)\n"
    "into OUT.sha256. OUT must not be inside DIR; both are written beside themselves and\n"
    "renamed, and refused when they exist and are not regular files.\n"
    "\n"
    "Exit codes: 0 written, 1 refused or failed (the reason is printed, nothing written), 2 usage.\n";

[[noreturn]] void Die(const std::string& text) {
    std::fprintf(stderr, "mkpayload: %s\n", text.c_str());
    std::exit(kToolRefused);
}

[[noreturn]] void Throw(const std::string& text) { throw PInternalError(text.c_str()); }

// Writes beside the target, patching in place.
class FileOutput : public IPayloadOutput {
public:
    explicit FileOutput(PendingOutputFile& file) : file_(file) {}
    void Put(const void* data, size_t size) override { file_.Write(data, size); }
    void Patch(uint64_t offset, const void* data, size_t size) override { file_.WriteAt(offset, data, size); }

private:
    PendingOutputFile& file_;
};

// The digest of a whole file, read in pieces (payloads run to many megabytes).
Sha256Digest DigestOfFile(const std::string& path) {
    UniqueStdioFile f(std::fopen(path.c_str(), "rb"));
    if (!f)
        Throw("cannot read '" + path + "': " + std::strerror(errno));
    Sha256Hasher hasher;
    std::vector<uint8_t> buffer(1 << 20);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0)
        hasher.Update(buffer.data(), n);
    bool failed = std::ferror(f.get()) != 0;
    f.reset();
    if (failed)
        Throw("cannot read '" + path + "'");
    return hasher.Final();
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "mkpayload", kHelp))
        return kToolDone;
    PayloadLzmaSettings settings;
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--dict") == 0) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(argv[i + 1], &end, 0);
        if (!end || *end || v < 4096 || v > kLzmaMaxDictionary)
            Die("--dict wants a byte count from 4096 to " + std::to_string(kLzmaMaxDictionary));
        settings.dictionarySize = uint32_t(v);
        i += 2;
    }
    if (argc - i != 2)
        return UsageError(kUsage);
    const std::string folder = argv[i], target = argv[i + 1];
    const std::string digestTarget = target + PayloadDigestSuffix;
    std::vector<PayloadInput> files;
    try {
        if (IsInsideFolder(target, folder))
            Throw("the output '" + target + "' is inside the folder it packs");
        CheckOutputTarget(target);
        CheckOutputTarget(digestTarget);
        std::vector<std::string> notes;
        files = CollectPayloadFolder(folder, &notes);
        for (const std::string& note : notes)
            std::fprintf(stderr, "mkpayload: note: %s\n", note.c_str());
    } catch (const PError& e) {
        Die(e.why());
    }
    // Both files are built beside their targets and renamed at the end: a
    // refusal or a failure leaves an existing OUT as it was. The digest is
    // renamed last, so a payload is never left beside the digest of another
    // (a stale digest would fail the check, never pass a wrong payload).
    try {
        PendingOutputFile payload(target);
        FileOutput out(payload);
        BuildPayload(std::move(files), out, settings);
        Sha256Digest digest = DigestOfFile(payload.temporary());
        PendingOutputFile digestFile(digestTarget);
        digestFile.Write(digest.data(), digest.size());
        payload.Commit(0644);
        digestFile.Commit(0644);
    } catch (const PError& e) {
        Die(e.why());
    }
    return kToolDone;
}
