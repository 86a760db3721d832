// The installer's digest of its own file (plib/archive/imagedigest.h) on
// small PE images made here, with a resource section written by the tools'
// own resource writer: what it leaves out and that it leaves out nothing
// else, and damaged or cut-short files, which must be reported without being
// read past their end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "certtable.h"
#include "imagedigest.h"
#include "peimage.h"
#include "resourcetree.h"
#include "tracking.h"

namespace {

constexpr uint16_t kPayloadId = 130, kRecordId = 133;
const ImageDigestResources kIds{"MV", kPayloadId, kRecordId};

constexpr uint32_t kPe = 0x80;
constexpr uint32_t kOptional = kPe + 24;
constexpr uint32_t kOptionalSize = 224;
constexpr uint32_t kTable = kOptional + kOptionalSize;
constexpr uint32_t kCodeRaw = 0x400, kCodeRva = 0x1000, kCodeSize = 0x200;
constexpr uint32_t kResourceRaw = kCodeRaw + kCodeSize, kResourceRva = 0x2000;

// n bytes that differ from seed to seed and do not repeat.
std::string Bytes(size_t n, uint8_t seed) {
    std::string s(n, '\0');
    uint32_t x = 0x9E3779B9u * (seed + 1u);
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x >> 24);
    }
    return s;
}

// What a test image holds, besides the tree given to MakeImage.
ResourceTree StandardResources() {
    ResourceTree tree;
    const ResourceKey mv = ResourceKey::Name("MV");
    const ImageDigestRecordBytes record = EncodeImageDigestRecord(ImageDigestRecord{});
    tree.Put(mv, ResourceKey::Id(kPayloadId), 1033, Bytes(300, 1));
    tree.Put(mv, ResourceKey::Id(131), 1033, "[define]\r\nname=Morvandite\r\n");
    tree.Put(mv, ResourceKey::Id(132), 1033, Bytes(32, 2));
    tree.Put(mv, ResourceKey::Id(kRecordId), 1033, std::string(record.begin(), record.end()));
    tree.Put(mv, ResourceKey::Id(205), 1033, Bytes(90, 3));
    tree.Put(ResourceKey::Id(3), ResourceKey::Id(1), 1033, Bytes(40, 4));   // an icon
    tree.Put(ResourceKey::Id(16), ResourceKey::Id(1), 1033, Bytes(60, 5));  // version information
    return tree;
}

