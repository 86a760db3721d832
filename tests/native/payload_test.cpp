// The payload archive: building, reading the head, splitting the body into
// files, refusing unsafe or malformed archives, and the two tools.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "lzmadecoder.h"
#include "payload.h"
#include "payloadbuilder.h"
#include "payloaddigest.h"
#include "payloadfiles.h"
#include "payloadfilesource.h"
#include "payloadnames.h"
#include "pencoding.h"
#include "perror.h"
#include "test_paths.h"

namespace fs = std::filesystem;

namespace {

PayloadInput File(const std::string& name, const std::string& bytes) {
    PayloadInput f;
    f.name = name;
    f.bytes = bytes;
    f.size = bytes.size();
    return f;
}

std::string Build(const std::vector<PayloadInput>& files) {
    PayloadStringOutput out;
    BuildPayload(files, out);
    return out.bytes;
}

std::string U32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s.push_back(char(v >> (8 * i)));
    return s;
}

std::string U16Name(const std::string& name) {
    return std::string{char(name.size()), char(name.size() >> 8)} + name;
}

// An archive from a hand-made decoded header and body.
std::string Assemble(const std::string& header, uint32_t total, const std::string& body,
                     uint32_t headerLength = UINT32_MAX) {
    std::string ph = LzmaPack(header.data(), header.size());
    std::string pb = LzmaPack(body.data(), body.size());
    return U32(headerLength == UINT32_MAX ? uint32_t(header.size()) : headerLength) + U32(total) +
           U32(uint32_t(ph.size())) + ph + U32(uint32_t(pb.size())) + pb;
}

std::string Pseudorandom(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return s;
}

// Records every call in order and the bytes each opened file received.
class Recorder : public IStatusCallBack {
public:
    void OnFileStarted(uint32_t count, uint32_t index, const char* name) override {
        events.push_back("start " + std::to_string(index) + "/" + std::to_string(count) + " " + name);
        if (throwAtStart == index)
            throw std::runtime_error("stopped");
    }
    void* OpenOutputFile(const char* path) override {
        events.push_back(std::string("open ") + path);
        ++opened;
        if (skip == path)
            return nullptr;
        files[path];
        return new std::string(path);
    }
    bool WriteOutputFile(void* h, const void* data, uint32_t size) override {
        events.push_back("write " + std::to_string(size));
        if (h)
            files[*static_cast<std::string*>(h)].append(static_cast<const char*>(data), size);
        return true;
    }
    void CloseOutputFile(void* h) override {
        if (!h)
            return;
        events.push_back("close");
        ++closed;
        delete static_cast<std::string*>(h);
    }

    std::vector<std::string> events;
    std::map<std::string, std::string> files;
    std::string skip;
    uint32_t throwAtStart = 0;
    int opened = 0, closed = 0;
};

int Extract(const std::string& archive, Recorder& r, std::string* why = nullptr) {
    PString w;
    int result = ExtractPayload(archive.data(), uint32_t(archive.size()), "D", &r, &w);
    if (why)
        *why = w.text();
    return result;
}

std::string AssertText(const std::function<void()>& f) {
    try {
        f();
    } catch (const PAssert& e) {
        return e.why();
    }
    return "no assertion";
}

}  // namespace

TEST(PayloadFormat, SingleFileHasOnlyTheTwoZeroOffsetsAndGetsTheWholeBody) {
    std::string body = Pseudorandom(5000, 1);
    std::string archive = Build({File("only.bin", body)});
    EXPECT_EQ(PayloadHeaderBytes({File("only.bin", body)}), U32(0) + U32(0) + U16Name("only.bin") + std::string(2, '\0'));
    Recorder r;
    ASSERT_EQ(Extract(archive, r), 0);
    EXPECT_EQ(r.files["D\\only.bin"], body);
    EXPECT_EQ(r.events.front(), "open D\\only.bin");
    EXPECT_EQ(r.events[1], "start 1/1 only.bin");
    EXPECT_EQ(r.opened, r.closed);
}

TEST(PayloadFormat, PropertiesAndHeadFieldsAreAsStored) {
    std::string archive = Build({File("a", "xyz"), File("b\\c", "12")});
    std::string header = PayloadHeaderBytes({File("a", "xyz"), File("b\\c", "12")});
    EXPECT_EQ(archive.substr(0, 8), U32(uint32_t(header.size())) + U32(5));
    EXPECT_EQ(archive.substr(12, 5), std::string("\x5D\x00\x00\x80\x00", 5));
    PayloadLzmaSettings small;
    small.dictionarySize = 65536;
    EXPECT_EQ(LzmaPack("abc", 3, small).substr(0, 5), std::string("\x5D\x00\x00\x01\x00", 5));
}

TEST(PayloadSplitting, EmptyFileInTheMiddleIsCreatedAndReportedInPassing) {
    std::string archive = Build({File("1", "aaaa"), File("2", ""), File("3", "cc")});
    Recorder r;
    ASSERT_EQ(Extract(archive, r), 0);
    std::vector<std::string> expected = {"open D\\1", "start 1/3 1", "write 4", "close", "open D\\2", "start 2/3 2",
                                         "close", "open D\\3", "start 3/3 3", "write 2", "close"};
    EXPECT_EQ(r.events, expected);
    EXPECT_EQ(r.files["D\\2"], "");
    EXPECT_EQ(r.files["D\\3"], "cc");
}

TEST(PayloadSplitting, ChunkEndingAtAFileBoundaryOpensTheNextFileBeforeMoreData) {
    // The decoder hands over 1024-byte pieces: the first file ends with the second piece.
    std::string a = Pseudorandom(2048, 2), b = Pseudorandom(1500, 3);
    Recorder r;
    ASSERT_EQ(Extract(Build({File("a", a), File("b", b)}), r), 0);
    std::vector<std::string> expected = {"open D\\a", "start 1/2 a", "write 1024", "write 1024", "close",
                                         "open D\\b", "start 2/2 b", "write 1024", "write 476", "close"};
    EXPECT_EQ(r.events, expected);
    EXPECT_EQ(r.files["D\\a"], a);
    EXPECT_EQ(r.files["D\\b"], b);
}

