// The resource writer on the installer stub the Windows build leaves
// (build/windows/bin/MorvanditeInstallStub.exe), checked against readers
// that share no code with it: wrestool (icoutils), the linker's own checksum
// and objdump from the mingw binutils.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "certtable.h"
#include "peimage.h"
#include "perror.h"
#include "resourcetree.h"
#include "test_paths.h"
#include "versioninfo.h"

namespace {

// The output of a shell command; the exit status through rc.
std::string Shell(const std::string& command, int* rc = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        out.append(buffer, n);
    int status = pclose(p);
    if (rc)
        *rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// wrestool's bytes of one resource.
std::string Extracted(const std::string& image, const ResourceEntry& e) {
    std::string type = e.type.isName ? e.type.Text() : std::to_string(e.type.id);
    return Shell("wrestool -x --raw --type=" + Quote(type) + " --name=" + std::to_string(e.name.id) +
                 " --language=" + std::to_string(e.language.id) + " " + Quote(image));
}

// One objdump -p header field, as its hexadecimal text reads.
uint32_t DumpedField(const std::string& image, const std::string& field) {
    std::istringstream in(Shell("i686-w64-mingw32-objdump -p " + Quote(image)));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0 && (line.size() == field.size() || line[field.size()] == '\t'))
            return uint32_t(std::strtoul(line.c_str() + field.size(), nullptr, 16));
    ADD_FAILURE() << field << " not in objdump's output";
    return 0;
}

class StubResources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string path = InstallerStubPath();
        try {
            stubBytes_ = new std::string(ReadWholeFile(path));
        } catch (const std::exception&) {
            stubBytes_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete stubBytes_;
        stubBytes_ = nullptr;
    }
    void SetUp() override {
        const std::string absent = WindowsArtefactAbsence(InstallerStubPath());
        if (!absent.empty())
            GTEST_SKIP() << absent;
        ASSERT_TRUE(stubBytes_) << "no stub at " << InstallerStubPath() << ": build the Windows tree first (tools/build.sh)";
        dir_ = ScratchFolder("peimage");
        stub_.reset(new PeImage(*stubBytes_));
        address_ = stub_->ResourceSectionAddress();
        tree_ = ResourceTree::Parse(stub_->ResourceSectionBytes(), address_);
    }
    std::string Save(const char* name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        WriteWholeFile(path, bytes);
        return path;
    }
    std::string Rewritten(const ResourceTree& tree) { return stub_->WithResourceSection(tree.Build(address_)); }

    static std::string* stubBytes_;
    std::unique_ptr<PeImage> stub_;
    uint32_t address_ = 0;
    ResourceTree tree_;
    std::string dir_;
};
std::string* StubResources::stubBytes_ = nullptr;

TEST_F(StubResources, EveryResourceReadsAsWrestoolReadsItAndSurvivesARewrite) {
    // The stub carries the configuration, the texts, the pictures, the
    // manifest and the version, and no client.
    ASSERT_GE(tree_.entries().size(), 25u);
    EXPECT_TRUE(tree_.Find(ResourceKey::Name("MV"), ResourceKey::Id(131)));
    EXPECT_TRUE(tree_.Find(ResourceKey::Name("MV"), ResourceKey::Id(205)));
    EXPECT_FALSE(tree_.Find(ResourceKey::Name("MV"), ResourceKey::Id(130)));
    std::string original = Save("stub.exe", *stubBytes_);
    std::string rewritten = Save("rewritten.exe", Rewritten(tree_));
    ResourceTree again = ResourceTree::Parse(PeImage(ReadWholeFile(rewritten)).ResourceSectionBytes(), address_);
    ASSERT_EQ(again.entries().size(), tree_.entries().size());
    for (size_t i = 0; i < tree_.entries().size(); ++i) {
        const ResourceEntry& e = tree_.entries()[i];
        const ResourceEntry& f = again.entries()[i];
        SCOPED_TRACE(e.type.Text() + "/" + e.name.Text());
        EXPECT_TRUE(e.type == f.type && e.name == f.name && e.language == f.language);
        EXPECT_EQ(f.codePage, e.codePage);
        EXPECT_EQ(f.data, e.data);
        EXPECT_EQ(Extracted(original, e), e.data);
        EXPECT_EQ(Extracted(rewritten, e), e.data);
    }
    // Everything outside the resource section and the header fields that follow it is unchanged.
    const PeSection& rsrc = stub_->sections()[size_t(stub_->SectionOfAddress(address_))];
    std::string out = ReadWholeFile(rewritten);
    EXPECT_EQ(out.substr(stub_->sections()[0].rawPointer, rsrc.rawPointer - stub_->sections()[0].rawPointer),
              stubBytes_->substr(stub_->sections()[0].rawPointer, rsrc.rawPointer - stub_->sections()[0].rawPointer));
}

