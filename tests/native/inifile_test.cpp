// INI files: the line parser, the saver, the scrambling, the encrypted form
// (through the iniscramble tool) and the time-zone rule arithmetic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "inixor.h"
#include "perror.h"
#include "pfile.h"
#include "scramblekey.h"
#include "test_paths.h"

namespace {

EncIniFile Parse(const std::string& text) {
    EncIniFile ini;
    ini.LoadFromMemory(text.data(), uint32_t(text.size()));
    return ini;
}

std::string TextOf(const EncIniFile& ini) { return ini.ToText().text(); }

std::string Value(const IniSection& s, const char* key) {
    const IniItem* item = s.FindItem(key);
    return item ? item->value.text() : "<missing>";
}

// Runs a tool of the build; its exit code.
int RunTool(const std::string& arguments) {
    const char* tools = std::getenv("MORVANDITE_TOOLS");
    std::string dir = tools ? tools : BinaryPath("bin");
    return std::system((dir + "/iniscramble " + arguments + " 2>/dev/null").c_str());
}

_PBlock Block(const std::string& bytes) {
    _PBlock b;
    if (!bytes.empty())
        std::memcpy(b._realloc(uint32_t(bytes.size())), bytes.data(), bytes.size());
    return b;
}

std::string Bytes(const _PBlock& b) { return std::string(reinterpret_cast<const char*>(b.ptr()), b.size()); }

// ---- Parsing --------------------------------------------------------------

TEST(IniParse, ItemsBeforeAnySectionGoIntoAnUnnamedFirstSection) {
    EncIniFile ini = Parse("key=value\n[Named]\nx=1\n");
    ASSERT_EQ(ini.sections.size(), 2u);
    EXPECT_STREQ(ini.sections.front().name.text(), "");
    EXPECT_EQ(Value(ini.sections.front(), "key"), "value");
    EXPECT_EQ(TextOf(ini), "[]\nkey=value\n\n[Named]\nx=1\n\n");
}

TEST(IniParse, DuplicateSectionsAreKeptAndFoundIgnoringCase) {
    EncIniFile ini = Parse("[Options]\na=1\n[Other]\n[options]\na=2\n");
    ASSERT_EQ(ini.sections.size(), 3u);
    ASSERT_NE(ini.FindSection("OPTIONS"), nullptr);
    EXPECT_EQ(Value(*ini.FindSection("options"), "a"), "1");
    EXPECT_EQ(ini.GetSection("Options"), ini.FindSection("Options"));

    ini.RemoveSection("OpTiOnS");
    ASSERT_EQ(ini.sections.size(), 1u);
    EXPECT_STREQ(ini.sections.front().name.text(), "Other");
    EXPECT_EQ(ini.FindSection("Options"), nullptr);

    IniSection* added = ini.GetSection("New");
    ASSERT_EQ(ini.sections.size(), 2u);
    EXPECT_EQ(added, &ini.sections.back());
    EXPECT_TRUE(added->items.empty());
}

TEST(IniParse, KeysAndValuesAreNotTrimmedAtTheEqualsSign) {
    EncIniFile ini = Parse("[S]\n  a = b  \n\tc=d=e\n=empty key\nnovalue=\n");
    const IniSection& s = ini.sections.front();
    ASSERT_EQ(s.items.size(), 4u);
    EXPECT_STREQ(s.items[0].key.text(), "a ");
    EXPECT_STREQ(s.items[0].value.text(), " b");
    EXPECT_STREQ(s.items[1].key.text(), "c");
    EXPECT_STREQ(s.items[1].value.text(), "d=e");
    EXPECT_STREQ(s.items[2].key.text(), "");
    EXPECT_STREQ(s.items[2].value.text(), "empty key");
    EXPECT_STREQ(s.items[3].value.text(), "");
}

TEST(IniParse, CommentsBlankLinesAndBracketForms) {
    EncIniFile ini = Parse("; comment\n# other\n   \n[]\na=1\n[ spaced ]\n[a]b]\n  [Trimmed]  \n");
    ASSERT_EQ(ini.sections.size(), 4u);
    auto it = ini.sections.begin();
    EXPECT_STREQ((it++)->name.text(), "");
    EXPECT_STREQ((it++)->name.text(), " spaced ");
    EXPECT_STREQ((it++)->name.text(), "a]b");
    EXPECT_STREQ((it++)->name.text(), "Trimmed");
    // A lone "[" is not a section header but an item line without "=".
    EXPECT_THROW(Parse("[\n"), PInternalError);
    // "[a]=b" does not end in "]": an item.
    EXPECT_STREQ(Parse("[a]=b\n").sections.front().items[0].key.text(), "[a]");
}

TEST(IniParse, DuplicateKeysAreAllKeptAndSetValueChangesTheFirst) {
    EncIniFile ini = Parse("[S]\nk=1\nK=2\n");
    IniSection& s = ini.sections.front();
    ASSERT_EQ(s.items.size(), 2u);
    s.SetValue("k", "new");
    EXPECT_STREQ(s.items[0].value.text(), "new");
    EXPECT_STREQ(s.items[1].value.text(), "2");
    s.SetValue("other", "x");
    ASSERT_EQ(s.items.size(), 3u);
    EXPECT_STREQ(s.items[2].key.text(), "other");
    s.Clear();
    EXPECT_TRUE(s.items.empty());
}

TEST(IniParse, CrLfLfAndNulBytesReadTheSame) {
    const std::string lf = "[A]\nk=v\nx=y\n";
    const std::string crlf = "[A]\r\nk=v\r\nx=y\r\n";
    static const char nulText[] = "[A]\nk=\0v\r\nx\r=y";
    const std::string withNul(nulText, sizeof nulText - 1);
    EXPECT_EQ(TextOf(Parse(crlf)), TextOf(Parse(lf)));
    EXPECT_EQ(TextOf(Parse(withNul)), TextOf(Parse(lf)));
    // The last line counts without its LF; one of only CR does not make a line.
    EXPECT_EQ(TextOf(Parse("[A]\nk=v\nx=y")), TextOf(Parse(lf)));
    EXPECT_EQ(TextOf(Parse("[A]\nk=v\nx=y\n\r")), TextOf(Parse(lf)));
}

TEST(IniParse, BadLineNamesItsNumberAndKeepsWhatCameBefore) {
    EncIniFile ini = Parse("[Old]\nold=1\n");
    const std::string text = "[A]\r\nk=v\r\nnovalue\r\n[B]\r\n";
    try {
        ini.LoadFromMemory(text.data(), uint32_t(text.size()));
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "EncIniFile: Error in line #3");
    }
    ASSERT_EQ(ini.sections.size(), 1u);
    EXPECT_STREQ(ini.sections.front().name.text(), "A");
    EXPECT_EQ(Value(ini.sections.front(), "k"), "v");