TEST(PayloadSplitting, SkippedFileIsConsumedAndLaterFilesLandInPlace) {
    std::string a = Pseudorandom(700, 4), b = Pseudorandom(3000, 5), c = Pseudorandom(900, 6);
    Recorder r;
    r.skip = "D\\sub\\b";
    ASSERT_EQ(Extract(Build({File("a", a), File("sub\\b", b), File("z", c)}), r), 0);
    EXPECT_EQ(r.files.count("D\\sub\\b"), 0u);
    EXPECT_EQ(r.files["D\\a"], a);
    EXPECT_EQ(r.files["D\\z"], c);
}

TEST(PayloadSplitting, ErrorFromTheCallbackEndsExtractionWithTheOpenFileClosed) {
    std::string archive = Build({File("a", "1234"), File("b", "5678"), File("c", "9")});
    for (uint32_t at : {1u, 2u}) {
        Recorder r;
        r.throwAtStart = at;
        EXPECT_THROW(Extract(archive, r), std::runtime_error);
        EXPECT_EQ(r.opened, int(at));
        EXPECT_EQ(r.closed, r.opened) << "stopped at file " << at;
    }
}

TEST(PayloadHead, TruncationAnywhereFailsWithTheMatchingAssertionBeforeAnyFile) {
    std::string archive = Build({File("a", Pseudorandom(3000, 7)), File("b", "tail")});
    uint32_t p1 = uint32_t(uint8_t(archive[8])) | uint32_t(uint8_t(archive[9])) << 8;
    for (size_t cut = 0; cut < archive.size(); ++cut) {
        bool field = cut < 12 || (cut >= 12 + p1 && cut < 16 + p1);
        std::string expected = field ? "dwSize - srcpos >= 4" : "dwSize - srcpos >= length";
        Recorder r;
        std::string text = AssertText([&] { Extract(archive.substr(0, cut), r); });
        EXPECT_NE(text.find("Assertion failed: " + expected + ", file InstallerThread, line "), std::string::npos)
            << "cut at " << cut << ": " << text;
        EXPECT_EQ(r.opened, 0) << "cut at " << cut;
        if (cut < 8) {
            EXPECT_NE(AssertText([&] { GetRequiredSpace(archive.data(), uint32_t(cut), 0); }), "no assertion");
        }
        else if (cut < 12 + p1) {
            EXPECT_NE(AssertText([&] { GetRequiredSpace(archive.data(), uint32_t(cut), 512); }), "no assertion");
        }
    }
}

TEST(PayloadHead, HeaderDecodingShortOfItsLengthAsserts) {
    std::string header = PayloadHeaderBytes({File("a", "xy")});
    std::string archive = Assemble(header, 2, "xy", uint32_t(header.size() + 1));
    Recorder r;
    EXPECT_NE(AssertText([&] { Extract(archive, r); }).find("readed == headerLength"), std::string::npos);
    EXPECT_NE(AssertText([&] { GetRequiredSpace(archive.data(), uint32_t(archive.size()), 4096); })
                  .find("readed == headerLength"),
              std::string::npos);
    EXPECT_EQ(r.opened, 0);
}

TEST(PayloadArchiveErrors, UnsafeNamesRefuseTheWholeArchiveBeforeWriting) {
    const char* bad[] = {"\\root",   "/root",       "C:\\x",  "a:b",   "..\\x",    "a\\..\\..\\x", "a/../x",
                         "a\\\\b",   "a\\",         "..",     ".",     "a\\. .\\b", "CON",          "sub\\nul.txt",
                         "com1",     "x\x01y",      "a?b",    "LPT9 .log"};
    for (const char* name : bad) {
        std::string header = U32(0) + U32(3) + U32(0) + U16Name("good") + U16Name(name) + std::string(2, '\0');
        Recorder r;
        std::string why;
        EXPECT_EQ(Extract(Assemble(header, 5, "12345"), r, &why), 1) << name;
        EXPECT_NE(why.find("unsafe entry name"), std::string::npos) << name << ": " << why;
        EXPECT_EQ(r.opened, 0) << name;
        EXPECT_NE(PayloadNameProblem(name, uint32_t(std::string(name).size())), nullptr) << name;
    }
    for (const char* good : {"a", "sub\\deeper\\f.txt", "a..b", ".hidden", "x\\...y", "console.txt", "com10",
                             "caf\xE9.txt"})
        EXPECT_EQ(PayloadNameProblem(good, uint32_t(std::string(good).size())), nullptr) << good;
}

TEST(PayloadArchiveErrors, BodyEndingBeforeTheTotalIsAnArchiveError) {
    std::string header = PayloadHeaderBytes({File("a", "x")});
    Recorder r;
    std::string why;
    EXPECT_EQ(Extract(Assemble(header, 1000, std::string(900, 'q')), r, &why), 1);
    EXPECT_NE(why.find("900 of 1000"), std::string::npos) << why;
    EXPECT_EQ(r.opened, r.closed);
}

TEST(PayloadArchiveErrors, BadPropertiesOrCorruptDataAreArchiveErrors) {
    std::string archive = Build({File("a", Pseudorandom(4000, 8))});
    uint32_t p1 = uint8_t(archive[8]);
    std::string badProps = archive;
    badProps[16 + p1] = char(0xFF);
    Recorder r;
    EXPECT_EQ(Extract(badProps, r), 1);
    std::string badHeaderProps = archive;
    badHeaderProps[12] = char(0xFF);
    Recorder r2;
    EXPECT_EQ(Extract(badHeaderProps, r2), 1);
    EXPECT_EQ(r2.opened, 0);
    EXPECT_THROW(GetRequiredSpace(badHeaderProps.data(), uint32_t(badHeaderProps.size()), 4096), PInternalError);
}

