// The tracking block (installer/tracking.*) on arbitrary bytes: as the end of
// an installer file, read and applied as the installer does; as a lines file
// for tinfo, stamped onto an image and read back; and as an image to be
// re-stamped. Aborts when a stamped block does not read back as its text,
// when re-stamping moves the image's own end, when the kept text loses its
// "[TInfo]" head, or when a rejected block leaves any text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "perror.h"
#include "tracking.h"

namespace {

// The block at the end of `file`, the way the installer reads its own file.
TrackingBlockStatus ReadFromMemory(std::string& file, _PBlock& block) {
    if (file.empty())
        return TrackingBlockStatus::NotFound;
    FILE* f = fmemopen(&file[0], file.size(), "rb");
    if (!f)
        std::abort();
    TrackingBlockStatus status = ReadTrackingBlock(f, block);
    std::fclose(f);
    return status;
}

void ReadAsInstallerEnd(std::string file) {
    _PBlock block;
    if (ReadFromMemory(file, block) != TrackingBlockStatus::Found)
        return;
    TrackingInfo info;
    if (!ApplyTrackingLines(block, info).empty()) {
        // A block the grammar refuses is used not at all.
        if (!info.trackingInfo.empty() || !info.themeId.empty() || !info.localeCode.empty())
            std::abort();
        return;
    }
    if (std::strncmp(info.trackingInfo.text(), "[TInfo]\n", 8) != 0)
        std::abort();
}

void StampAsLines(const std::string& lines) {
    std::string text;
    try {
        text = TrackingTextFromLines(lines);
    } catch (const PInternalError&) {
        return;
    }
    const std::string image = "MZ\x90\x00 a stand-in installer image";
    std::string stamped = StampTrackingBlock(image, text);
    if (TrackingBlockStart(stamped) != image.size())
        std::abort();
    _PBlock block;
    if (ReadFromMemory(stamped, block) != TrackingBlockStatus::Found || block.size() != text.size() ||
        std::memcmp(block.ptr(), text.data(), text.size()) != 0)
        std::abort();
}

void RestampAsImage(const std::string& image) {
    size_t start;
    try {
        start = TrackingBlockStart(image);
    } catch (const PInternalError&) {
        return;
    }
    if (start > image.size())
        std::abort();
    std::string stamped = StampTrackingBlock(image, "THM=fuzz");
    if (TrackingBlockStart(stamped) != start || stamped.compare(0, start, image, 0, start) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ReadAsInstallerEnd(bytes);
    StampAsLines(bytes);
    RestampAsImage(bytes);
    return 0;
}