    // Blank and comment lines count; the number is that of the source line.
    try {
        Parse("\n; c\n\n\nbad\n");
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "EncIniFile: Error in line #5");
    }
    ini.LoadFromMemory("", 0);
    EXPECT_TRUE(ini.sections.empty());
}

// ---- Saving and loading files ----------------------------------------------

TEST(IniFile, SaveWritesSectionsItemsAndEmptyLinesWithCrLf) {
    std::string dir = ScratchFolder("ini-save");
    EncIniFile ini;
    IniSection* a = ini.GetSection("A");
    a->SetValue("k", "v");
    a->SetValue("x", "y");
    ini.GetSection("B");
    std::string path = dir + "/user.ini";
    ini.Save(path.c_str(), nullptr);
    EXPECT_EQ(ReadWholeFile(path), "[A]\r\nk=v\r\nx=y\r\n\r\n[B]\r\n\r\n");

    EncIniFile back;
    back.Load(path.c_str(), nullptr);
    EXPECT_EQ(TextOf(back), TextOf(ini));
    // No leftover of the sibling file the text is written into first.
    struct stat st;
    EXPECT_NE(stat((path + ".new").c_str(), &st), 0);
}

TEST(IniFile, SaveReplacesAnExistingFileWhole) {
    std::string dir = ScratchFolder("ini-replace");
    std::string path = dir + "/user.ini";
    WriteWholeFile(path, std::string(5000, 'x'));
    Parse("[Only]\na=b\n").Save(path.c_str(), nullptr);
    EXPECT_EQ(ReadWholeFile(path), "[Only]\r\na=b\r\n\r\n");
}