TEST(PayloadArchiveErrors, MalformedHeadersAreRefusedWithoutReadingPastThem) {
    std::string end = std::string(2, '\0');
    struct Case {
        const char* what;
        std::string header;
        const char* reason;
    } cases[] = {
        {"offsets decrease", U32(0) + U32(4) + U32(2) + U32(0) + U16Name("a") + U16Name("b") + U16Name("c") + end,
         "decrease"},
        {"no terminating 0", U32(0) + U32(4), "no terminating 0"},
        {"name past the header", U32(0) + U32(0) + std::string("\x09\x00" "abc", 5), "past the header"},
        {"fewer names", U32(0) + U32(4) + U32(0) + U16Name("a") + end, "fewer names"},
        {"name list cut", U32(0) + U32(4) + U32(0) + U16Name("a"), "past the header"},
        {"no empty name", U32(0) + U32(0) + U16Name("a"), "no terminating empty name"},
        {"more names", U32(0) + U32(0) + U16Name("a") + U16Name("b") + end, "more names"},
        {"first offset", U32(1) + U32(0) + U16Name("a") + end, "does not start at 0"},
        {"offset past body", U32(0) + U32(99) + U32(0) + U16Name("a") + U16Name("b") + end, "beyond the body"},
        {"trailing bytes", U32(0) + U32(0) + U16Name("a") + end + "x", "after the name list"},
        {"too short", std::string("\0\0", 2), "shorter than"},
    };
    for (const Case& c : cases) {
        std::string archive = Assemble(c.header, 10, "0123456789");
        Recorder r;
        std::string why;
        EXPECT_EQ(Extract(archive, r, &why), 1) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
        EXPECT_EQ(r.opened, 0) << c.what;
        EXPECT_THROW(GetRequiredSpace(archive.data(), uint32_t(archive.size()), 4096), PInternalError) << c.what;
    }
    // An absurd header length is refused before anything is reserved for it.
    std::string huge = Assemble(U32(0) + U32(0) + U16Name("a") + end, 1, "x", kMaxPayloadHeaderLength + 1);
    Recorder r;
    EXPECT_EQ(Extract(huge, r), 1);
}

TEST(PayloadSpace, EachFileIsRoundedUpToWholeClusters) {
    std::string archive = Build({File("a", std::string(4096, 'a')), File("b", "b"), File("c", std::string(4097, 'c')),
                                 File("d", "")});
    uint32_t n = uint32_t(archive.size());
    EXPECT_EQ(GetRequiredSpace(archive.data(), n, 0), 8194u);
    EXPECT_EQ(GetRequiredSpace(archive.data(), n, 1), 8194u);
    EXPECT_EQ(GetRequiredSpace(archive.data(), n, 4096), 4096u + 4096u + 8192u);
    EXPECT_EQ(GetRequiredSpace(archive.data(), n, 512), 4096u + 512u + 4608u);
    // Cluster size 0 reads only the two first fields.
    EXPECT_EQ(GetRequiredSpace(archive.data(), 8, 0), 8194u);
}

TEST(PayloadSpace, ResultsBeyond32BitsSaturateInsteadOfWrapping) {
    std::string header = U32(0) + U32(0x80000001u) + U32(0) + U16Name("a") + U16Name("b") + std::string(2, '\0');
    std::string archive = Assemble(header, 0xFFFFFFFFu, "");
    EXPECT_EQ(GetRequiredSpace(archive.data(), uint32_t(archive.size()), 0x80000000u), 0xFFFFFFFFu);
}

TEST(PayloadLog, ExtractionWritesItsTwoLogTexts) {
    static std::string log;
    log.clear();
    SetPayloadLogSink([](const char* text) { log += text; });
    Recorder r;
    EXPECT_EQ(Extract(Build({File("a", "x")}), r), 0);
    SetPayloadLogSink(nullptr);
    EXPECT_EQ(log, "\nExtracting files:\n");
}

TEST(LzmaDecoder, MemorySinkStopsAtItsCapacity) {
    std::string data = Pseudorandom(5000, 9);
    std::string packed = LzmaPack(data.data(), data.size());
    std::string buffer(3000, '\0');
    CLzmaStreamDecoder d;
    d.SetInput(packed.data(), uint32_t(packed.size()));
    COutMemoryStream* out = new COutMemoryStream(&buffer[0], 3000);
    d.SetOutput(out);
    EXPECT_EQ(d.Decode(), 0);
    EXPECT_EQ(out->HighWater(), 3000u);
    EXPECT_EQ(buffer, data.substr(0, 3000));

    CLzmaStreamDecoder shortInput;
    shortInput.SetInput(packed.data(), 4);
    std::string b2(10, '\0');
    shortInput.SetOutput(new COutMemoryStream(&b2[0], 10));
    EXPECT_EQ(shortInput.Decode(), 1);
}

TEST(LzmaDecoder, DictionaryBeyondWhatEncodersMakeIsRefused) {
    std::string packed = LzmaPack("abcabcabc", 9);
    auto decode = [&](uint32_t dictionary) {
        std::string s = packed;
        for (int i = 0; i < 4; ++i)
            s[1 + i] = char(dictionary >> (8 * i));
        std::string buffer(9, '\0');
        CLzmaStreamDecoder d;
        d.SetInput(s.data(), uint32_t(s.size()));
        d.SetOutput(new COutMemoryStream(&buffer[0], 9));
        return d.Decode() == 0 && buffer == "abcabcabc";
    };
    EXPECT_TRUE(decode(kLzmaMaxDictionary));  // only as much as the output needs is reserved
    EXPECT_FALSE(decode(kLzmaMaxDictionary + 1));
    EXPECT_FALSE(decode(0xFFFFFFFFu));
}

TEST(PayloadBuilder, RefusesWhatTheFormatCannotHold) {
    auto refusal = [](std::vector<PayloadInput> files) -> std::string {
        try {
            Build(files);
        } catch (const PInternalError& e) {
            return e.why();
        }
        return "accepted";
    };
    EXPECT_NE(refusal({}).find("no files"), std::string::npos);
    EXPECT_NE(refusal({File(std::string(65536, 'n'), "x")}).find("65535"), std::string::npos);
    EXPECT_EQ(refusal({File(std::string(65535, 'n'), "x")}), "accepted");
    EXPECT_NE(refusal({File("Read.me", "1"), File("read.ME", "2")}).find("same"), std::string::npos);
    EXPECT_NE(refusal({File("a", ""), File("b", "")}).find("every file is empty"), std::string::npos);
    EXPECT_NE(refusal({File("..\\up", "x")}).find("'..'"), std::string::npos);
    PayloadInput big;
    big.name = "big";
    big.path = "/nonexistent";
    big.size = uint64_t(1) << 31;
    PayloadInput big2 = big;
    big2.name = "big2";
    EXPECT_NE(refusal({big, big2}).find("4 GiB"), std::string::npos);
}

TEST(PayloadBuilder, RunsOfEmptyFilesPackAndComeBack) {
    Recorder r;
    ASSERT_EQ(Extract(Build({File("a", "x"), File("b", ""), File("c", ""), File("d", ""), File("e", "y")}), r), 0);
    EXPECT_EQ(r.opened, 5);
    EXPECT_EQ(r.files["D\\c"], "");
    EXPECT_EQ(r.files["D\\e"], "y");
}

