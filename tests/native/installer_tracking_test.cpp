// The tracking block at the end of an installer: the trailer rules, the line
// rules, the writer, and the tinfo tool that distributors run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "inixor.h"
#include "perror.h"
#include "test_paths.h"
#include "tracking.h"
#include "trackingkey.h"

namespace {

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s.push_back(char(uint8_t(v >> (8 * i))));
    return s;
}

std::string Trailer(uint32_t distance, uint32_t length, uint32_t magic = kTrackingMagic) {
    return Le32(distance) + Le32(length) + Le32(magic);
}

std::string Scrambled(const std::string& plain) {
    _PBlock block, key;
    std::memcpy(block.alloc(uint32_t(plain.size())), plain.data(), plain.size());
    BuildTrackingKey(key);
    XorBlock(block, key);
    return std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
}

class TrackingFile : public ::testing::Test {
protected:
    void SetUp() override { dir_ = ScratchFolder("tracking-native"); }

    // Writes bytes to a file and reads its tracking block back.
    TrackingBlockStatus Read(const std::string& bytes, std::string* text = nullptr) {
        std::string path = dir_ + "/installer.exe";
        WriteWholeFile(path, bytes);
        FILE* f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        _PBlock block;
        TrackingBlockStatus status = ReadTrackingBlock(f, block);
        std::fclose(f);
        if (text)
            *text = std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
        return status;
    }

    std::string dir_;
};

TEST(TrackingKey, IsBuiltFromItsTwoConstantsAndNeverChanges) {
    _PBlock key;
    BuildTrackingKey(key);
    ASSERT_EQ(key.size(), 45u);
    EXPECT_EQ(key.ptr()[0], 0xD2 ^ 'M');
    EXPECT_EQ(key.ptr()[29], 0x94);       // the mask's terminating zero
    EXPECT_EQ(key.ptr()[30], 0xAB ^ 'M');  // the mask repeats from its start
    EXPECT_EQ(key.ptr()[44], 'd');         // the base's final zero
}

