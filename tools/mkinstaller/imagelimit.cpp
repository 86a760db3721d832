#include "imagelimit.h"

#include <cstdio>

bool ParseImageLimit(const std::string& text, uint64_t& limit) {
    if (text.empty() || text.size() > 19)
        return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + uint64_t(c - '0');
    }
    if (value == 0 || value > kMaxInstallerImageSize)
        return false;
    limit = value;
    return true;
}

uint64_t PayloadRoomUnder(uint64_t limit, uint64_t stubStart) {
    return stubStart >= limit ? 0 : limit - stubStart;
}

namespace {
std::string BytesAndMiB(uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes (%.1f MiB)", static_cast<unsigned long long>(bytes),
                  double(bytes) / (1024.0 * 1024.0));
    return text;
}
}  // namespace

std::string ImageLimitRefusal(const std::string& what, uint64_t size, uint64_t limit) {
    return what + " would be " + BytesAndMiB(size) + ", above the limit of " + BytesAndMiB(limit) +
           ": 32-bit Windows maps an installer's image whole into its 2 GiB address space, and a larger one "
           "does not start";
}