TEST(PayloadBuilder, OrderKeepsFoldersTogetherAndPutsANonEmptyFileFirst) {
    std::vector<PayloadInput> files = {File("b", "2"), File("a b", "3"), File("a\\z", "4"), File("0", ""),
                                       File("a\\c\\d", "5")};
    OrderPayloadInputs(files);
    std::vector<std::string> names;
    for (const PayloadInput& f : files)
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a\\c\\d", "0", "a\\z", "a b", "b"}));
}

TEST(PayloadNames, CodePage1252ConversionsAndRefusals) {
    PString s;
    Cp1252ToUtf8("\x80\xE9\x81", 3, s);
    EXPECT_STREQ(s.text(), "\xE2\x82\xAC\xC3\xA9\xC2\x81");
    PString back;
    ASSERT_TRUE(Utf8ToCp1252(s.text(), s.length(), back));
    EXPECT_STREQ(back.text(), "\x80\xE9\x81");
    EXPECT_FALSE(Utf8ToCp1252("\xE6\x97\xA5", 3, s));  // a CJK character
    EXPECT_FALSE(Utf8ToCp1252("\xC3", 1, s));          // cut sequence
    EXPECT_FALSE(Utf8ToCp1252("\xC0\xAF", 2, s));      // overlong '/'
    PWString w;
    Cp1252ToUtf16("\x99z", 2, w);
    ASSERT_EQ(w.units(), 2u);
    EXPECT_EQ(w.unit(0), 0x2122);
    const uint16_t pair[] = {0xD83D, 0xDE00};
    ASSERT_TRUE(Utf16ToUtf8(pair, 2, s));
    EXPECT_STREQ(s.text(), "\xF0\x9F\x98\x80");
    EXPECT_FALSE(Utf16ToUtf8(pair, 1, s));
}

// What Windows makes of each byte 0x80..0x9F in code page 1252; the five
// bytes the code page leaves undefined become the C1 controls of their value.
const uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint16_t Windows1252(uint8_t b) { return b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : b; }

std::u16string Characters(const char* pstringx) {
    PWString w;
    ToWide(w, pstringx, &PStringXEncoding);
    std::u16string out;
    for (uint32_t i = 0; i < w.units(); ++i)
        out.push_back(char16_t(w.unit(i)));
    return out;
}

std::u16string Utf16(const std::string& utf8) {
    PWString w;
    EXPECT_TRUE(Utf8ToUtf16(utf8.data(), uint32_t(utf8.size()), w));
    std::u16string out;
    for (uint32_t i = 0; i < w.units(); ++i)
        out.push_back(char16_t(w.unit(i)));
    return out;
}

const std::string kCyrillicFolder = "C:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B \xE6\x97\xA5\xE6\x9C\xAC";  // C:\Игры 日本

// Every byte a name can hold, joined to a folder of each form: the joined
// path holds exactly the folder's characters, a backslash and the byte's
// Windows 1252 character (ASCII, the 27 specials of 0x80..0x9F, the Latin-1
// range and the five undefined bytes alike).
TEST(PayloadNameJoin, EveryByteBecomesItsCharacterInBothFolderForms) {
    const std::string ansiFolder = "C:\\Caf\xE9 \xDC" "ber\\";  // C:\Café Über\, code page 1252 form
    const std::string utf8Folder = "\x10" + kCyrillicFolder + "\\";
    const std::u16string ansiChars = Characters(ansiFolder.c_str()), utf8Chars = Characters(utf8Folder.c_str());
    ASSERT_EQ(ansiChars, Utf16("C:\\Caf\xC3\xA9 \xC3\x9C" "ber\\"));
    ASSERT_EQ(utf8Chars, Utf16(kCyrillicFolder + "\\"));
    for (int b = 0x20; b <= 0xFF; ++b) {
        const char name[3] = {'x', char(b), 0};
        PString inAnsi(ansiFolder.c_str()), inUtf8(utf8Folder.c_str());
        AppendPayloadName(inAnsi, name, 2);
        AppendPayloadName(inUtf8, name, 2);
        std::u16string tail = {u'x', char16_t(Windows1252(uint8_t(b)))};
        EXPECT_EQ(Characters(inAnsi.text()), ansiChars + tail) << "byte " << b;
        EXPECT_EQ(Characters(inUtf8.text()), utf8Chars + tail) << "byte " << b;
        EXPECT_TRUE(IsPStringXUtf8(inUtf8.text())) << "byte " << b;
        // A folder in the 1252 form stays in it while the byte is defined there.
        bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        EXPECT_EQ(IsPStringXUtf8(inAnsi.text()), undefined) << "byte " << b;
        if (!undefined)
            EXPECT_EQ(std::string(inAnsi.text()), ansiFolder + name) << "byte " << b;
    }
}

// The extraction hands the callback paths in the destination's form: an
// accented name below a folder in the UTF-8 form keeps every letter.
TEST(PayloadNameJoin, ExtractionJoinsNamesInTheDestinationsForm) {
    std::string archive = Build({File("Data\\Caf\xE9.txt", "accent"), File("\x80uro \xD1.txt", "12"),
                                 File("ctl\x81.dat", "c")});
    const std::string destination = "\x10" + kCyrillicFolder;
    Recorder r;
    PString why;
    ASSERT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), destination.c_str(), &r, &why), 0)
        << why.text();
    std::map<std::string, std::string> expected = {
        {destination + "\\Data\\Caf\xC3\xA9.txt", "accent"},
        {destination + "\\\xE2\x82\xACuro \xC3\x91.txt", "12"},
        {destination + "\\ctl\xC2\x81.dat", "c"},
    };
    EXPECT_EQ(r.files, expected);

    // A destination in the 1252 form keeps the names' bytes.
    Recorder plain;
    ASSERT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), "C:\\Caf\xE9", &plain, &why), 0);
    EXPECT_EQ(plain.files.count("C:\\Caf\xE9\\Data\\Caf\xE9.txt"), 1u);
    EXPECT_EQ(plain.files.count("\x10" "C:\\Caf\xC3\xA9\\ctl\xC2\x81.dat"), 1u);
}

TEST(PayloadNameJoin, HostFormsOfPStringXTexts) {
    PString x, back;
    Utf8ToPStringX("plain/ascii", x);
    EXPECT_STREQ(x.text(), "plain/ascii");
    Utf8ToPStringX(kCyrillicFolder.c_str(), x);
    EXPECT_EQ(std::string(x.text()), "\x10" + kCyrillicFolder);
    PStringXToUtf8(x.text(), back);
    EXPECT_EQ(std::string(back.text()), kCyrillicFolder);
    PStringXToUtf8("Caf\xE9 \x80", back);
    EXPECT_STREQ(back.text(), "Caf\xC3\xA9 \xE2\x82\xAC");
}