// A PE32 image: headers, one code section and the resource section, each
// section padded to the 0x200 file alignment, then `tail` (as a linker's
// string table, a signature or a tracking block would follow the sections).
std::string MakeImage(const ResourceTree& tree, const std::string& tail = "") {
    const std::string resources = tree.Build(kResourceRva);
    const uint32_t resourceRaw = (uint32_t(resources.size()) + 0x1FF) & ~0x1FFu;
    std::string image(kResourceRaw + resourceRaw, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PeWrite32(image, 0x3C, kPe);
    std::memcpy(&image[0x40], "This program cannot be run in DOS mode.", 39);
    std::memcpy(&image[kPe], "PE\0\0", 4);
    PeWrite16(image, kPe + 4, 0x14c);
    PeWrite16(image, kPe + 6, 2);
    PeWrite16(image, kPe + 20, kOptionalSize);
    PeWrite16(image, kPe + 22, 0x0102);
    PeWrite16(image, kOptional, 0x10b);
    PeWrite32(image, kOptional + 16, kCodeRva);
    PeWrite32(image, kOptional + 28, 0x400000);
    PeWrite32(image, kOptional + 32, 0x1000);
    PeWrite32(image, kOptional + 36, 0x200);
    PeWrite32(image, kOptional + 56, kResourceRva + 0x1000 * ((uint32_t(resources.size()) + 0xFFF) / 0x1000));
    PeWrite32(image, kOptional + 60, kCodeRaw);
    PeWrite16(image, kOptional + 68, 2);
    PeWrite32(image, kOptional + 92, 16);
    PeWrite32(image, kOptional + 96 + 16, kResourceRva);
    PeWrite32(image, kOptional + 96 + 20, uint32_t(resources.size()));
    auto section = [&](int i, const char* name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize,
                       uint32_t raw) {
        const size_t h = kTable + 40 * size_t(i);
        std::memcpy(&image[h], name, std::strlen(name));
        PeWrite32(image, h + 8, virtualSize);
        PeWrite32(image, h + 12, rva);
        PeWrite32(image, h + 16, rawSize);
        PeWrite32(image, h + 20, raw);
    };
    section(0, ".text", kCodeSize - 0x10, kCodeRva, kCodeSize, kCodeRaw);
    section(1, ".rsrc", uint32_t(resources.size()), kResourceRva, resourceRaw, kResourceRaw);
    const std::string code = Bytes(kCodeSize - 0x10, 9);
    image.replace(kCodeRaw, code.size(), code);
    image.replace(kResourceRaw, resources.size(), resources);
    image += tail;
    PeWrite32(image, kOptional + 64, PeChecksum(image, kOptional + 64));
    return image;
}

std::string Sealed(std::string image) {
    PString why;
    EXPECT_TRUE(SealImageDigest(reinterpret_cast<uint8_t*>(&image[0]), image.size(), kIds, &why)) << why.text();
    return image;
}

ImageDigestCheck Check(const std::string& image) {
    CMemoryPayloadSource source(image.data(), uint32_t(image.size()));
    return CheckImageDigest(source, kIds);
}

// FindImageDigestLayout's answer: "" when found, otherwise why not.
std::string LayoutProblem(const std::string& image, ImageDigestLayout* layout = nullptr) {
    CMemoryPayloadSource source(image.data(), uint32_t(image.size()));
    ImageDigestLayout found;
    PString why;
    if (FindImageDigestLayout(source, kIds, found, &why)) {
        if (layout)
            *layout = found;
        return "";
    }
    EXPECT_FALSE(why.empty());
    return why.text();
}

// Where bytes lie in the image (they occur once).
uint32_t OffsetOf(const std::string& image, const std::string& bytes) {
    const size_t at = image.find(bytes);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(image.find(bytes, at + 1), std::string::npos);
    return uint32_t(at);
}

// The file offsets of resource MV/id's language directory and data entry in
// a MakeImage image.
struct ResourcePlaces {
    uint32_t languages = 0, dataEntry = 0;
};
ResourcePlaces PlacesOf(const std::string& image, uint16_t id) {
    const uint32_t root = kResourceRaw;
    auto entries = [&](uint32_t dir, auto match) -> uint32_t {
        const uint32_t count = uint32_t(PeRead16(image, dir + 12)) + PeRead16(image, dir + 14);
        for (uint32_t i = 0; i < count; ++i)
            if (match(PeRead32(image, dir + 16 + 8 * i)))
                return PeRead32(image, dir + 16 + 8 * i + 4) & 0x7FFFFFFFu;
        ADD_FAILURE() << "no such resource entry";
        return 0;
    };
    const uint32_t types = entries(root, [](uint32_t key) { return (key & 0x80000000u) != 0; });  // "MV" is the only name
    ResourcePlaces places;
    places.languages = root + entries(root + types, [&](uint32_t key) { return key == id; });
    places.dataEntry = root + entries(places.languages, [](uint32_t) { return true; });
    return places;
}
uint32_t DataEntryOf(const std::string& image, uint16_t id) { return PlacesOf(image, id).dataEntry; }

const std::string kTail = "a linker's string table, a signature, a tracking block";

TEST(ImageDigest, ASealedImageMatchesAndLeavesOutExactlyTheFiveRanges) {
    const std::string image = Sealed(MakeImage(StandardResources(), kTail));
    const ImageDigestCheck check = Check(image);
    EXPECT_TRUE(check.intact) << check.why.text();
    EXPECT_TRUE(check.recordRead);
    ImageDigestRecord record;
    ImageDigestLayout layout;
    ASSERT_EQ(LayoutProblem(image, &layout), "");
    ASSERT_TRUE(DecodeImageDigestRecord(reinterpret_cast<const uint8_t*>(image.data()) + layout.recordOffset,
                                        kImageDigestRecordSize, record));
    EXPECT_EQ(record.image, check.record.image);

    const uint32_t sectionsEnd = uint32_t(image.size() - kTail.size());
    EXPECT_EQ(layout.coveredEnd, sectionsEnd);
    EXPECT_EQ(layout.recordOffset, OffsetOf(image, std::string("MVID\x01\0\0\0", 8)));
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {kOptional + 64, 4},                          // CheckSum
        {kOptional + 96 + 8 * 4, 8},                  // the security directory entry
        {OffsetOf(image, Bytes(300, 1)), 300},        // the payload
        {layout.recordOffset + 40, 32},               // the record's image digest
        {sectionsEnd, uint32_t(kTail.size())},        // after the last section
    };
    ASSERT_EQ(layout.excluded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(layout.excluded[i].offset, expected[i].first) << i;
        EXPECT_EQ(layout.excluded[i].size, expected[i].second) << i;
    }
    // The portable engine gives the digest the fastest one does.
    CMemoryPayloadSource source(image.data(), uint32_t(image.size()));
    EXPECT_EQ(ComputeImageDigest(source, layout, Sha256Engine::Portable), record.image);
}

