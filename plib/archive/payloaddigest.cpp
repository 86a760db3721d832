#include "payloaddigest.h"

#include <cstring>

namespace {
// The digest's shape is checked before any byte of the payload is read.
const char* DigestShapeProblem(const void* digest, size_t digestSize) {
    if (!digest)
        return "the payload's digest is missing";
    if (digestSize != PayloadDigestSize)
        return "the payload's digest is not 32 bytes long";
    return nullptr;
}

bool Report(const char* problem, PString* why) {
    if (problem && why)
        why->assign(problem);
    return problem == nullptr;
}

const char* Compare(const Sha256Digest& actual, const void* digest) {
    return std::memcmp(actual.data(), digest, PayloadDigestSize) != 0 ? "the payload does not match its digest" : nullptr;
}
}  // namespace

bool PayloadDigestMatches(const void* payload, size_t size, const void* digest, size_t digestSize, PString* why) {
    const char* problem = DigestShapeProblem(digest, digestSize);
    if (!problem)
        problem = Compare(Sha256(static_cast<const uint8_t*>(payload), size), digest);
    return Report(problem, why);
}

bool PayloadDigestMatches(IPayloadSource& payload, const void* digest, size_t digestSize, PString* why) {
    const char* problem = DigestShapeProblem(digest, digestSize);
    if (!problem) {
        Sha256Hasher hasher;
        const uint32_t length = payload.Length();
        for (uint32_t offset = 0; offset < length;) {
            uint32_t got = 0;
            const uint8_t* bytes = payload.Read(offset, length - offset, &got);
            hasher.Update(bytes, got);
            offset += got;
        }
        problem = Compare(hasher.Final(), digest);
    }
    return Report(problem, why);
}
