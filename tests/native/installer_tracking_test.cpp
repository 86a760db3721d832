// The tracking block at the end of an installer: the trailer rules, the line
// rules, the writer, and the tinfo tool that distributors run.
#include <gtest/gtest.h>

#include <sys/stat.h>

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

std::string Trailer(uint32_t distance, uint32_t length, uint32_t magic = kTrackingMagic) {
    std::string s;
    for (uint32_t v : {distance, length, magic})
        for (int i = 0; i < 4; ++i)
            s.push_back(char(uint8_t(v >> (8 * i))));
    return s;
}

std::string Scrambled(const std::string& plain) {
    _PBlock block, key;
    std::memcpy(block.alloc(uint32_t(plain.size())), plain.data(), plain.size());
    BuildTrackingKey(key);
    XorBlock(block, key);
    return std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
}

// Writes the bytes to a file and reads its block back (text: unscrambled).
TrackingBlockStatus Read(const std::string& bytes, std::string* text = nullptr) {
    std::string path = ScratchFolder("tracking-native") + "/installer.exe";
    WriteWholeFile(path, bytes);
    FILE* f = std::fopen(path.c_str(), "rb");
    _PBlock block;
    TrackingBlockStatus status = ReadTrackingBlock(f, block);
    std::fclose(f);
    if (text)
        *text = std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
    return status;
}

TrackingInfo Apply(const std::string& plain) {
    _PBlock block;
    if (!plain.empty())
        std::memcpy(block.alloc(uint32_t(plain.size())), plain.data(), plain.size());
    TrackingInfo info;
    info.themeId = "before";
    ApplyTrackingLines(block, info);
    return info;
}

TEST(TrackingKey, BytesNeverChange) {
    // Installers stamped with the key are in circulation.
    _PBlock key;
    BuildTrackingKey(key);
    ASSERT_EQ(key.size(), 45u);
    EXPECT_EQ(key.ptr()[0], 0xD2 ^ 'M');
    EXPECT_EQ(key.ptr()[29], 0x94);        // the mask's terminating zero
    EXPECT_EQ(key.ptr()[30], 0xAB ^ 'M');  // the mask repeats from its start
    EXPECT_EQ(key.ptr()[44], 'd');         // the base's final zero
}