// Every bit of the image, flipped on its own: the digest must notice it
// unless it lies in one of the ranges left out, and must never read past
// the file whatever the flipped field now says.
TEST(ImageDigest, EveryBitOutsideTheExcludedRangesIsCovered) {
    const std::string image = Sealed(MakeImage(StandardResources(), kTail));
    ImageDigestLayout layout;
    ASSERT_EQ(LayoutProblem(image, &layout), "");
    auto excluded = [&](size_t at) {
        for (const ImageByteRange& r : layout.excluded)
            if (at >= r.offset && at < r.end())
                return true;
        return false;
    };
    const size_t digestField = layout.recordOffset + kImageDigestFieldOffset;
    size_t covered = 0;
    std::string copy = image;
    for (size_t at = 0; at < image.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            copy[at] = char(image[at] ^ (1 << bit));
            // The digest field itself is left out of the hash, but a flip
            // there is a digest that no longer matches.
            const bool stays = excluded(at) && !(at >= digestField && at < digestField + 32);
            const ImageDigestCheck check = Check(copy);
            if (check.intact != stays) {
                ADD_FAILURE() << "bit " << bit << " of byte 0x" << std::hex << at << ": " << check.why.text();
                return;
            }
            EXPECT_TRUE(check.intact || !check.why.empty());
        }
        copy[at] = image[at];
        covered += excluded(at) ? 0 : 1;
    }
    EXPECT_GT(covered, image.size() / 2);
}

TEST(ImageDigest, AFileCutShortBeforeItsLastSectionEndsIsDamaged) {
    const std::string image = Sealed(MakeImage(StandardResources(), kTail));
    const size_t sectionsEnd = image.size() - kTail.size();
    for (size_t length = 0; length < sectionsEnd; ++length) {
        const ImageDigestCheck check = Check(image.substr(0, length));
        ASSERT_FALSE(check.intact) << length;
        ASSERT_FALSE(check.why.empty()) << length;
    }
    // Without the tail, or with another one, it is the same installer.
    EXPECT_TRUE(Check(image.substr(0, sectionsEnd)).intact);
    EXPECT_TRUE(Check(image.substr(0, sectionsEnd) + "another tail").intact);
    EXPECT_EQ(LayoutProblem(image.substr(0, 40)), "the file is shorter than a DOS header");
    EXPECT_EQ(LayoutProblem(image.substr(0, kPe + 2)), "the PE header lies beyond the end of the file");
    EXPECT_EQ(LayoutProblem(image.substr(0, kTable + 50)), "the file is cut short in its section table");
    EXPECT_EQ(LayoutProblem(image.substr(0, sectionsEnd - 1)), "a section lies beyond the end of the file");
}