TEST(IniFile, FailedSaveLeavesWhatWasThere) {
    std::string dir = ScratchFolder("ini-failed-save");
    EncIniFile ini = Parse("[A]\nk=v\n");

    std::string missing = dir + "/no/such/folder/user.ini";
    try {
        ini.Save(missing.c_str(), nullptr);
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_EQ(std::string(e.why()), "Unable to open ini file '" + missing + "' for writing");
    }

    // A folder in the file's place cannot be replaced: the save reports it and
    // leaves neither a half-written file nor its temporary sibling.
    std::string folder = dir + "/settings.ini";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    try {
        ini.Save(folder.c_str(), nullptr);
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_EQ(std::string(e.why()), "Unable to write ini file '" + folder + "'");
    }
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(stat((folder + ".new").c_str(), &st), 0);
}

// A full disk: the sibling file is a device that takes no bytes, so the
// failure surfaces only when the buffer is flushed at close. The file in
// place keeps its old bytes and the sibling goes away.
TEST(FileReplacing, AShortWriteAtCloseLeavesThePreviousFile) {
    std::string dir = ScratchFolder("file-replacing-full");
    std::string target = dir + "/tinfo.dat";
    WriteWholeFile(target, "previous");
    ASSERT_EQ(symlink("/dev/full", (target + ".new").c_str()), 0);
    const std::string bytes(1000, 'x');
    EXPECT_EQ(int(WriteFileReplacing(target.c_str(), bytes.data(), uint32_t(bytes.size()), nullptr)),
              int(FileReplaceResult::CannotWrite));
    EXPECT_EQ(ReadWholeFile(target), "previous");
    struct stat st;
    EXPECT_NE(lstat((target + ".new").c_str(), &st), 0);

    EXPECT_EQ(int(WriteFileReplacing(target.c_str(), bytes.data(), uint32_t(bytes.size()), nullptr)),
              int(FileReplaceResult::Written));
    EXPECT_EQ(ReadWholeFile(target), bytes);
    EXPECT_EQ(int(WriteFileReplacing((dir + "/no/folder/x").c_str(), "a", 1, nullptr)),
              int(FileReplaceResult::CannotOpen));
}

TEST(IniFile, LoadOfAMissingFileThrowsAndChangesNothing) {
    std::string dir = ScratchFolder("ini-missing");
    EncIniFile ini = Parse("[Kept]\na=1\n");
    std::string path = dir + "/absent.ini";
    try {
        ini.Load(path.c_str(), nullptr);
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_EQ(std::string(e.why()), "Unable to open ini file '" + path + "'");
    }
    ASSERT_EQ(ini.sections.size(), 1u);
    EXPECT_STREQ(ini.sections.front().name.text(), "Kept");
}

TEST(IniFile, LoadReadsACtrlZAsAnOrdinaryByte) {
    std::string dir = ScratchFolder("ini-ctrlz");
    std::string path = dir + "/a.ini";
    WriteWholeFile(path, "[A]\r\nk=\x1Av\r\nafter=1\r\n");
    EncIniFile ini;
    ini.Load(path.c_str(), nullptr);
    EXPECT_EQ(Value(ini.sections.front(), "k"), "\x1Av");
    EXPECT_EQ(Value(ini.sections.front(), "after"), "1");
}

// ---- Scrambling --------------------------------------------------------------

