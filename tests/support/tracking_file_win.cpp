// Reading back the tracking file (tracking_file.h).
#include "tracking_file.h"

#include <cstring>

#include "inixor.h"
#include "sharednames.h"
#include "test_paths.h"

std::string TrackingFileText(const std::string& folder) {
    const std::string scrambled = ReadWholeFileOrEmpty(folder + "\\" + SharedNames::kTrackingFile.narrow);
    if (scrambled.empty())
        return scrambled;
    _PBlock block;
    std::memcpy(block.alloc(uint32_t(scrambled.size())), scrambled.data(), scrambled.size());
    ScrambleBlock(block);
    return std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
}