// ---- Reading a payload from a file through a bounded buffer ----------------

std::string ManyFilesArchive(std::vector<PayloadInput>* inputs = nullptr) {
    std::vector<PayloadInput> files;
    for (int i = 0; i < 40; ++i)
        files.push_back(File("dir" + std::to_string(i % 3) + "\\f" + std::to_string(i),
                             Pseudorandom(size_t(i) * 997 + 13, uint32_t(i + 1))));
    if (inputs)
        *inputs = files;
    return Build(files);
}

// The archive sits inside a larger file (as the payload resource inside the
// installer): only its region is read, in pieces no larger than the buffer,
// and the files come out exactly as from memory, however small the pieces.
TEST(PayloadFileSource, RegionReadInSmallPiecesExtractsExactly) {
    std::vector<PayloadInput> inputs;
    const std::string archive = ManyFilesArchive(&inputs);
    const std::string before = Pseudorandom(4099, 7), after = Pseudorandom(333, 8);
    const std::string path = ScratchFolder("payload-file-source") + "/container.bin";
    WriteWholeFile(path, before + archive + after);

    for (uint32_t bufferSize : {1u, 3u, 5u, 4096u, 1u << 20}) {
        PayloadFileSource source(bufferSize);
        PString why;
        ASSERT_TRUE(source.Open(path.c_str(), before.size(), uint32_t(archive.size()), &why)) << why.text();
        ASSERT_EQ(source.Length(), archive.size());
        uint32_t got = 0;
        const uint8_t* p = source.Read(0, 1u << 30, &got);
        EXPECT_GE(got, 1u);
        EXPECT_LE(got, bufferSize);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), got), archive.substr(0, got));

        Recorder r;
        ASSERT_EQ(ExtractPayload(source, "D", &r, &why), 0) << "buffer " << bufferSize << ": " << why.text();
        ASSERT_EQ(r.files.size(), inputs.size());
        for (const PayloadInput& f : inputs)
            EXPECT_EQ(r.files["D\\" + f.name], f.bytes) << f.name << ", buffer " << bufferSize;

        PayloadEntryList list;
        uint32_t total = 0;
        ASSERT_EQ(ReadPayloadEntries(source, list, &total, &why), 0) << why.text();
        EXPECT_EQ(list.Count(), inputs.size());
        EXPECT_EQ(GetRequiredSpace(source, 0), total);
        EXPECT_EQ(GetRequiredSpace(source, 4096), GetRequiredSpace(archive.data(), uint32_t(archive.size()), 4096));
    }
}

TEST(PayloadFileSource, RegionsTheFileCannotHoldAreRefused) {
    const std::string path = ScratchFolder("payload-file-source-short") + "/short.bin";
    WriteWholeFile(path, std::string(100, 'x'));
    PayloadFileSource source;
    PString why;
    EXPECT_FALSE(source.Open(path.c_str(), 50, 51, &why));
    EXPECT_NE(std::string(why.text()).find("shorter"), std::string::npos) << why.text();
    EXPECT_FALSE(source.IsOpen());
    EXPECT_FALSE(source.Open(path.c_str(), 101, PayloadFileSource::kToEnd, &why));
    EXPECT_FALSE(source.Open((path + ".missing").c_str(), 0, PayloadFileSource::kToEnd, &why));
    EXPECT_NE(std::string(why.text()).find("short.bin.missing"), std::string::npos) << why.text();
    ASSERT_TRUE(source.Open(path.c_str(), 100, PayloadFileSource::kToEnd, &why)) << why.text();
    EXPECT_EQ(source.Length(), 0u);
    ASSERT_TRUE(source.Open(path.c_str(), 40, PayloadFileSource::kToEnd, &why)) << why.text();
    EXPECT_EQ(source.Length(), 60u);
}

// A file cut short while it is read (a removed medium, a truncated
// download) is an archive error naming the file, not a crash or a success,
// and the file being written is closed.
TEST(PayloadFileSource, FileCutShortWhileReadingIsAnArchiveError) {
    const std::string archive = ManyFilesArchive();
    const std::string path = ScratchFolder("payload-file-source-cut") + "/cut.bin";
    WriteWholeFile(path, archive);
    PayloadFileSource source(64);
    PString why;
    ASSERT_TRUE(source.Open(path.c_str(), 0, PayloadFileSource::kToEnd, &why)) << why.text();
    fs::resize_file(path, archive.size() / 2);

    Recorder r;
    EXPECT_EQ(ExtractPayload(source, "D", &r, &why), 1);
    EXPECT_NE(std::string(why.text()).find("cannot be read"), std::string::npos) << why.text();
    EXPECT_NE(std::string(why.text()).find("cut.bin"), std::string::npos) << why.text();
    EXPECT_GT(r.opened, 0);
    EXPECT_EQ(r.opened, r.closed);

    // Cut inside the head's fields.
    fs::resize_file(path, 6);
    PayloadFileSource early(4);
    ASSERT_TRUE(early.Open(path.c_str(), 0, PayloadFileSource::kToEnd, &why)) << why.text();
    PayloadEntryList list;
    fs::resize_file(path, 2);
    EXPECT_EQ(ReadPayloadEntries(early, list, nullptr, &why), 1);
    EXPECT_NE(std::string(why.text()).find("cannot be read"), std::string::npos) << why.text();
}

TEST(PayloadQueuedWriter, DeliversEveryFileIntactThroughASmallQueue) {
    std::vector<PayloadInput> files = {File("a", Pseudorandom(70000, 12)), File("b", ""), File("c\\d", "x"),
                                       File("e", Pseudorandom(9000, 13))};
    std::string archive = Build(files);
    Recorder inner;
    inner.skip = "D\\c\\d";
    CPayloadQueuedWriter queued(inner, 4096);
    try {
        ASSERT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), "D", &queued), 0);
        queued.Finish();
    } catch (const PError& e) {
        FAIL() << e.why();
    }
    EXPECT_EQ(inner.files["D\\a"], files[0].bytes);
    EXPECT_EQ(inner.files["D\\b"], "");
    EXPECT_EQ(inner.files.count("D\\c\\d"), 0u);
    EXPECT_EQ(inner.files["D\\e"], files[3].bytes);
    EXPECT_EQ(inner.opened, 4);
    EXPECT_EQ(inner.closed, 3);  // the skipped file has no handle to close
}

