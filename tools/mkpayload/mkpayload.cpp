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
#include "payloadbuilder.h"
#include "payloaddigest.h"
#include "payloadfolder.h"
#include "perror.h"
#include "punique.h"

namespace {

const char* kUsage =
    "usage: mkpayload [--dict BYTES] DIR OUT\n"
    "Packs every file below DIR into the payload archive OUT (raw LZMA1, lc 3, lp 0, pb 2,\n"
    "dictionary 8 MiB unless --dict says otherwise), and its SHA-256 digest (32 raw bytes)\n"
    "into OUT.sha256.\n";

[[noreturn]] void Die(const std::string& text) {
    std::fprintf(stderr, "mkpayload: %s\n", text.c_str());
    std::exit(1);
}

[[noreturn]] void Throw(const std::string& text) { throw PInternalError(text.c_str()); }

// Writes to a file, patching in place.
class FileOutput : public IPayloadOutput {
public:
    explicit FileOutput(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
        if (!file_)
            Throw("cannot create '" + path + "': " + std::strerror(errno));
    }
    void Put(const void* data, size_t size) override {
        if (std::fwrite(data, 1, size, file_.get()) != size)
            Throw("cannot write '" + path_ + "': " + std::strerror(errno));
    }
    void Patch(uint64_t offset, const void* data, size_t size) override {
        if (std::fseek(file_.get(), long(offset), SEEK_SET) != 0 || std::fwrite(data, 1, size, file_.get()) != size ||
            std::fseek(file_.get(), 0, SEEK_END) != 0)
            Throw("cannot write '" + path_ + "': " + std::strerror(errno));
    }
    // The close is checked: it writes what the stream still buffers.
    void Finish() {
        if (std::fclose(file_.release()) != 0)
            Throw("cannot write '" + path_ + "': " + std::strerror(errno));
    }

private:
    std::string path_;
    UniqueStdioFile file_;
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
    if (argc - i != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Both files are built beside their targets and renamed at the end: a
    // refusal or a failure leaves an existing OUT as it was. The digest is
    // renamed last, so a payload is never left beside the digest of another
    // (a stale digest would fail the check, never pass a wrong payload).
    std::string target = argv[i + 1];
    std::string part = target + ".part";
    std::string digestTarget = target + PayloadDigestSuffix;
    std::string digestPart = digestTarget + ".part";
    std::vector<PayloadInput> files;
    try {
        std::vector<std::string> notes;
        files = CollectPayloadFolder(argv[i], &notes);
        for (const std::string& note : notes)
            std::fprintf(stderr, "mkpayload: note: %s\n", note.c_str());
    } catch (const PError& e) {
        Die(e.why());
    }
    try {
        FileOutput out(part);
        BuildPayload(std::move(files), out, settings);
        out.Finish();
        Sha256Digest digest = DigestOfFile(part);
        FileOutput digestOut(digestPart);
        digestOut.Put(digest.data(), digest.size());
        digestOut.Finish();
    } catch (const PError& e) {
        std::remove(part.c_str());
        std::remove(digestPart.c_str());
        Die(e.why());
    }
    for (const std::string* name : {&target, &digestTarget}) {
        const std::string from = *name + ".part";
        if (std::rename(from.c_str(), name->c_str()) != 0) {
            std::string reason = std::strerror(errno);
            std::remove(part.c_str());
            std::remove(digestPart.c_str());
            Die("cannot write '" + *name + "': " + reason);
        }
    }
    return 0;
}