TEST(TrackingTrailer, DistanceMustLieWithin1To1024) {
    std::string pad(2000, 'P'), text;
    EXPECT_EQ(Read(pad + Trailer(0, 0)), TrackingBlockStatus::NotFound);
    EXPECT_EQ(Read(pad + Trailer(1025, 4)), TrackingBlockStatus::NotFound);
    // D = 1: one byte before the end, the last byte of the magic itself.
    ASSERT_EQ(Read(pad + Trailer(1, 1), &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, Scrambled("\xFF"));
    std::string body = "THM=far\n";
    ASSERT_EQ(Read(pad + Scrambled(body) + std::string(1024 - 12 - 8, 'z') + Trailer(1024, 8), &text),
              TrackingBlockStatus::Found);
    EXPECT_EQ(text, body);
}

TEST(TrackingTrailer, MissingOrImpossibleBlocks) {
    EXPECT_EQ(Read("short"), TrackingBlockStatus::NotFound);
    EXPECT_EQ(Read(std::string(100, 'x') + Trailer(20, 8, 0xFFFEFFFF)), TrackingBlockStatus::NotFound);
    // A 50-byte file whose block claims 45 bytes from 40 before the end.
    EXPECT_EQ(Read(std::string(38, 'x') + Trailer(40, 45)), TrackingBlockStatus::ReadError);
    EXPECT_EQ(Read(std::string(8, 'x') + Trailer(500, 8)), TrackingBlockStatus::ReadError);
    // Refused before anything is allocated.
    EXPECT_EQ(Read(std::string(100, 'x') + Trailer(20, 0xFFFFFFF0u)), TrackingBlockStatus::ReadError);
}

TEST(TrackingLines, PrefixesIgnoreCaseAndInstallLinesAreDropped) {
    TrackingInfo info = Apply("\nthm=dark\nTsl=de\n\nits=1700000000\nIz=3600\nITSX=1\nSRC=partner\nTHM=\n");
    EXPECT_STREQ(info.themeId.text(), "dark");
    EXPECT_STREQ(info.localeCode.text(), "de");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nthm=dark\nTsl=de\nITSX=1\nSRC=partner\nTHM=\n");
    // An empty value keeps the theme; zero bytes may end the text.
    info = Apply(std::string("THM=\nA=1\n\0\0", 12));
    EXPECT_STREQ(info.themeId.text(), "before");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nTHM=\nA=1\n");
    EXPECT_STREQ(Apply("").trackingInfo.text(), "[TInfo]\n");
    // The installer's own lines are dropped in any spacing too, and kept lines are trimmed.
    info = Apply(" ITS=1000000000\n\tiz = 1\n SRC = a b \n");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nSRC=a b\n");
}

// A block that breaks the tag grammar is used not at all: the reason comes
// back and nothing of the block (text, theme, locale) is kept.
TEST(TrackingLines, ABlockThatBreaksTheGrammarIsRejectedWhole) {
    const std::string blocks[] = {
        "THM=x\r[update]\rurl=http://evil.invalid/\r\n",  // a CR: a new section to Windows' INI reader
        "THM=x\nSRC=a\n[Options=]\n",                      // a section header
        "THM=x\nIZ\n",                                      // a line without '='
        std::string("THM=x\nA=1\0THM=c\n", 16),            // a zero byte before the end
        "THM=x\nK=" + std::string(256, 'v') + "\n",         // a value over 255 characters
        "THM=x\n" + std::string(1100, '\n'),              // a text over 1,012 bytes
    };
    for (const std::string& text : blocks) {
        _PBlock block;
        std::memcpy(block.alloc(uint32_t(text.size())), text.data(), text.size());
        TrackingInfo info;
        info.themeId = "before";
        info.localeCode = "en";
        std::string why = ApplyTrackingLines(block, info);
        EXPECT_FALSE(why.empty()) << text;
        EXPECT_STREQ(info.trackingInfo.text(), "") << text;
        EXPECT_STREQ(info.themeId.text(), "before") << text;
        EXPECT_STREQ(info.localeCode.text(), "en") << text;
    }
    std::string many = "THM=x\n";
    for (int i = 0; i < 32; ++i)
        many += "K" + std::to_string(i) + "=1\n";
    _PBlock block;
    std::memcpy(block.alloc(uint32_t(many.size())), many.data(), many.size());
    TrackingInfo info;
    EXPECT_EQ(ApplyTrackingLines(block, info), "more than 32 lines");
    EXPECT_STREQ(info.trackingInfo.text(), "");
}

TEST(TrackingWriter, LinesAreCheckedAndMustFitTheLast1024Bytes) {
    EXPECT_EQ(TrackingTextFromLines("A=1\r\n\r\n  \nB=x=y"), "A=1\nB=x=y\n");
    for (std::string bad : {std::string(), std::string("\n \n"), std::string("=novalue\n"), std::string("A=\0b\n", 5)})
        EXPECT_THROW(TrackingTextFromLines(bad), PInternalError);
    try {
        TrackingTextFromLines("A=1\nno value here\n");
        ADD_FAILURE();
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "line 2 is not KEY=value");
    }
    // Values are at most 255 characters, so four lines fill the 1,012 bytes.
    std::string fits;
    for (int i = 0; i < 4; ++i)
        fits += "K" + std::to_string(i) + "=" + std::string(249, 'v') + "\r\n";
    EXPECT_EQ(TrackingTextFromLines(fits).size(), 1012u);
    EXPECT_THROW(TrackingTextFromLines(fits + "v=1"), PInternalError);
    // The grammar's refusals, named by the lines file's own line numbers.
    for (std::string bad : {std::string("A=1\r\n\r\nTHM=x\ry\r\n"), std::string("A=1\n\n[Options=]\n"),
                            std::string("A=1\n\nK=" + std::string(256, 'v'))}) {
        try {
            TrackingTextFromLines(bad);
            ADD_FAILURE() << bad;
        } catch (const PInternalError& e) {
            EXPECT_EQ(std::string(e.why()).rfind("line 3 ", 0), 0u) << e.why();
        }
    }
    EXPECT_EQ(TrackingTextFromLines(" SRC = a \n\tITS=1\n"), "SRC=a\nITS=1\n");
}

TEST(TrackingWriter, RestampingReplacesTheBlockAndDamagedTrailersAreRefused) {
    std::string image(5000, '\x90'), text;
    std::string once = StampTrackingBlock(image, "THM=one\nSRC=a\n");
    EXPECT_EQ(once.find("THM=one"), std::string::npos);  // scrambled
    std::string twice = StampTrackingBlock(once, "SRC=b\n");
    EXPECT_EQ(twice.substr(0, image.size()), image);
    EXPECT_EQ(twice.size(), image.size() + 6 + 12);
    ASSERT_EQ(Read(twice, &text), TrackingBlockStatus::Found);
    EXPECT_EQ(text, "SRC=b\n");
    EXPECT_THROW(StampTrackingBlock(image + Trailer(2000, 4), "A=1\n"), PInternalError);
    EXPECT_THROW(StampTrackingBlock(image + Trailer(20, 9), "A=1\n"), PInternalError);  // overlaps its trailer
}