TEST_F(TrackingFile, DistanceMustLieWithin1To1024) {
    std::string pad(2000, 'P');
    EXPECT_EQ(Read(pad + Trailer(0, 0)), TrackingBlockStatus::NotFound);
    EXPECT_EQ(Read(pad + Trailer(1025, 4)), TrackingBlockStatus::NotFound);

    std::string text;
    // D = 1: one byte before the end, the last byte of the magic itself.
    ASSERT_EQ(Read(pad + Trailer(1, 1), &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, Scrambled("\xFF"));
    ASSERT_EQ(Read(pad + Trailer(1, 0), &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, "");

    std::string body = "THM=far\n";
    std::string file = pad + Scrambled(body) + std::string(1024 - 12 - body.size(), 'z') + Trailer(1024, 8);
    ASSERT_EQ(Read(file, &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, body);
}

TEST_F(TrackingFile, NoTrailerWrongMagicOrTinyFileIsNotFound) {
    EXPECT_EQ(Read(""), TrackingBlockStatus::NotFound);
    EXPECT_EQ(Read("short"), TrackingBlockStatus::NotFound);
    EXPECT_EQ(Read(std::string(100, 'x') + Trailer(20, 8, 0xFFFEFFFF)), TrackingBlockStatus::NotFound);
}

TEST_F(TrackingFile, BlockBeyondTheFileIsAReadError) {
    // The whole file is 50 bytes; the block claims to start 40 bytes before
    // the end but to be 45 long.
    EXPECT_EQ(Read(std::string(38, 'x') + Trailer(40, 45)), TrackingBlockStatus::ReadError);
    // The block would start before the file does.
    EXPECT_EQ(Read(std::string(8, 'x') + Trailer(500, 8)), TrackingBlockStatus::ReadError);
    // A huge length is refused before any allocation is tried.
    EXPECT_EQ(Read(std::string(100, 'x') + Trailer(20, 0xFFFFFFF0u)), TrackingBlockStatus::ReadError);
}

TrackingInfo Apply(const std::string& plain) {
    _PBlock block;
    if (!plain.empty())
        std::memcpy(block.alloc(uint32_t(plain.size())), plain.data(), plain.size());
    TrackingInfo info;
    ApplyTrackingLines(block, info);
    return info;
}

TEST(TrackingLines, PrefixesIgnoreCaseAndInstallLinesAreDropped) {
    TrackingInfo info = Apply("thm=dark\nTsl=de\nits=1700000000\nIz=3600\nSRC=partner\n");
    EXPECT_STREQ(info.themeId.text(), "dark");
    EXPECT_STREQ(info.localeCode.text(), "de");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nthm=dark\nTsl=de\nSRC=partner\n");
}

TEST(TrackingLines, EmptyValuesChangeNothingButAreKept) {
    TrackingInfo info;
    info.themeId = "before";
    _PBlock block;
    std::string plain = "THM=\nTSL=\n";
    std::memcpy(block.alloc(uint32_t(plain.size())), plain.data(), plain.size());
    ApplyTrackingLines(block, info);
    EXPECT_STREQ(info.themeId.text(), "before");
    EXPECT_STREQ(info.localeCode.text(), "");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nTHM=\nTSL=\n");
}

TEST(TrackingLines, NearMissesOfTheDroppedPrefixesAreKept) {
    TrackingInfo info = Apply("ITSX=1\nIZ\nITS\nxITS=2\nIZ=\n");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nITSX=1\nIZ\nITS\nxITS=2\n");
}

TEST(TrackingLines, BlankLinesSkippedLastValueWinsTextStopsAtZero) {
    TrackingInfo info = Apply(std::string("\n\nTHM=a\n\nTHM=b\nA=1", 18) + std::string("\0THM=c\n", 7));
    EXPECT_STREQ(info.themeId.text(), "b");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nTHM=a\nTHM=b\nA=1\n");
    EXPECT_STREQ(Apply("").trackingInfo.text(), "[TInfo]\n");
}

TEST(TrackingWriter, LinesAreNormalisedAndChecked) {
    EXPECT_EQ(TrackingTextFromLines("A=1\r\n\r\n  \nB=x=y"), "A=1\nB=x=y\n");
    EXPECT_THROW(TrackingTextFromLines(""), PInternalError);
    EXPECT_THROW(TrackingTextFromLines("\n \n"), PInternalError);
    try {
        TrackingTextFromLines("A=1\nno value here\n");
        FAIL();
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "line 2 is not KEY=value");
    }
    EXPECT_THROW(TrackingTextFromLines("=novalue\n"), PInternalError);
    EXPECT_THROW(TrackingTextFromLines(std::string("A=\0b\n", 5)), PInternalError);
}

TEST(TrackingWriter, TheBlockMustFitTheLast1024Bytes) {
    std::string fits = "K=" + std::string(1012 - 3, 'v');  // plus its line feed: 1,012 bytes
    EXPECT_EQ(TrackingTextFromLines(fits).size(), 1012u);
    EXPECT_THROW(TrackingTextFromLines(fits + "v"), PInternalError);
}

TEST_F(TrackingFile, StampedImageReadsBackAndRestampingReplacesTheBlock) {
    std::string image(5000, '\x90');
    std::string once = StampTrackingBlock(image, "THM=one\nSRC=a\n");
    EXPECT_EQ(once.substr(0, image.size()), image);
    EXPECT_EQ(once.find("THM=one"), std::string::npos);  // scrambled, not plain
    std::string text;
    ASSERT_EQ(Read(once, &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, "THM=one\nSRC=a\n");

    std::string twice = StampTrackingBlock(once, "SRC=b\n");
    EXPECT_EQ(twice.size(), image.size() + 6 + 12);
    EXPECT_EQ(twice.substr(0, image.size()), image);
    ASSERT_EQ(Read(twice, &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, "SRC=b\n");

    std::string largest = StampTrackingBlock(image, TrackingTextFromLines("K=" + std::string(1009, 'v')));
    ASSERT_EQ(Read(largest, &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text.size(), 1012u);
}

TEST(TrackingWriter, DamagedTrailerIsRefused) {
    std::string image(100, 'x');
    EXPECT_THROW(StampTrackingBlock(image + Trailer(2000, 4), "A=1\n"), PInternalError);
    EXPECT_THROW(StampTrackingBlock(image + Trailer(20, 9), "A=1\n"), PInternalError);  // overlaps its trailer
    EXPECT_THROW(StampTrackingBlock(std::string(4, 'x') + Trailer(30, 4), "A=1\n"), PInternalError);
    EXPECT_EQ(StampTrackingBlock(image, "A=1\n").size(), 100u + 4 + 12);
}

// ---- The tinfo tool ----------------------------------------------------

class TinfoTool : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tools = std::getenv("MORVANDITE_TOOLS");
        tool_ = std::string(tools ? tools : MORVANDITE_BINARY_DIR "/bin") + "/tinfo";
        dir_ = ScratchFolder("tinfo-tool");
    }

    int Run(const std::string& args, std::string* out = nullptr) {
        std::string command = "'" + tool_ + "' " + args + " >'" + dir_ + "/out.txt' 2>'" + dir_ + "/err.txt'";
        int rc = std::system(command.c_str());
        if (out)
            *out = ReadWholeFile(dir_ + "/out.txt");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::string Path(const char* name) { return "'" + dir_ + "/" + name + "'"; }
    std::string File(const char* name) { return dir_ + "/" + name; }

    std::string tool_, dir_;
};

TEST_F(TinfoTool, StampThenReadShowsTheLines) {
    WriteWholeFile(File("setup.exe"), std::string(3000, 'M'));
    WriteWholeFile(File("lines.txt"), "SRC=partner7\r\nTHM=dark\r\n\r\nTSL=fr\r\n");
    ASSERT_EQ(Run("stamp " + Path("setup.exe") + " " + Path("lines.txt") + " " + Path("tracked.exe")), 0);
    EXPECT_EQ(ReadWholeFile(File("setup.exe")), std::string(3000, 'M'));  // input untouched

    std::string out;
    ASSERT_EQ(Run("read " + Path("tracked.exe"), &out), 0);
    EXPECT_EQ(out, "SRC=partner7\nTHM=dark\nTSL=fr\n");

    // What the installer makes of it.
    FILE* f = std::fopen(File("tracked.exe").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    _PBlock block;
    ASSERT_EQ(ReadTrackingBlock(f, block), TrackingBlockStatus::Found);
    std::fclose(f);
    TrackingInfo info;
    ApplyTrackingLines(block, info);
    EXPECT_STREQ(info.themeId.text(), "dark");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nSRC=partner7\nTHM=dark\nTSL=fr\n");
}

TEST_F(TinfoTool, RestampingInPlaceReplacesTheBlock) {
    WriteWholeFile(File("setup.exe"), std::string(3000, 'M'));
    WriteWholeFile(File("a.txt"), "SRC=first\nEXTRA=1\n");
    WriteWholeFile(File("b.txt"), "SRC=second\n");
    ASSERT_EQ(Run("stamp " + Path("setup.exe") + " " + Path("a.txt") + " " + Path("setup.exe")), 0);
    ASSERT_EQ(Run("stamp " + Path("setup.exe") + " " + Path("b.txt") + " " + Path("setup.exe")), 0);
    std::string out;
    ASSERT_EQ(Run("read " + Path("setup.exe"), &out), 0);
    EXPECT_EQ(out, "SRC=second\n");
    EXPECT_EQ(ReadWholeFile(File("setup.exe")).size(), 3000u + 11 + 12);
}

TEST_F(TinfoTool, RefusalsLeaveNoOutput) {
    WriteWholeFile(File("setup.exe"), std::string(3000, 'M'));
    WriteWholeFile(File("big.txt"), "K=" + std::string(1010, 'v') + "\n");
    WriteWholeFile(File("bad.txt"), "SRC=x\njunk\n");
    EXPECT_EQ(Run("stamp " + Path("setup.exe") + " " + Path("big.txt") + " " + Path("out.exe")), 2);
    EXPECT_EQ(Run("stamp " + Path("setup.exe") + " " + Path("bad.txt") + " " + Path("out.exe")), 2);
    EXPECT_NE(ReadWholeFile(File("err.txt")).find("line 2"), std::string::npos);
    EXPECT_EQ(Run("stamp " + Path("missing.exe") + " " + Path("bad.txt") + " " + Path("out.exe")), 2);
    EXPECT_FALSE(std::fopen(File("out.exe").c_str(), "rb"));
    EXPECT_EQ(Run("stamp"), 2);
}

TEST_F(TinfoTool, ReadSaysWhenThereIsNoBlock) {
    WriteWholeFile(File("plain.exe"), std::string(100, 'M'));
    std::string out;
    EXPECT_EQ(Run("read " + Path("plain.exe"), &out), 1);
    EXPECT_NE(out.find("no tracking block"), std::string::npos);
}

}  // namespace