// Many small files behind a writer that cannot keep up (under Wine a file
// creation costs about a millisecond) wait within the queue's bound as the
// memory they hold: they used to wait each in a block's whole buffer, so
// that a backlog of small files grew the installer by tens of MiB.
TEST(PayloadQueuedWriter, ABacklogOfSmallFilesStaysWithinTheBound) {
    class Held : public Recorder {
    public:
        void* OpenOutputFile(const char* path) override {
            std::unique_lock<std::mutex> lock(mutex);
            released.wait(lock, [&] { return open; });
            return Recorder::OpenOutputFile(path);
        }
        void Release() {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
            released.notify_all();
        }
        std::mutex mutex;
        std::condition_variable released;
        bool open = false;
    } inner;
    constexpr uint32_t kBound = 64 * 1024;
    constexpr int kFiles = 2000;
    std::atomic<int> queued{0};
    {
        CPayloadQueuedWriter writer(inner, kBound);
        std::thread producer([&] {
            for (int i = 0; i < kFiles; ++i) {
                const std::string name = "D\\f" + std::to_string(i);
                void* handle = writer.OpenOutputFile(name.c_str());
                writer.WriteOutputFile(handle, name.data(), uint32_t(name.size()));
                writer.CloseOutputFile(handle);
                ++queued;
            }
        });
        // Until the producer stops getting further.
        int seen = -1;
        while (seen != queued.load()) {
            seen = queued.load();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        // Each waiting file is three operations, its name and its data: far
        // more than 100 bytes of the writer's memory.
        EXPECT_LT(seen, kFiles);
        EXPECT_LE(seen * 100, int(kBound)) << seen << " files wait";
        inner.Release();
        producer.join();
        writer.Finish();
    }
    ASSERT_EQ(inner.files.size(), size_t(kFiles));
    for (int i : {0, 1, kFiles / 2, kFiles - 1})
        EXPECT_EQ(inner.files["D\\f" + std::to_string(i)], "D\\f" + std::to_string(i));
    EXPECT_EQ(inner.closed, kFiles);
}

TEST(PayloadQueuedWriter, FailureOnTheWritingThreadReachesTheExtraction) {
    class FailsAtB : public Recorder {
    public:
        void* OpenOutputFile(const char* path) override {
            if (std::string(path) == "D\\b")
                throw PInternalError("Cannot open file 'D\\b': disk full");
            return Recorder::OpenOutputFile(path);
        }
    } inner;
    std::string archive = Build({File("a", Pseudorandom(5000, 14)), File("b", Pseudorandom(300000, 15)),
                                 File("c", "never")});
    std::string message;
    try {
        CPayloadQueuedWriter queued(inner, 4096);
        ExtractPayload(archive.data(), uint32_t(archive.size()), "D", &queued);
        queued.Finish();
    } catch (const PInternalError& e) {
        message = e.why();
    }
    EXPECT_EQ(message, "Cannot open file 'D\\b': disk full");
    EXPECT_EQ(inner.files.count("D\\c"), 0u);
    EXPECT_EQ(inner.opened, 1);
    EXPECT_EQ(inner.closed, 1);
}

TEST(PayloadQueuedWriter, TheWritingThreadsErrorKeepsItsClass) {
    class ShortWrite : public Recorder {
    public:
        bool WriteOutputFile(void* handle, const void* data, uint32_t size) override {
            throw PSystemError("Cannot write to file 'D\\a'", 112);
        }
    } inner;
    std::string archive = Build({File("a", Pseudorandom(200000, 16)), File("b", "later")});
    bool caughtAsSystemError = false;
    try {
        CPayloadQueuedWriter queued(inner, 4096);
        ExtractPayload(archive.data(), uint32_t(archive.size()), "D", &queued);
        queued.Finish();
    } catch (const PSystemError& e) {
        caughtAsSystemError = std::string(e.why()).rfind("Cannot write to file 'D\\a': ", 0) == 0;
    } catch (const PError&) {
    }
    EXPECT_TRUE(caughtAsSystemError);
    EXPECT_EQ(inner.files.count("D\\b"), 0u);
}

// Through the real tools and real files.
class PayloadTools : public ::testing::Test {
protected:
    static std::string Tool(const std::string& name) {
        const char* dir = std::getenv("MORVANDITE_TOOLS");
        return (dir ? std::string(dir) : BinaryPath("bin")) + "/" + name;
    }
    static int Run(const std::string& command, std::string* output = nullptr) {
        // One file per process: ctest runs the cases of this file in parallel.
        std::string out = BinaryPath("test-scratch/tool-output-" + std::to_string(getpid()) + ".txt");
        int status = std::system((command + " >" + out + " 2>&1").c_str());
        if (output)
            *output = ReadWholeFile(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::map<std::string, std::string> Tree(const std::string& root) {
        std::map<std::string, std::string> files;
        for (auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file())
                files[e.path().lexically_relative(root).string()] = ReadWholeFile(e.path().string());
        return files;
    }
};

TEST_F(PayloadTools, MkpayloadRoundTripIsExactAndDeterministic) {
    std::string src = ScratchFolder("payload-src");
    fs::create_directories(src + "/sub/deeper");
    fs::create_directories(src + "/Z");
    WriteWholeFile(src + "/empty-first.txt", "");
    WriteWholeFile(src + "/sub/caf\xC3\xA9.txt", "accent\n");
    WriteWholeFile(src + "/sub/deeper/data.bin", Pseudorandom(70000, 10));
    WriteWholeFile(src + "/sub/mid-empty", "");
    WriteWholeFile(src + "/Z/text.txt", std::string(50000, 'z'));
    std::string a = BinaryPath("test-scratch/payload-a.bin"), b = BinaryPath("test-scratch/payload-b.bin");
    ASSERT_EQ(Run(Tool("mkpayload") + " " + src + " " + a), 0);
    ASSERT_EQ(Run(Tool("mkpayload") + " " + src + " " + b), 0);
    EXPECT_EQ(ReadWholeFile(a), ReadWholeFile(b));

    // In process, through the host file writer.
    std::string dst = ScratchFolder("payload-dst");
    std::string archive = ReadWholeFile(a);
    CPayloadFileWriter writer(dst.c_str());
    EXPECT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), writer.Destination(), &writer), 0);
    EXPECT_EQ(Tree(dst), Tree(src));

    // Through the tool.
    std::string dst2 = ScratchFolder("payload-dst2");
    std::string out;
    ASSERT_EQ(Run(Tool("payload") + " extract " + a + " " + dst2, &out), 0) << out;
    EXPECT_EQ(Tree(dst2), Tree(src));
    ASSERT_EQ(Run(Tool("payload") + " list " + a, &out), 0);
    EXPECT_NE(out.find("sub/caf\xC3\xA9.txt"), std::string::npos) << out;
    EXPECT_NE(out.find("5 files, 120007 bytes"), std::string::npos) << out;
    ASSERT_EQ(Run(Tool("payload") + " space " + a + " 4096", &out), 0);
    EXPECT_EQ(out, "131072\n");
    EXPECT_EQ(Run(Tool("payload") + " verify " + a), 0);
    // mkpayload's digest is the SHA-256 of the payload's bytes, 32 raw bytes.
    const Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
    EXPECT_EQ(ReadWholeFile(a + ".sha256"), std::string(digest.begin(), digest.end()));
}

