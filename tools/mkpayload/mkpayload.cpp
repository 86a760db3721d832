// mkpayload DIR OUT: packs every file below DIR into a payload archive.
// Names are stored relative to DIR with backslashes, in code page 1252; the
// order is fixed by the names, so the same tree always gives the same bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lzmadecoder.h"
#include "payloadbuilder.h"
#include "payloadfolder.h"
#include "perror.h"

namespace {

const char* kUsage =
    "usage: mkpayload [--dict BYTES] DIR OUT\n"
    "Packs every file below DIR into the payload archive OUT (raw LZMA1, lc 3, lp 0, pb 2,\n"
    "dictionary 8 MiB unless --dict says otherwise).\n";

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
    ~FileOutput() {
        if (file_)
            std::fclose(file_);
    }
    void Put(const void* data, size_t size) override {
        if (std::fwrite(data, 1, size, file_) != size)
            Throw("cannot write '" + path_ + "': " + std::strerror(errno));
    }
    void Patch(uint64_t offset, const void* data, size_t size) override {
        if (std::fseek(file_, long(offset), SEEK_SET) != 0 || std::fwrite(data, 1, size, file_) != size ||
            std::fseek(file_, 0, SEEK_END) != 0)
            Throw("cannot write '" + path_ + "': " + std::strerror(errno));
    }
    void Finish() {
        FILE* f = file_;
        file_ = nullptr;
        if (std::fclose(f) != 0)
            Throw("cannot write '" + path_ + "': " + std::strerror(errno));
    }

private:
    std::string path_;
    FILE* file_;
};

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
    // Built beside the target and renamed at the end: a refusal or a failure
    // leaves an existing OUT as it was.
    std::string target = argv[i + 1];
    std::string part = target + ".part";
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
    } catch (const PError& e) {
        std::remove(part.c_str());
        Die(e.why());
    }
    if (std::rename(part.c_str(), target.c_str()) != 0) {
        std::string reason = std::strerror(errno);
        std::remove(part.c_str());
        Die("cannot write '" + target + "': " + reason);
    }
    return 0;
}
