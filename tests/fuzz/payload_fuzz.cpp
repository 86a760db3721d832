// Arbitrary payload archives through the head reading, the listing, the space
// estimate and the extraction into a scratch folder of this process (removed
// at exit), through the queued writer the installer's worker uses, with a
// small queue so that the decoding thread also waits for the writing one.
// Inputs starting with 'H' are a decoded header and body instead (u16 header
// length, header, body), packed here, so that the header checks are reached
// without first having to find valid LZMA data. Aborts when a file would land outside the scratch
// folder or more bytes are written than the archive announces (checked on
// the writing thread); a failure the queue hands on as anything but a PError
// escapes and ends the run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "payload.h"
#include "payloadbuilder.h"
#include "payloadfiles.h"
#include "payloadnames.h"
#include "perror.h"

namespace fs = std::filesystem;

namespace {

const std::string& Root() {
    static const std::string root = "/tmp/payload-fuzz-" + std::to_string(getpid());
    return root;
}

class CheckedWriter : public CPayloadFileWriter {
public:
    explicit CheckedWriter(uint32_t total) : CPayloadFileWriter(Root().c_str(), 4096), total_(total) {}

    void* OpenOutputFile(const char* path) override {
        size_t prefix = Root().size();
        PString utf8;
        PStringXToUtf8(path, utf8);
        if (std::strncmp(utf8.text(), Root().c_str(), prefix) != 0 || utf8.text()[prefix] != '\\')
            Die("path outside the destination", path);
        std::string relative = utf8.text() + prefix + 1;
        for (char& c : relative)
            if (c == '\\')
                c = '/';
        fs::path rel = fs::path(relative).lexically_normal();
        if (rel.empty() || rel.is_absolute() || *rel.begin() == ".." || *rel.begin() == ".")
            Die("file outside the destination", path);
        return CPayloadFileWriter::OpenOutputFile(path);
    }
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override {
        written_ += size;
        if (written_ > total_)
            Die("more bytes than the archive announces", "");
        return CPayloadFileWriter::WriteOutputFile(handle, data, size);
    }

private:
    [[noreturn]] static void Die(const char* what, const char* path) {
        std::fprintf(stderr, "payload_fuzz: %s: '%s'\n", what, path);
        std::abort();
    }
    uint64_t written_ = 0;
    uint32_t total_;
};

void Exercise(const uint8_t* data, uint32_t size) {
    uint32_t total = 0;
    try {
        PayloadEntryList list;
        if (ReadPayloadEntries(data, size, list, &total) == 0) {
            uint32_t previous = 0;
            for (PayloadEntry* e = list.Head(); e; e = e->next) {
                if (PayloadNameProblem(e->name.text(), e->name.length()))
                    std::abort();
                if (e->next && (e->endOffset < previous || e->endOffset > total))
                    std::abort();
                if (e->next)
                    previous = e->endOffset;
            }
        }
    } catch (const PError&) {
    }
    for (uint32_t cluster : {0u, 1u, 4096u, 0x80000000u}) {
        try {
            GetRequiredSpace(data, size, cluster);
        } catch (const PError&) {
        }
    }
    try {
        CheckedWriter writer(total);
        CPayloadQueuedWriter queue(writer, 8192);
        try {
            ExtractPayload(data, size, writer.Destination(), &queue);
        } catch (const PError&) {
        }
        queue.Finish();
    } catch (const PError&) {
    }
}

void RemoveRoot() {
    std::error_code ec;
    fs::remove_all(Root(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static unsigned runs = 0;
    if (runs == 0) {
        Root();  // made before the exit handler is registered, so destroyed after it ran
        std::atexit(RemoveRoot);
    }
    if (runs++ % 256 == 0) {
        std::error_code ec;
        fs::remove_all(Root(), ec);
        fs::create_directories(Root(), ec);
    }
    if (size > (1u << 20))
        return 0;
    if (size >= 3 && data[0] == 'H') {
        uint32_t headerLength = uint32_t(data[1]) | uint32_t(data[2]) << 8;
        if (headerLength > size - 3)
            headerLength = uint32_t(size - 3);
        const uint8_t* header = data + 3;
        const uint8_t* body = header + headerLength;
        uint32_t bodyLength = uint32_t(size - 3 - headerLength);
        PayloadLzmaSettings fast;
        fast.dictionarySize = 4096;
        fast.preset = 0;
        std::string ph = LzmaPack(header, headerLength, fast);
        std::string pb = LzmaPack(body, bodyLength, fast);
        std::string archive;
        for (uint32_t v : {headerLength, bodyLength, uint32_t(ph.size())})
            archive.append(reinterpret_cast<const char*>(&v), 4);
        archive += ph;
        uint32_t p2 = uint32_t(pb.size());
        archive.append(reinterpret_cast<const char*>(&p2), 4);
        archive += pb;
        Exercise(reinterpret_cast<const uint8_t*>(archive.data()), uint32_t(archive.size()));
        return 0;
    }
    Exercise(data, uint32_t(size));
    return 0;
}