TEST_F(StubResources, TheChecksumIsTheLinkersAlgorithm) {
    // ld wrote the stub's checksum; the same algorithm must give the same sum.
    ASSERT_NE(stub_->checksum(), 0u);
    EXPECT_EQ(PeChecksum(*stubBytes_, stub_->checksumOffset()), stub_->checksum());
    std::string changed = *stubBytes_;
    changed[changed.size() / 2] ^= 0x11;
    EXPECT_NE(PeChecksum(changed, stub_->checksumOffset()), stub_->checksum());
}

TEST_F(StubResources, UnknownResourcesAreKept) {
    ResourceTree tree = tree_;
    tree.Put(ResourceKey::Name("ZZUNKNOWN"), ResourceKey::Id(77), 0x407, std::string("opaque\0bytes", 12));
    tree.Put(ResourceKey::Id(4242), ResourceKey::Id(1), 0, "by number");
    std::string image = Save("unknown.exe", Rewritten(tree));
    // A rewrite that knows nothing about them (here: a further payload) keeps them.
    PeImage pe(ReadWholeFile(image));
    ResourceTree read = ResourceTree::Parse(pe.ResourceSectionBytes(), address_);
    read.Put(ResourceKey::Name("MV"), ResourceKey::Id(130), 1033, "payload");
    std::string image2 = Save("unknown2.exe", pe.WithResourceSection(read.Build(address_)));
    EXPECT_EQ(Shell("wrestool -x --raw --type=ZZUNKNOWN --name=77 --language=1031 " + Quote(image2)),
              std::string("opaque\0bytes", 12));
    EXPECT_EQ(Shell("wrestool -x --raw --type=4242 --name=1 " + Quote(image2)), "by number");
    EXPECT_EQ(Shell("wrestool -x --raw --type=MV --name=130 " + Quote(image2)), "payload");
}