TEST(IniScramble, TwiceRestoresAndTheKeyRepeatsEvery45Bytes) {
    std::string original;
    for (int i = 0; i < 100; ++i)
        original.push_back(char(i * 7 + 3));
    _PBlock b = Block(original);
    ScrambleBlock(b);
    EXPECT_NE(Bytes(b), original);
    ScrambleBlock(b);
    EXPECT_EQ(Bytes(b), original);

    _PBlock zeros = Block(std::string(100, '\0'));
    ScrambleBlock(zeros);
    for (uint32_t i = 0; i < 100; ++i) {
        uint8_t expected = kScrambleKeyBase[i % 45] ^ kScrambleKeyMask[(i % 45) % 30];
        ASSERT_EQ(zeros.ptr()[i], expected) << "byte " << i;
        // A zero key byte would leave every 45th byte readable.
        ASSERT_NE(zeros.ptr()[i], 0) << "byte " << i;
    }
    EXPECT_EQ(zeros.ptr()[45], zeros.ptr()[0]);

    _PBlock empty;
    ScrambleBlock(empty);
    EXPECT_EQ(empty.size(), 0u);
}

TEST(IniScramble, XorBlockRefusesAnEmptyKey) {
    _PBlock b = Block("abc");
    _PBlock key;
    try {
        XorBlock(b, key);
        FAIL() << "no error";
    } catch (const PAssert& e) {
        EXPECT_STREQ(e.why(), "Assertion failed: xr.size(), file ..\\..\\protocols\\inixor, line 257");
    }
    EXPECT_EQ(Bytes(b), "abc");
}

// ---- The encrypted form --------------------------------------------------------