TEST(ImageDigest, DamagedHeadersAreNamedNotFollowed) {
    const std::string image = Sealed(MakeImage(StandardResources()));
    struct Case {
        const char* what;
        uint32_t at;
        uint32_t value;
        bool wide;
        const char* why;
    };
    const Case cases[] = {
        {"e_lfanew past the end", 0x3C, 0xFFFFFFF0u, true, "the PE header lies beyond the end of the file"},
        {"e_lfanew wrapping round", 0x3C, 0xFFFFFFFEu, true, "the PE header lies beyond the end of the file"},
        {"the PE signature", kPe + 1, 'F', false, "the PE signature is damaged"},
        {"the machine", kPe + 4, 0x8664, false, "the PE header names another machine"},
        {"the optional header's magic", kOptional, 0x20b, false, "the optional header is not a PE32 one"},
        {"a short optional header", kPe + 20, 95, false, "the optional header is too short"},
        {"too many directories", kOptional + 92, 17, true, "the data directory does not fit its header"},
        {"no resource directory", kOptional + 92, 2, true, "the data directory has no resource entry"},
        {"65535 sections", kPe + 6, 0xFFFF, false, "the file is cut short in its section table"},
        {"a section far out", kTable + 40 + 20, 0x7FFFFFFFu, true, "a section lies beyond the end of the file"},
        {"a section overlapping the headers", kTable + 20, 0x100, true, "a section overlaps the headers"},
        {"a huge section", kTable + 40 + 16, 0xFFFFFE00u, true, "a section lies beyond the end of the file"},
        {"the resources outside every section", kOptional + 96 + 16, 0x90000, true,
         "the resource tree lies outside every section"},
        {"no resources", kOptional + 96 + 20, 0, true, "the image has no resources"},
    };
    for (const Case& c : cases) {
        std::string copy = image;
        if (c.wide)
            PeWrite32(copy, c.at, c.value);
        else
            PeWrite16(copy, c.at, uint16_t(c.value));
        EXPECT_EQ(LayoutProblem(copy), c.why) << c.what;
        EXPECT_FALSE(Check(copy).intact) << c.what;
    }
    std::string notMz = image;
    notMz[1] = 'X';
    EXPECT_EQ(LayoutProblem(notMz), "the DOS header is damaged");
}

TEST(ImageDigest, ResourceEntriesThatLeaveTheirSectionAreDamage) {
    const std::string image = Sealed(MakeImage(StandardResources()));
    const uint32_t record = DataEntryOf(image, kRecordId), payload = DataEntryOf(image, kPayloadId);
    const uint32_t recordRva = PeRead32(image, record);
    struct Case {
        const char* what;
        uint32_t at;
        uint32_t value;
        const char* why;
    };
    const Case cases[] = {
        {"the record's data outside every section", record, 0x7FFF0000u,
         "a resource's data lies outside the image's sections"},
        {"the record's data running past its section", record + 4, 0x10000,
         "a resource's data lies outside the image's sections"},
        {"the payload's data in the code section's unmapped end", payload, kCodeRva + kCodeSize - 8,
         "a resource's data lies outside the image's sections"},
        {"the payload over the record", payload, recordRva - 100, "the payload and the digest record overlap"},
        {"a record of 71 bytes", record + 4, 71, "the installer's digest record has the wrong size"},
        {"the root's count past the section", kResourceRaw + 14, 0xFFFF, "the resource tree runs past its section"},
        {"the type's name past the section", kResourceRaw + 16, 0xFFFFFF00u,
         "the resource tree runs past its section"},
    };
    for (const Case& c : cases) {
        std::string copy = image;
        if (c.at == kResourceRaw + 14)
            PeWrite16(copy, c.at, uint16_t(c.value));
        else
            PeWrite32(copy, c.at, c.value);
        EXPECT_EQ(LayoutProblem(copy), c.why) << c.what;
    }
}

TEST(ImageDigest, TheRecordMustBeThereInOneLanguageAndWellFormed) {
    ResourceTree without = StandardResources();
    ASSERT_TRUE(without.Remove(ResourceKey::Name("MV"), ResourceKey::Id(kRecordId)));
    const std::string bare = MakeImage(without);
    EXPECT_EQ(LayoutProblem(bare), "the installer carries no digest of itself");
    std::string copy = bare;
    PString why;
    EXPECT_FALSE(SealImageDigest(reinterpret_cast<uint8_t*>(&copy[0]), copy.size(), kIds, &why));
    EXPECT_TRUE(copy == bare);
    EXPECT_EQ(std::string(Check(bare).why.text()), "the installer carries no digest of itself");

    // A second language, which the loader might pick instead of the one
    // checked: the language directory counts two entries.
    std::string twice = Sealed(MakeImage(StandardResources()));
    PeWrite16(twice, PlacesOf(twice, kRecordId).languages + 14, 2);
    EXPECT_EQ(LayoutProblem(twice), "a resource the digest relies on is not in exactly one language");
    std::string none = twice;
    PeWrite16(none, PlacesOf(twice, kRecordId).languages + 14, 0);
    EXPECT_EQ(LayoutProblem(none), "a resource the digest relies on is not in exactly one language");

    // The magic or the version of another record format.
    std::string image = Sealed(MakeImage(StandardResources()));
    ImageDigestLayout layout;
    ASSERT_EQ(LayoutProblem(image, &layout), "");
    for (size_t at : {size_t(0), size_t(4)}) {
        std::string other = image;
        other[layout.recordOffset + at] ^= 0x20;
        const ImageDigestCheck check = Check(other);
        EXPECT_FALSE(check.intact);
        EXPECT_FALSE(check.recordRead);
        EXPECT_EQ(std::string(check.why.text()), "the installer's digest record is malformed");
    }
}

