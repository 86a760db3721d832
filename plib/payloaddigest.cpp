#include "payloaddigest.h"

#include <cstring>

bool PayloadDigestMatches(const void* payload, size_t size, const void* digest, size_t digestSize, PString* why) {
    const char* problem = nullptr;
    if (!digest)
        problem = "the payload's digest is missing";
    else if (digestSize != PayloadDigestSize)
        problem = "the payload's digest is not 32 bytes long";
    else if (std::memcmp(Sha256(static_cast<const uint8_t*>(payload), size).data(), digest, PayloadDigestSize) != 0)
        problem = "the payload does not match its digest";
    if (problem && why)
        why->assign(problem);
    return problem == nullptr;
}