TEST_F(PayloadTools, ToolsRefuseWithAMessageAndAFailingStatus) {
    std::string out;
    std::string empty = ScratchFolder("payload-empty-tree");
    std::string target = BinaryPath("test-scratch/payload-keep.bin");
    WriteWholeFile(target, "previous");
    EXPECT_NE(Run(Tool("mkpayload") + " " + empty + " " + target, &out), 0);
    EXPECT_NE(out.find("no files"), std::string::npos) << out;
    EXPECT_EQ(ReadWholeFile(target), "previous");

    std::string archive = Build({File("a", Pseudorandom(5000, 11))});
    std::string cut = BinaryPath("test-scratch/payload-cut.bin");
    WriteWholeFile(cut, archive.substr(0, archive.size() - 1));
    // With a digest of its own, so that verification reaches the decoding.
    const std::string cutBytes = ReadWholeFile(cut);
    const Sha256Digest ofCut = Sha256(reinterpret_cast<const uint8_t*>(cutBytes.data()), cutBytes.size());
    WriteWholeFile(cut + ".sha256", std::string(ofCut.begin(), ofCut.end()));
    EXPECT_NE(Run(Tool("payload") + " verify " + cut, &out), 0);
    EXPECT_NE(out.find("dwSize - srcpos >= length"), std::string::npos) << out;

    std::string unsafe = BinaryPath("test-scratch/payload-unsafe.bin");
    WriteWholeFile(unsafe, Assemble(U32(0) + U32(0) + U16Name("..\\evil") + std::string(2, '\0'), 1, "x"));
    std::string dst = ScratchFolder("payload-unsafe-dst");
    EXPECT_NE(Run(Tool("payload") + " extract " + unsafe + " " + dst + "/in", &out), 0);
    EXPECT_NE(out.find("unsafe entry name"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dst + "/evil"));
    EXPECT_FALSE(fs::exists(dst + "/in"));
}

TEST_F(PayloadTools, WriterNamesTheFolderItCannotCreate) {
    std::string dst = ScratchFolder("payload-blocked");
    WriteWholeFile(dst + "/sub", "a file where a folder should go");
    std::string archive = Build({File("sub\\x", "1")});
    CPayloadFileWriter writer(dst.c_str());
    try {
        ExtractPayload(archive.data(), uint32_t(archive.size()), writer.Destination(), &writer);
        FAIL() << "extracted through a file";
    } catch (const PInternalError& e) {
        EXPECT_NE(std::string(e.why()).find("Cannot create folder '" + dst + "/sub'"), std::string::npos) << e.why();
    }
}

// ---- The integrity digest ----------------------------------------------------------

namespace {
std::string DigestBytes(const std::string& bytes) {
    const Sha256Digest d = Sha256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return std::string(d.begin(), d.end());
}

bool Matches(const std::string& payload, const std::string& digest, std::string* why = nullptr) {
    PString w;
    bool ok = PayloadDigestMatches(payload.data(), payload.size(), digest.data(), digest.size(), &w);
    if (why)
        *why = w.text();
    return ok;
}
}  // namespace

// One flipped bit anywhere in the resource is refused by the check the
// installer makes before it creates anything: every byte of the head and
// the start of the packed header, a spread over the whole body, and every
// byte of the last 4 KB (where a damaged LZMA stream can still decode to
// wrong bytes without an error).
TEST(PayloadDigest, OneFlippedBitAnywhereIsRefused) {
    const std::string archive = Build({File("Data\\a.txt", std::string(9000, 'a')),
                                       File("Data\\b.bin", Pseudorandom(20000, 22)),
                                       File("Tracer.exe", Pseudorandom(40000, 21))});
    const std::string digest = DigestBytes(archive);
    ASSERT_TRUE(Matches(archive, digest));
    ASSERT_GT(archive.size(), 8192u);

    std::vector<size_t> positions;
    for (size_t i = 0; i < 64; ++i)
        positions.push_back(i);
    for (size_t i = 64; i < archive.size() - 4096; i += 97)
        positions.push_back(i);
    for (size_t i = archive.size() - 4096; i < archive.size(); ++i)
        positions.push_back(i);
    int refused = 0;
    for (size_t i : positions) {
        std::string damaged = archive;
        damaged[i] = char(damaged[i] ^ (1 << (i % 8)));
        std::string why;
        EXPECT_FALSE(Matches(damaged, digest, &why)) << "bit " << i % 8 << " of byte " << i;
        EXPECT_EQ(why, "the payload does not match its digest");
        refused += why.empty() ? 0 : 1;
    }
    EXPECT_EQ(refused, int(positions.size()));
}

TEST(PayloadDigest, MissingShortLongOrForeignDigestIsRefused) {
    const std::string archive = Build({File("a", Pseudorandom(3000, 23))});
    const std::string digest = DigestBytes(archive);
    PString why;
    EXPECT_FALSE(PayloadDigestMatches(archive.data(), archive.size(), nullptr, 0, &why));
    EXPECT_STREQ(why.text(), "the payload's digest is missing");
    std::string w;
    EXPECT_FALSE(Matches(archive, digest.substr(0, 31), &w));
    EXPECT_EQ(w, "the payload's digest is not 32 bytes long");
    EXPECT_FALSE(Matches(archive, digest + "x", &w));
    EXPECT_EQ(w, "the payload's digest is not 32 bytes long");
    EXPECT_FALSE(Matches(archive, "", &w));
    EXPECT_FALSE(Matches(archive, DigestBytes(archive + "x"), &w));
    EXPECT_EQ(w, "the payload does not match its digest");
    // A cut payload does not match the digest of the whole one.
    EXPECT_FALSE(Matches(archive.substr(0, archive.size() - 1), digest));
}