// ---- The tinfo tool ----

class TinfoTool : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tools = std::getenv("MORVANDITE_TOOLS");
        tool_ = std::string(tools ? tools : MORVANDITE_BINARY_DIR "/bin") + "/tinfo";
        dir_ = ScratchFolder("tinfo-tool");
        WriteWholeFile(File("setup.exe"), std::string(3000, 'M'));
    }

    int Run(const std::string& args, std::string* out = nullptr) {
        std::string command = "'" + tool_ + "' " + args + " >'" + File("out.txt") + "' 2>'" + File("err.txt") + "'";
        int rc = std::system(command.c_str());
        if (out)
            *out = ReadWholeFile(File("out.txt"));
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::string File(const char* name) { return dir_ + "/" + name; }
    std::string Q(const char* name) { return "'" + File(name) + "'"; }

    std::string tool_, dir_;
};

TEST_F(TinfoTool, StampReadAndRestampInPlace) {
    WriteWholeFile(File("a.txt"), "SRC=partner7\r\nTHM=dark\r\n\r\nTSL=fr\r\n");
    WriteWholeFile(File("b.txt"), "SRC=second\n");
    ASSERT_EQ(Run("stamp " + Q("setup.exe") + " " + Q("a.txt") + " " + Q("tracked.exe")), 0);
    EXPECT_EQ(ReadWholeFile(File("setup.exe")), std::string(3000, 'M'));
    std::string out;
    ASSERT_EQ(Run("read " + Q("tracked.exe"), &out), 0);
    EXPECT_EQ(out, "SRC=partner7\nTHM=dark\nTSL=fr\n");

    ASSERT_EQ(Run("stamp " + Q("tracked.exe") + " " + Q("b.txt") + " " + Q("tracked.exe")), 0);
    ASSERT_EQ(Run("read " + Q("tracked.exe"), &out), 0);
    EXPECT_EQ(out, "SRC=second\n");
    EXPECT_EQ(ReadWholeFile(File("tracked.exe")).size(), 3000u + 11 + 12);
}

TEST_F(TinfoTool, RefusalsWriteNothingAndSayWhy) {
    WriteWholeFile(File("big.txt"), "K=" + std::string(1010, 'v') + "\n");
    WriteWholeFile(File("bad.txt"), "SRC=x\njunk\n");
    WriteWholeFile(File("a.txt"), "SRC=x\n");
    std::string err;
    EXPECT_EQ(Run("stamp " + Q("setup.exe") + " " + Q("big.txt") + " " + Q("out.exe")), 1);
    EXPECT_EQ(Run("stamp " + Q("setup.exe") + " " + Q("bad.txt") + " " + Q("out.exe")), 1);
    EXPECT_NE(ReadWholeFile(File("err.txt")).find("line 2"), std::string::npos);
    EXPECT_EQ(Run("stamp " + Q("missing.exe") + " " + Q("a.txt") + " " + Q("out.exe")), 1);
    EXPECT_NE(ReadWholeFile(File("err.txt")).find("No such file"), std::string::npos) << ReadWholeFile(File("err.txt"));
    EXPECT_THROW(ReadWholeFile(File("out.exe")), std::runtime_error);
    // A write that fails says why; an output that is no regular file is left alone.
    EXPECT_EQ(Run("stamp " + Q("setup.exe") + " " + Q("a.txt") + " " + Q("no-such-folder/out.exe")), 1);
    EXPECT_NE(ReadWholeFile(File("err.txt")).find("No such file"), std::string::npos) << ReadWholeFile(File("err.txt"));
    ASSERT_EQ(mkfifo(File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(Run("stamp " + Q("setup.exe") + " " + Q("a.txt") + " " + Q("pipe")), 1);
    EXPECT_NE(ReadWholeFile(File("err.txt")).find("a pipe, not a regular file"), std::string::npos);
    struct stat st;
    ASSERT_EQ(lstat(File("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // Reading an installer without a block is a refusal with its reason.
    std::string out;
    EXPECT_EQ(Run("read " + Q("setup.exe"), &out), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(ReadWholeFile(File("err.txt")).find("no tracking block"), std::string::npos);
    // Usage.
    EXPECT_EQ(Run("stamp"), 2);
    EXPECT_EQ(Run("read " + Q("setup.exe") + " extra"), 2);
}

}  // namespace