class IniEncrypted : public ::testing::Test {
protected:
    // One folder per test: ctest runs the tests in parallel processes.
    void SetUp() override {
        dir_ = ScratchFolder(std::string("ini-encrypted-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::string Path(const char* name) const { return dir_ + "/" + name; }

    std::string LoadError(const std::string& bytes) {
        WriteWholeFile(Path("in.dat"), bytes);
        EncIniFile ini = Parse("[Kept]\n");
        try {
            ini.LoadEncrypted(Path("in.dat").c_str(), nullptr);
        } catch (const PError& e) {
            EXPECT_STREQ(ini.sections.front().name.text(), "Kept");
            return e.why();
        }
        return "<no error>";
    }

    std::string dir_;
};

TEST_F(IniEncrypted, RoundTripThroughTheTool) {
    std::string text = "[Options]\r\nLocale=1033\r\n";
    for (int i = 0; i < 300; ++i)  // several 1,024-byte pieces once decompressed
        text += "Key" + std::to_string(i) + "=value number " + std::to_string(i * 31) + "\r\n";
    WriteWholeFile(Path("plain.ini"), text);
    ASSERT_EQ(RunTool("encode " + Path("plain.ini") + " " + Path("user.dat")), 0);
    std::string scrambled = ReadWholeFile(Path("user.dat"));
    ASSERT_GE(scrambled.size(), 2u);
    EXPECT_FALSE(scrambled[0] == '\x1f' && scrambled[1] == '\x8b');

    EncIniFile ini = Parse("[Old]\n");
    ini.LoadEncrypted(Path("user.dat").c_str(), nullptr);
    ASSERT_EQ(ini.sections.size(), 1u);
    const IniSection& s = ini.sections.front();
    EXPECT_STREQ(s.name.text(), "Options");
    ASSERT_EQ(s.items.size(), 301u);
    EXPECT_EQ(Value(s, "Key299"), "value number " + std::to_string(299 * 31));

    ASSERT_EQ(RunTool("decode " + Path("user.dat") + " " + Path("back.ini")), 0);
    EXPECT_EQ(ReadWholeFile(Path("back.ini")), text);
}

// user.ini may be in either form: both read the same, whatever was loaded before.
TEST_F(IniEncrypted, EitherFormIsReadByItsFirstBytes) {
    const std::string text = "[Options]\r\nLocale=1049\r\nNick=Player\r\n\r\n[Mine]\r\nkeep=me\r\n";
    WriteWholeFile(Path("plain.ini"), text);
    ASSERT_EQ(RunTool("encode " + Path("plain.ini") + " " + Path("scrambled.ini")), 0);
    for (const char* file : {"plain.ini", "scrambled.ini"}) {
        EncIniFile ini = Parse("[Old]\n");
        ini.LoadPlainOrEncrypted(Path(file).c_str(), nullptr);
        ASSERT_EQ(ini.sections.size(), 2u) << file;
        EXPECT_STREQ(ini.sections.front().name.text(), "Options") << file;
        EXPECT_EQ(Value(ini.sections.front(), "Nick"), "Player") << file;
        EXPECT_EQ(Value(ini.sections.back(), "keep"), "me") << file;
    }
    // A one-byte file is plain text; a missing one fails as Load does.
    WriteWholeFile(Path("short.ini"), ";");
    EncIniFile ini = Parse("[Old]\n");
    ini.LoadPlainOrEncrypted(Path("short.ini").c_str(), nullptr);
    EXPECT_TRUE(ini.sections.empty());
    EXPECT_THROW(ini.LoadPlainOrEncrypted(Path("absent.ini").c_str(), nullptr), PInternalError);
}

TEST_F(IniEncrypted, XorCommandScramblesAloneAndDecodeLeavesNonGzipAsIs) {
    const std::string text = "tracking text\nITS=1700000000\nIZ=3600\n";
    WriteWholeFile(Path("t.txt"), text);
    ASSERT_EQ(RunTool("xor " + Path("t.txt") + " " + Path("tinfo.dat")), 0);
    _PBlock expected = Block(text);
    ScrambleBlock(expected);
    EXPECT_EQ(ReadWholeFile(Path("tinfo.dat")), Bytes(expected));
    ASSERT_EQ(RunTool("decode " + Path("tinfo.dat") + " " + Path("t2.txt")), 0);
    EXPECT_EQ(ReadWholeFile(Path("t2.txt")), text);

    EXPECT_NE(RunTool("encode " + Path("absent") + " " + Path("x")), 0);
    EXPECT_NE(RunTool("rot13 " + Path("t.txt") + " " + Path("x")), 0);
}

TEST_F(IniEncrypted, MissingFileChangesNothing) {
    EncIniFile ini = Parse("[Kept]\na=1\n");
    ini.LoadEncrypted(Path("absent.dat").c_str(), nullptr);
    ASSERT_EQ(ini.sections.size(), 1u);
    EXPECT_EQ(Value(ini.sections.front(), "a"), "1");
}

TEST_F(IniEncrypted, UnscrambledGzipFailsTheMagicAssertion) {
    WriteWholeFile(Path("plain.ini"), "[A]\nk=v\n");
    ASSERT_EQ(RunTool("encode " + Path("plain.ini") + " " + Path("enc.dat")), 0);
    ASSERT_EQ(RunTool("xor " + Path("enc.dat") + " " + Path("plain.gz")), 0);
    std::string gz = ReadWholeFile(Path("plain.gz"));
    ASSERT_EQ(gz.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(LoadError(gz), "Assertion failed: buf.ptr()[ 0 ] == 0x1f, file ..\\..\\protocols\\inixor, line 297");

    // A scrambled file whose second byte is wrong fails the next assertion.
    _PBlock wrong = Block(std::string("\x1f\x8c", 2) + gz.substr(2));
    ScrambleBlock(wrong);
    EXPECT_EQ(LoadError(Bytes(wrong)),
              "Assertion failed: buf.ptr()[ 1 ] == 0x8b, file ..\\..\\protocols\\inixor, line 298");
}

TEST_F(IniEncrypted, EmptyShortCutAndDamagedFilesFailWithoutChanges) {
    EXPECT_EQ(LoadError(""), "Assertion failed: sizeOf, file ..\\..\\protocols\\inixor, line 322");
    EXPECT_EQ(LoadError("x"), "Assertion failed: 2 <= buf.size(), file ..\\..\\protocols\\inixor, line 296");

    WriteWholeFile(Path("plain.ini"), std::string(4000, 'a') + "=b\n");
    ASSERT_EQ(RunTool("encode " + Path("plain.ini") + " " + Path("enc.dat")), 0);
    std::string enc = ReadWholeFile(Path("enc.dat"));
    EXPECT_EQ(LoadError(enc.substr(0, enc.size() - 12)), "GZIP: read error");
    EXPECT_EQ(LoadError(enc.substr(0, 12)), "GZIP: read error");

    // Damage inside the compressed data (or its check value) is noticed.
    _PBlock damaged = Block(enc);
    ScrambleBlock(damaged);
    damaged.ptr()[damaged.size() - 6] ^= 0x55;  // inside the CRC-32
    ScrambleBlock(damaged);
    EXPECT_EQ(LoadError(Bytes(damaged)), "GZIP: read error");
}

TEST_F(IniEncrypted, EmptyContentLeavesTheSectionsAlone) {
    WriteWholeFile(Path("empty.ini"), "");
    ASSERT_EQ(RunTool("encode " + Path("empty.ini") + " " + Path("enc.dat")), 0);
    EncIniFile ini = Parse("[Kept]\na=1\n");
    ini.LoadEncrypted(Path("enc.dat").c_str(), nullptr);
    ASSERT_EQ(ini.sections.size(), 1u);
    EXPECT_EQ(Value(ini.sections.front(), "a"), "1");
}

// ---- Time-zone rules --------------------------------------------------------------

PSystemTime Rule(int month, int dayOfWeek, int week, int hour) {
    PSystemTime r = {};
    r.wMonth = uint16_t(month);
    r.wDayOfWeek = uint16_t(dayOfWeek);
    r.wDay = uint16_t(week);
    r.wHour = uint16_t(hour);
    return r;
}

uint64_t FileTimeOf(int year, int month, int day, int hour, int minute = 0, int second = 0) {
    PSystemTime st = {};
    st.wYear = uint16_t(year);
    st.wMonth = uint16_t(month);
    st.wDay = uint16_t(day);
    st.wHour = uint16_t(hour);
    st.wMinute = uint16_t(minute);
    st.wSecond = uint16_t(second);
    uint64_t ft = 0;
    EXPECT_TRUE(PSystemTimeToFileTime(st, ft));
    return ft;
}

std::string DateOf(uint64_t ft) {
    PSystemTime st;
    if (!PFileTimeToSystemTime(ft, st))
        return "invalid";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d wd%d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wDayOfWeek);
    return buf;
}

std::string Transition(int year, const PSystemTime& rule) {
    uint64_t ft = 0;
    return TransitionTime(year, rule, ft) ? DateOf(ft) : "failed";
}

int32_t BiasAt(const PTimeZoneInfo& zone, uint64_t utc) {
    int32_t bias = 12345;
    EXPECT_TRUE(TimeZoneBiasAt(zone, utc, bias));
    return bias;
}

PTimeZoneInfo CentralEurope() {
    return PTimeZoneInfo{-60, Rule(10, 0, 5, 3), 0, Rule(3, 0, 5, 2), -60};
}
PTimeZoneInfo Sydney() {
    return PTimeZoneInfo{-600, Rule(4, 0, 1, 3), 0, Rule(10, 0, 1, 2), -60};
}

TEST(TimeZoneRules, TransitionDates) {
    // Second Sunday of March, first Sunday of November (United States, 2024).
    EXPECT_EQ(Transition(2024, Rule(3, 0, 2, 2)), "2024-03-10 02:00 wd0");
    EXPECT_EQ(Transition(2024, Rule(11, 0, 1, 2)), "2024-11-03 02:00 wd0");
    // Last Sunday: March 2024 ends on one; October 2024 does not.
    EXPECT_EQ(Transition(2024, Rule(3, 0, 5, 2)), "2024-03-31 02:00 wd0");
    EXPECT_EQ(Transition(2024, Rule(10, 0, 5, 3)), "2024-10-27 03:00 wd0");
    // Last Friday of December steps back from January of the next year.
    EXPECT_EQ(Transition(2023, Rule(12, 5, 5, 23)), "2023-12-29 23:00 wd5");
    // Last Monday of February in a leap year.
    EXPECT_EQ(Transition(2016, Rule(2, 1, 5, 0)), "2016-02-29 00:00 wd1");
    // Week 4 can be the last week too; a first weekday on day 1 adds nothing.
    EXPECT_EQ(Transition(2024, Rule(9, 0, 4, 1)), "2024-09-22 01:00 wd0");
    EXPECT_EQ(Transition(2024, Rule(9, 0, 1, 1)), "2024-09-01 01:00 wd0");
    EXPECT_EQ(Transition(2024, Rule(0, 0, 1, 1)), "failed");
    EXPECT_EQ(Transition(2024, Rule(13, 0, 5, 1)), "failed");
    EXPECT_EQ(Transition(1600, Rule(3, 0, 1, 1)), "failed");
}

TEST(TimeZoneRules, NorthernHemisphereSwitchesAtTheUtcInstants) {
    PTimeZoneInfo zone = CentralEurope();
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 1, 15, 12)), -60);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 7, 1, 12)), -120);
    // 02:00 standard time on 31 March is 01:00 UTC.
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 3, 31, 0, 59, 59)), -60);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 3, 31, 1)), -120);
    // 03:00 daylight time on 27 October is 01:00 UTC.
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 10, 27, 0, 59, 59)), -120);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 10, 27, 1)), -60);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 12, 31, 23)), -60);

    // West of UTC: United States Eastern time.
    PTimeZoneInfo eastern{300, Rule(11, 0, 1, 2), 0, Rule(3, 0, 2, 2), -60};
    EXPECT_EQ(BiasAt(eastern, FileTimeOf(2024, 3, 10, 6, 59, 59)), 300);
    EXPECT_EQ(BiasAt(eastern, FileTimeOf(2024, 3, 10, 7)), 240);
    EXPECT_EQ(BiasAt(eastern, FileTimeOf(2024, 11, 3, 5, 59, 59)), 240);
    EXPECT_EQ(BiasAt(eastern, FileTimeOf(2024, 11, 3, 6)), 300);
}