// Read piece by piece from a file (as the payload tool checks it), the
// digest gives the same verdicts as over the bytes in memory, however small
// the pieces.
TEST(PayloadDigest, PiecewiseSourceGivesTheSameVerdicts) {
    const std::string archive = Build({File("a.bin", Pseudorandom(70000, 31)), File("b.txt", "bee")});
    const std::string digest = DigestBytes(archive);
    const std::string path = ScratchFolder("payload-digest-source") + "/payload.bin";
    for (size_t flip : {size_t(-1), size_t(0), archive.size() / 2, archive.size() - 1}) {
        std::string bytes = archive;
        if (flip != size_t(-1))
            bytes[flip] = char(bytes[flip] ^ 0x04);
        WriteWholeFile(path, bytes);
        for (uint32_t buffer : {1u, 63u, 4096u}) {
            PayloadFileSource source(buffer);
            PString openWhy, why;
            ASSERT_TRUE(source.Open(path.c_str(), 0, PayloadFileSource::kToEnd, &openWhy)) << openWhy.text();
            EXPECT_EQ(PayloadDigestMatches(source, digest.data(), digest.size(), &why), flip == size_t(-1))
                << "flip at " << flip << ", buffer " << buffer << ": " << why.text();
        }
    }
    PayloadFileSource source;
    PString why;
    ASSERT_TRUE(source.Open(path.c_str(), 0, PayloadFileSource::kToEnd, &why));
    EXPECT_FALSE(PayloadDigestMatches(source, nullptr, 0, &why));
    EXPECT_STREQ(why.text(), "the payload's digest is missing");
}

TEST_F(PayloadTools, VerifyChecksTheDigestAndNeverPassesWithoutOne) {
    std::string src = ScratchFolder("payload-digest-src");
    WriteWholeFile(src + "/one.bin", Pseudorandom(30000, 24));
    std::string a = BinaryPath("test-scratch/payload-digest.bin");
    ASSERT_EQ(Run(Tool("mkpayload") + " " + src + " " + a), 0);
    std::string out;
    EXPECT_EQ(Run(Tool("payload") + " verify " + a, &out), 0) << out;

    // The digest named explicitly.
    std::string elsewhere = BinaryPath("test-scratch/payload-digest-elsewhere");
    WriteWholeFile(elsewhere, ReadWholeFile(a + ".sha256"));
    EXPECT_EQ(Run(Tool("payload") + " verify " + a + " " + elsewhere, &out), 0) << out;

    // One flipped bit in the last byte: refused, naming the reason.
    std::string bytes = ReadWholeFile(a);
    bytes.back() = char(bytes.back() ^ 1);
    std::string damaged = BinaryPath("test-scratch/payload-digest-damaged.bin");
    WriteWholeFile(damaged, bytes);
    EXPECT_EQ(Run(Tool("payload") + " verify " + damaged + " " + a + ".sha256", &out), 1);
    EXPECT_NE(out.find("the payload does not match its digest"), std::string::npos) << out;

    // No digest: a failure, never "sound".
    fs::remove(damaged + ".sha256");
    EXPECT_EQ(Run(Tool("payload") + " verify " + damaged, &out), 1);
    EXPECT_NE(out.find("no digest to check against"), std::string::npos) << out;
    EXPECT_EQ(out.find("sound"), std::string::npos) << out;
    std::string copy = BinaryPath("test-scratch/payload-digest-copy.bin");
    WriteWholeFile(copy, ReadWholeFile(a));
    fs::remove(copy + ".sha256");
    EXPECT_EQ(Run(Tool("payload") + " verify " + copy, &out), 1);
    // A digest of the wrong size.
    WriteWholeFile(copy + ".sha256", ReadWholeFile(a + ".sha256") + "\n");
    EXPECT_EQ(Run(Tool("payload") + " verify " + copy, &out), 1);
    EXPECT_NE(out.find("not 32 bytes long"), std::string::npos) << out;
}

namespace {

// Accented names (code page 1252 in the archive) listed and extracted into a
// folder whose own name is outside 1252, through the tool and in process.
TEST_F(PayloadTools, AccentedNamesGoIntoANonAnsiFolder) {
    std::string src = ScratchFolder("payload-accented-src");
    fs::create_directories(src + "/Donn\xC3\xA9" "es");
    WriteWholeFile(src + "/Donn\xC3\xA9" "es/Caf\xC3\xA9 \xC3\x9C" "ber.txt", "caf\xE9\n");
    WriteWholeFile(src + "/\xE2\x82\xAC" "uro \xC3\x91.dat", Pseudorandom(3000, 5));
    WriteWholeFile(src + "/ctl\xC2\x81.txt", "undefined byte");
    std::string archive = BinaryPath("test-scratch/payload-accented.bin");
    std::string out;
    ASSERT_EQ(Run(Tool("mkpayload") + " " + src + " " + archive, &out), 0) << out;

    ASSERT_EQ(Run(Tool("payload") + " list " + archive, &out), 0) << out;
    EXPECT_NE(out.find("Donn\xC3\xA9" "es/Caf\xC3\xA9 \xC3\x9C" "ber.txt"), std::string::npos) << out;
    EXPECT_NE(out.find("\xE2\x82\xAC" "uro \xC3\x91.dat"), std::string::npos) << out;

    // Игры 日本 Ελλάδα
    const std::string folderName = "\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B \xE6\x97\xA5\xE6\x9C\xAC \xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1";
    std::string dst = ScratchFolder("payload-accented-dst") + "/" + folderName;
    ASSERT_EQ(Run(Tool("payload") + " extract " + archive + " '" + dst + "'", &out), 0) << out;
    EXPECT_EQ(Tree(dst), Tree(src));

    std::string dst2 = ScratchFolder("payload-accented-inprocess") + "/" + folderName;
    std::string bytes = ReadWholeFile(archive);
    CPayloadFileWriter writer(dst2.c_str());
    ASSERT_EQ(ExtractPayload(bytes.data(), uint32_t(bytes.size()), writer.Destination(), &writer), 0);
    EXPECT_EQ(Tree(dst2), Tree(src));
}

}  // namespace