TEST(ImageDigest, AnImageWithoutPayloadLeavesOutOnlyTheRest) {
    ResourceTree tree = StandardResources();
    ASSERT_TRUE(tree.Remove(ResourceKey::Name("MV"), ResourceKey::Id(kPayloadId)));
    const std::string image = Sealed(MakeImage(tree));
    ImageDigestLayout layout;
    ASSERT_EQ(LayoutProblem(image, &layout), "");
    EXPECT_EQ(layout.excluded.size(), 3u);  // checksum, security entry, the record's digest
    EXPECT_TRUE(Check(image).intact);
}

// What signing and tinfo do to an installer: the checksum and the security
// entry change, a certificate table and a tracking block follow the
// sections. The digest must not notice.
TEST(ImageDigest, ASignedAndTrackedLayoutStillMatches) {
    const std::string image = Sealed(MakeImage(StandardResources()));
    // A certificate table as osslsigncode appends one: 8-byte aligned, one
    // WIN_CERTIFICATE holding DER signature data.
    std::string signedImage = image + std::string((8 - image.size() % 8) % 8, '\0');
    const uint32_t table = uint32_t(signedImage.size());
    std::string entry(8, '\0');
    entry += std::string("\x30\x06\x02\x01\x01\x02\x01\x02", 8);
    PeWrite32(entry, 0, uint32_t(entry.size()));
    PeWrite16(entry, 4, 0x0200);
    PeWrite16(entry, 6, 0x0002);
    signedImage += entry;
    PeWrite32(signedImage, kOptional + 96 + 32, table);
    PeWrite32(signedImage, kOptional + 96 + 36, uint32_t(entry.size()));
    PeWrite32(signedImage, kOptional + 64, PeChecksum(signedImage, kOptional + 64));
    EXPECT_TRUE(Check(signedImage).intact) << Check(signedImage).why.text();

    const std::string tracked = WithCertificateTableTail(PeImage(signedImage), EncodeTrackingBlock("SRC=partner\n"));
    EXPECT_TRUE(Check(tracked).intact) << Check(tracked).why.text();
    EXPECT_TRUE(Check(StampTrackingBlock(image, "SRC=unsigned\n")).intact);

    // But the signature's table must follow the sections: put in their place
    // it changes covered bytes.
    std::string inside = signedImage;
    inside.replace(kCodeRaw, entry.size(), entry);
    EXPECT_FALSE(Check(inside).intact);
}

TEST(ImageDigestRecord, RoundTripsAndRefusesOtherShapes) {
    ImageDigestRecord record;
    for (size_t i = 0; i < 32; ++i) {
        record.messageTable[i] = uint8_t(i);
        record.image[i] = uint8_t(0xA0 + i);
    }
    const ImageDigestRecordBytes bytes = EncodeImageDigestRecord(record);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 8), std::string("MVID\x01\0\0\0", 8));
    ImageDigestRecord back;
    ASSERT_TRUE(DecodeImageDigestRecord(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.messageTable, record.messageTable);
    EXPECT_EQ(back.image, record.image);
    EXPECT_EQ(std::memcmp(bytes.data() + kImageDigestFieldOffset, record.image.data(), 32), 0);
    EXPECT_FALSE(DecodeImageDigestRecord(bytes.data(), bytes.size() - 1, back));
    EXPECT_FALSE(DecodeImageDigestRecord(nullptr, bytes.size(), back));
    ImageDigestRecordBytes version2 = bytes;
    version2[4] = 2;
    EXPECT_FALSE(DecodeImageDigestRecord(version2.data(), version2.size(), back));
}

}  // namespace
