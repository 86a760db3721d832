// The uninstall entry's computed values: the version read from a version
// resource and the size in KiB.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "entryvalues.h"

namespace {

void PutU16(std::vector<unsigned char>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void PutU32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// A VS_VERSIONINFO block with only its fixed part, as the resource compiler lays it out.
std::vector<unsigned char> VersionBlock(uint32_t fileMs, uint32_t fileLs, uint32_t productMs, uint32_t productLs) {
    std::vector<unsigned char> b(40 + 52, 0);
    PutU16(b, 0, uint16_t(b.size()));
    PutU16(b, 2, 52);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key; ++i)
        PutU16(b, 6 + 2 * i, uint8_t(key[i]));
    PutU32(b, 40, 0xFEEF04BD);
    PutU32(b, 44, 0x10000);
    PutU32(b, 48, fileMs);
    PutU32(b, 52, fileLs);
    PutU32(b, 56, productMs);
    PutU32(b, 60, productLs);
    return b;
}

TEST(EntryValues, ProductVersionFromTheFixedPart) {
    const auto block = VersionBlock(0x00090008, 0x00070006, 0x00020003, 0xFFFF0004);
    PString version;
    ASSERT_TRUE(ProductVersionText(block.data(), uint32_t(block.size()), version));
    EXPECT_STREQ(version.text(), "2.3.65535.4");  // the product version, not the file version
}

TEST(EntryValues, NotAVersionBlock) {
    PString version("kept");
    auto block = VersionBlock(1, 2, 3, 4);
    EXPECT_FALSE(ProductVersionText(block.data(), 60, version));  // cut short
    EXPECT_FALSE(ProductVersionText(nullptr, 0, version));
    auto badSignature = block;
    PutU32(badSignature, 40, 0xFEEF04BC);
    EXPECT_FALSE(ProductVersionText(badSignature.data(), uint32_t(badSignature.size()), version));
    auto otherKey = block;
    PutU16(otherKey, 6, 'W');
    EXPECT_FALSE(ProductVersionText(otherKey.data(), uint32_t(otherKey.size()), version));
    auto longerThanData = block;
    PutU16(longerThanData, 0, uint16_t(block.size() + 4));
    EXPECT_FALSE(ProductVersionText(longerThanData.data(), uint32_t(longerThanData.size()), version));
    EXPECT_STREQ(version.text(), "kept");
}

TEST(EntryValues, SizeRoundsUpToWholeKiB) {
    EXPECT_EQ(SizeInKiB(0), 0u);
    EXPECT_EQ(SizeInKiB(1), 1u);
    EXPECT_EQ(SizeInKiB(1024), 1u);
    EXPECT_EQ(SizeInKiB(1025), 2u);
    EXPECT_EQ(SizeInKiB(0xFFFFFFFFull), 4194304u);
    EXPECT_EQ(SizeInKiB(uint64_t(1) << 60), 0xFFFFFFFFu);
}

}  // namespace