TEST(TimeZoneRules, SouthernHemisphereHasDaylightAroundTheYearsEnd) {
    PTimeZoneInfo zone = Sydney();
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 1, 15, 12)), -660);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 7, 1, 12)), -600);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 12, 31, 20)), -660);
    // 03:00 daylight time on 7 April is 16:00 UTC on the 6th.
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 4, 6, 15, 59, 59)), -660);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 4, 6, 16)), -600);
    // 02:00 standard time on 6 October is 16:00 UTC on the 5th.
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 10, 5, 15, 59, 59)), -600);
    EXPECT_EQ(BiasAt(zone, FileTimeOf(2024, 10, 5, 16)), -660);
}

TEST(TimeZoneRules, RulesWithoutAWeekNumberFallBackToTheBias) {
    PTimeZoneInfo zone = CentralEurope();
    int32_t bias = 777;
    zone.DaylightDate.wDay = 0;
    EXPECT_FALSE(TimeZoneBiasAt(zone, FileTimeOf(2024, 7, 1, 0), bias));
    zone.DaylightDate.wDay = 6;
    EXPECT_FALSE(TimeZoneBiasAt(zone, FileTimeOf(2024, 7, 1, 0), bias));
    EXPECT_EQ(bias, 777);
    EXPECT_EQ(ZoneBiasAt(zone, FileTimeOf(2024, 7, 1, 0)), -60);

    // A zone without daylight saving: no months, no extra biases.
    PTimeZoneInfo plain{-330, {}, 0, {}, 0};
    EXPECT_EQ(ZoneBiasAt(plain, FileTimeOf(2024, 7, 1, 0)), -330);
    // Months but both extra biases zero: the rules are not consulted.
    PTimeZoneInfo flat = CentralEurope();
    flat.DaylightBias = 0;
    EXPECT_EQ(ZoneBiasAt(flat, FileTimeOf(2024, 7, 1, 0)), -60);
    EXPECT_EQ(ZoneBiasAt(CentralEurope(), FileTimeOf(2024, 7, 1, 0)), -120);
}