TEST_F(StubResources, TheSectionGrowsAndShrinksAndWhatFollowsItMoves) {
    std::string base = Rewritten(tree_);
    ResourceTree big = tree_;
    std::string payload(5 * 1000 * 1000 + 123, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = char((i * 2654435761u) >> 13);
    big.Put(ResourceKey::Name("MV"), ResourceKey::Id(130), 1033, payload);
    PeImage basePe(base);
    std::string grown = basePe.WithResourceSection(big.Build(address_));
    std::string grownPath = Save("grown.exe", grown);
    PeImage grownPe(grown);

    // The sizes objdump reads: the image grew by whole section-alignment units,
    // the resource directory covers the new section.
    uint32_t sa = grownPe.sectionAlignment();
    const PeSection& last = grownPe.sections().back();
    EXPECT_EQ(DumpedField(grownPath, "SizeOfImage"), last.virtualAddress + (last.virtualSize + sa - 1) / sa * sa);
    EXPECT_EQ(DumpedField(grownPath, "CheckSum"), PeChecksum(grown, grownPe.checksumOffset()));
    EXPECT_GT(DumpedField(grownPath, "SizeOfImage") + sa, basePe.sizeOfImage() + 5000000);
    EXPECT_EQ(grownPe.directory(kPeDirResource).address, address_);
    EXPECT_EQ(grownPe.directory(kPeDirResource).size, uint32_t(big.Build(address_).size()));
    // Every section after the resources moved by the same amount, bytes unchanged,
    // aligned, and the relocation directory followed its section.
    size_t rsrc = size_t(grownPe.SectionOfAddress(address_));
    ASSERT_LT(rsrc + 1, grownPe.sections().size()) << "the stub has sections after the resources";
    uint32_t moved = grownPe.sections()[rsrc + 1].virtualAddress - basePe.sections()[rsrc + 1].virtualAddress;
    EXPECT_GE(moved + sa, 5000000u);  // less whatever slack the old section had
    for (size_t i = 0; i < grownPe.sections().size(); ++i) {
        const PeSection& a = basePe.sections()[i];
        const PeSection& b = grownPe.sections()[i];
        SCOPED_TRACE(b.name);
        EXPECT_EQ(b.rawPointer % grownPe.fileAlignment(), 0u);
        EXPECT_EQ(b.virtualAddress % sa, 0u);
        if (i == rsrc)
            continue;
        EXPECT_EQ(b.virtualAddress - a.virtualAddress, i > rsrc ? moved : 0u);
        EXPECT_EQ(grown.substr(b.rawPointer, b.rawSize), base.substr(a.rawPointer, a.rawSize));
    }
    int relocs = grownPe.SectionOfAddress(grownPe.directory(kPeDirBaseReloc).address);
    ASSERT_GE(relocs, 0);
    EXPECT_EQ(grownPe.sections()[size_t(relocs)].name, ".reloc");
    std::string headers = Shell("i686-w64-mingw32-objdump -h " + Quote(grownPath));
    char rsrcLine[128];
    std::snprintf(rsrcLine, sizeof rsrcLine, ".rsrc         %08x", grownPe.sections()[rsrc].virtualSize);
    EXPECT_NE(headers.find(rsrcLine), std::string::npos) << headers;
    EXPECT_EQ(Shell("wrestool -x --raw --type=MV --name=130 " + Quote(grownPath)), payload);

    // Back to the smaller tree: the very bytes of the first rewrite.
    ResourceTree shrunk = ResourceTree::Parse(grownPe.ResourceSectionBytes(), address_);
    ASSERT_TRUE(shrunk.Remove(ResourceKey::Name("MV"), ResourceKey::Id(130)));
    EXPECT_TRUE(grownPe.WithResourceSection(shrunk.Build(address_)) == base);
}

// mkinstaller writes the payload itself, after the rest of the image: the
// resource placed last, head + data + tail, reads as the same resources as
// the image laid out whole, and the checksum over pieces is the whole's.
TEST_F(StubResources, AResourcePlacedLastIsWrittenByTheCallerBetweenHeadAndTail) {
    std::string payload(3 * 1000 * 1000 + 7, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = char((i * 2654435761u) >> 11);
    ResourceTree deferred = tree_;
    deferred.Put(ResourceKey::Name("MV"), ResourceKey::Id(130), 1033, std::string());
    const std::string head = deferred.BuildDeferred(address_, ResourceKey::Name("MV"), ResourceKey::Id(130),
                                                    uint32_t(payload.size()));
    EXPECT_EQ(head.size() % 8, 0u);
    PeImage::SplitImage split = stub_->WithResourceSectionAround(head, uint32_t(payload.size()));
    std::string image = split.head + payload + split.tail;
    PeChecksumAccumulator pieces(stub_->checksumOffset());
    // Pieces of odd and even lengths, a word split across two of them.
    for (size_t at = 0, n = 1; at < image.size(); at += n, n = n * 3 % 65537 + 1)
        pieces.Add(image.data() + at, std::min(n, image.size() - at));
    EXPECT_EQ(pieces.Result(), PeChecksum(image, stub_->checksumOffset()));
    PeWrite32(image, stub_->checksumOffset(), pieces.Result());
    const std::string path = Save("deferred.exe", image);

    PeImage pe(image);
    EXPECT_EQ(DumpedField(path, "CheckSum"), pe.checksum());
    EXPECT_EQ(pe.directory(kPeDirResource).size, uint32_t(head.size() + payload.size()));
    EXPECT_EQ(Shell("wrestool -x --raw --type=MV --name=130 " + Quote(path)), payload);
    // The same resources as the image laid out whole, in the same tree.
    ResourceTree whole = tree_;
    whole.Put(ResourceKey::Name("MV"), ResourceKey::Id(130), 1033, payload);
    ResourceTree read = ResourceTree::Parse(pe.ResourceSectionBytes(), address_);
    ASSERT_EQ(read.entries().size(), whole.entries().size());
    for (size_t i = 0; i < read.entries().size(); ++i) {
        SCOPED_TRACE(read.entries()[i].type.Text() + "/" + read.entries()[i].name.Text());
        EXPECT_TRUE(read.entries()[i].name == whole.entries()[i].name);
        EXPECT_TRUE(read.entries()[i].data == whole.entries()[i].data);
    }
    const PeImage laidOutWhole(stub_->WithResourceSection(whole.Build(address_)));
    EXPECT_EQ(pe.sizeOfImage(), laidOutWhole.sizeOfImage());
    EXPECT_EQ(image.size(), laidOutWhole.bytes().size());

    // A resource to place last must be there, once, without data of its own.
    EXPECT_THROW(tree_.BuildDeferred(address_, ResourceKey::Name("MV"), ResourceKey::Id(130), 1), PInternalError);
    EXPECT_THROW(whole.BuildDeferred(address_, ResourceKey::Name("MV"), ResourceKey::Id(130), 1), PInternalError);
}

TEST_F(StubResources, TheResourcesMoveToAPageBoundaryInTheFileOnly) {
    // An image whose resources start off a page: the stub's, moved one file
    // alignment unit past the next page boundary.
    const size_t rsrc = size_t(stub_->SectionOfAddress(address_));
    const uint32_t page = 0x1000, unit = stub_->fileAlignment();
    ASSERT_LT(unit, page) << "the stub's file alignment leaves nothing to align";
    const uint32_t offPage = (stub_->sections()[rsrc].rawPointer + page - 1) / page * page + unit;
    std::string unaligned = stub_->WithResourcesAt(offPage);
    PeImage unalignedPe(unaligned);
    ASSERT_EQ(unalignedPe.sections()[rsrc].rawPointer, offPage);

    std::string aligned = unalignedPe.WithPageAlignedResources();
    std::string alignedPath = Save("aligned.exe", aligned);
    PeImage alignedPe(aligned);
    EXPECT_EQ(alignedPe.sections()[rsrc].rawPointer % page, 0u);
    EXPECT_EQ(alignedPe.sections()[rsrc].rawPointer, offPage - unit + page);
    // Every section keeps its address and its bytes; only the file offsets
    // from the resources on moved, and the checksum is the linker's sum.
    for (size_t i = 0; i < alignedPe.sections().size(); ++i) {
        const PeSection& a = stub_->sections()[i];
        const PeSection& b = alignedPe.sections()[i];
        SCOPED_TRACE(b.name);
        EXPECT_EQ(b.virtualAddress, a.virtualAddress);
        EXPECT_EQ(b.rawSize, a.rawSize);
        EXPECT_EQ(b.rawPointer % unit, 0u);
        if (i < rsrc)
            EXPECT_EQ(b.rawPointer, a.rawPointer);
        EXPECT_EQ(aligned.substr(b.rawPointer, b.rawSize), stubBytes_->substr(a.rawPointer, a.rawSize));
    }
    EXPECT_EQ(DumpedField(alignedPath, "CheckSum"), PeChecksum(aligned, alignedPe.checksumOffset()));
    EXPECT_EQ(DumpedField(alignedPath, "SizeOfImage"), stub_->sizeOfImage());
    EXPECT_EQ(Shell("wrestool -x --raw --type=MV --name=131 " + Quote(alignedPath)),
              tree_.Find(ResourceKey::Name("MV"), ResourceKey::Id(131))->data);

    // Aligned already: the very same bytes. Backwards or off the file
    // alignment: refused.
    EXPECT_TRUE(alignedPe.WithPageAlignedResources() == aligned);
    EXPECT_THROW(alignedPe.WithResourcesAt(alignedPe.sections()[rsrc].rawPointer - unit), PInternalError);
    EXPECT_THROW(alignedPe.WithResourcesAt(alignedPe.sections()[rsrc].rawPointer + 1), PInternalError);
}

TEST_F(StubResources, ImagesThatCannotBeRewrittenAreRefused) {
    std::string section = tree_.Build(address_);
    EXPECT_THROW(PeImage(std::string(4096, 'M')), PInternalError);
    EXPECT_THROW(PeImage(stubBytes_->substr(0, 300)), PInternalError);
    // A section behind the resources that holds code cannot move.
    std::string codeBehind = *stubBytes_;
    const PeSection& lastSection = stub_->sections().back();
    PeWrite32(codeBehind, lastSection.headerOffset + 36, 0x60000020);
    EXPECT_THROW(PeImage(codeBehind).WithResourceSection(section), PInternalError);
    // A relocation that points behind the resources.
    PeDataDirectory relocs = stub_->directory(kPeDirBaseReloc);
    const PeSection& relocSection = stub_->sections()[size_t(stub_->SectionOfAddress(relocs.address))];
    std::string relocBehind = *stubBytes_;
    PeWrite32(relocBehind, relocSection.rawPointer + (relocs.address - relocSection.virtualAddress), address_);
    EXPECT_THROW(PeImage(relocBehind).WithResourceSection(section), PInternalError);
    // A signed image: its signature would no longer match.
    std::string signedImage = *stubBytes_;
    PeWrite32(signedImage, stub_->directoryOffset(kPeDirSecurity), uint32_t(signedImage.size()));
    PeWrite32(signedImage, stub_->directoryOffset(kPeDirSecurity) + 4, 8);
    signedImage += std::string("\x08\0\0\0\0\x02\x02\0", 8);
    try {
        PeImage(signedImage).WithResourceSection(section);
        ADD_FAILURE() << "a signed image was rewritten";
    } catch (const PInternalError& e) {
        EXPECT_NE(std::string(e.why()).find("signed"), std::string::npos) << e.why();
    }
    // Resource sections that are cut short or point outside themselves.
    EXPECT_THROW(ResourceTree::Parse(section.substr(0, 20), address_), PInternalError);
    EXPECT_THROW(ResourceTree::Parse(section, address_ + 0x10000), PInternalError);
}

TEST_F(StubResources, TheVersionInformationRoundTripsAndTakesNewValues) {
    const ResourceEntry* entry = tree_.Find(ResourceKey::Id(16), ResourceKey::Id(1));
    ASSERT_TRUE(entry);
    VersionInfo info = VersionInfo::Parse(entry->data);
    EXPECT_EQ(info.Build(), entry->data) << "unchanged information must be written back exactly";
    std::u16string company;
    ASSERT_TRUE(info.GetString("CompanyName", company));

    info.SetVersion({3, 14, 159, 65535});
    info.SetString("ProductName", u"Caf\u00e9 \u30ab\u30fc\u30c9");
    std::string built = info.Build();
    VersionInfo read = VersionInfo::Parse(built);
    EXPECT_EQ(read.FileVersion(), (VersionNumber{3, 14, 159, 65535}));
    EXPECT_EQ(read.ProductVersion(), (VersionNumber{3, 14, 159, 65535}));
    std::u16string value;
    ASSERT_TRUE(read.GetString("FileVersion", value));
    EXPECT_EQ(value, u"3.14.159.65535");
    ASSERT_TRUE(read.GetString("ProductName", value));
    EXPECT_EQ(value, u"Caf\u00e9 \u30ab\u30fc\u30c9");
    ASSERT_TRUE(read.GetString("CompanyName", value));
    EXPECT_EQ(value, company);
    // The block lengths add up: wrestool's reader of the rewritten image sees the same strings.
    ResourceTree tree = tree_;
    tree.Put(ResourceKey::Id(16), ResourceKey::Id(1), 0, built);
    std::string path = Save("version.exe", Rewritten(tree));
    std::string raw = Shell("wrestool -x --raw --type=16 " + Quote(path));
    EXPECT_EQ(raw, built);
    EXPECT_EQ(uint16_t(uint8_t(raw[0]) | uint8_t(raw[1]) << 8), raw.size());
}

TEST(VersionNumbers, FourNumbersFrom0To65535) {
    VersionNumber v{};
    EXPECT_TRUE(ParseVersionNumber("0.0.0.0", v));
    EXPECT_TRUE(ParseVersionNumber("65535.1.22.333", v));
    EXPECT_EQ(v, (VersionNumber{65535, 1, 22, 333}));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.65536", "1.2.3.4 ", " 1.2.3.4", "1..3.4", "a.b.c.d",
                            "1.2.3.-4", "1.2.3.0000001", "1,2,3,4", "1.2.3.4."})
        EXPECT_FALSE(ParseVersionNumber(bad, v)) << bad;
}

}  // namespace
