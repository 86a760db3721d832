// Arbitrary files as an installer's own file: finding the layout of its
// digest and checking it must stay inside the file and end with an answer,
// whatever the headers and the resource tree say. Aborts when a layout that
// was found is inconsistent (ranges out of order, overlapping, empty or past
// the file, the record outside the covered part), or when sealing an image
// does not make it pass the check.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imagedigest.h"

namespace {

const ImageDigestResources kIds{"MV", 130, 133};

void Require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 0xFFFFFFFFu)
        return 0;
    CMemoryPayloadSource source(data, uint32_t(size));
    ImageDigestLayout layout;
    if (FindImageDigestLayout(source, kIds, layout)) {
        Require(layout.coveredEnd <= size);
        Require(layout.recordOffset + kImageDigestRecordSize <= layout.coveredEnd);
        uint32_t previousEnd = 0;
        for (const ImageByteRange& r : layout.excluded) {
            Require(r.size > 0 && r.offset >= previousEnd && r.end() <= size && r.end() > r.offset);
            previousEnd = r.end();
        }
        ComputeImageDigest(source, layout, Sha256Engine::Portable);
    }
    const ImageDigestCheck check = CheckImageDigest(source, kIds);
    Require(check.intact || !check.why.empty());

    std::string copy(reinterpret_cast<const char*>(data), size);
    if (SealImageDigest(reinterpret_cast<uint8_t*>(&copy[0]), copy.size(), kIds)) {
        CMemoryPayloadSource sealed(copy.data(), uint32_t(copy.size()));
        Require(CheckImageDigest(sealed, kIds).intact);
    }
    return 0;
}