TEST(TimeZoneRules, LocalCalendarRecords) {
    std::tm tm;
    PTimeZoneInfo utc{0, {}, 0, {}, 0};
    ASSERT_TRUE(LocalTimeUnder(utc, 0, tm));
    EXPECT_EQ(tm.tm_year, 70);
    EXPECT_EQ(tm.tm_mon, 0);
    EXPECT_EQ(tm.tm_mday, 1);
    EXPECT_EQ(tm.tm_wday, 4);
    EXPECT_EQ(tm.tm_yday, 0);
    EXPECT_EQ(tm.tm_isdst, -1);

    // Half an hour west of UTC.
    PTimeZoneInfo west{30, {}, 0, {}, 0};
    ASSERT_TRUE(LocalTimeUnder(west, 0, tm));
    EXPECT_EQ(tm.tm_year, 69);
    EXPECT_EQ(tm.tm_mday, 31);
    EXPECT_EQ(tm.tm_hour, 23);
    EXPECT_EQ(tm.tm_min, 30);
    EXPECT_EQ(tm.tm_yday, 364);

    // Summer in Central Europe: two hours ahead.
    ASSERT_TRUE(LocalTimeUnder(CentralEurope(), 1719835200, tm));  // 2024-07-01 12:00 UTC
    EXPECT_EQ(tm.tm_hour, 14);
    EXPECT_EQ(tm.tm_yday, 182);

    // Day of the year after February: leap years by the Gregorian rule.
    ASSERT_TRUE(LocalTimeUnder(utc, 1709251200, tm));  // 2024-03-01
    EXPECT_EQ(tm.tm_yday, 60);
    ASSERT_TRUE(LocalTimeUnder(utc, 4107542400, tm));  // 2100-03-01
    EXPECT_EQ(tm.tm_yday, 59);

    tm.tm_year = 99;
    EXPECT_FALSE(LocalTimeUnder(utc, -1, tm));
    EXPECT_EQ(tm.tm_year, 0);
    EXPECT_EQ(tm.tm_isdst, 0);
    EXPECT_FALSE(LocalTimeUnder(utc, -11644473601LL, tm));
    EXPECT_TRUE(LocalTimeUnder(utc, -11644473600LL, tm));  // 1601-01-01
    EXPECT_EQ(tm.tm_year, 1601 - 1900);
    EXPECT_FALSE(LocalTimeUnder(PTimeZoneInfo{60, {}, 0, {}, 0}, -11644473600LL, tm));
    EXPECT_FALSE(LocalTimeUnder(utc, INT64_MAX, tm));
}

TEST(TimeZoneRules, FileTimesAgreeWithTheCLibraryCalendar) {
    EXPECT_EQ(TimeToFileTime(10), 116444736100000000ull);
    EXPECT_EQ(TimeToFileTime(0), 116444736000000000ull);
    for (int64_t t = -11644473600LL; t < 32503680000LL; t += 86399 * 97 + 13) {
        time_t tt = time_t(t);
        std::tm ref;
        ASSERT_NE(gmtime_r(&tt, &ref), nullptr);
        PSystemTime st;
        ASSERT_TRUE(PFileTimeToSystemTime(TimeToFileTime(t), st));
        ASSERT_EQ(st.wYear, ref.tm_year + 1900) << t;
        ASSERT_EQ(st.wMonth, ref.tm_mon + 1) << t;
        ASSERT_EQ(st.wDay, ref.tm_mday) << t;
        ASSERT_EQ(st.wDayOfWeek, ref.tm_wday) << t;
        ASSERT_EQ(st.wHour * 3600 + st.wMinute * 60 + st.wSecond, ref.tm_hour * 3600 + ref.tm_min * 60 + ref.tm_sec);
        uint64_t back;
        ASSERT_TRUE(PSystemTimeToFileTime(st, back));
        ASSERT_EQ(back, TimeToFileTime(t));
    }
    PSystemTime bad = {2023, 2, 0, 29, 0, 0, 0, 0};
    uint64_t ft;
    EXPECT_FALSE(PSystemTimeToFileTime(bad, ft));
    bad.wYear = 2024;
    EXPECT_TRUE(PSystemTimeToFileTime(bad, ft));
    bad.wHour = 24;
    EXPECT_FALSE(PSystemTimeToFileTime(bad, ft));
    EXPECT_FALSE(PFileTimeToSystemTime(0x8000000000000000ull, bad));
}

}  // namespace
