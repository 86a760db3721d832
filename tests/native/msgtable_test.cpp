// Message table: the loader, lookup with fallback and placeholders, the locale
// catalogue and its iterator, build variants, and the msgtable generator.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "buildvariant.h"
#include "locales.h"
#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppmsg.h"
#include "pstream.h"
#include "test_paths.h"

namespace {

// Hands out its bytes a few at a time, so that lines and CR LF pairs straddle reads.
class ChunkedStream : public PInputStream {
public:
    ChunkedStream(const std::string& bytes, size_t chunk) : bytes_(bytes), chunk_(chunk), pos_(0) {}
    size_t read(void* buffer, size_t n) override {
        size_t k = std::min({n, chunk_, bytes_.size() - pos_});
        std::memcpy(buffer, bytes_.data() + pos_, k);
        pos_ += k;
        return k;
    }

private:
    std::string bytes_;
    size_t chunk_;
    size_t pos_;
};

int Load(const std::string& text, std::string* error = nullptr, size_t chunk = 0) {
    PString e;
    int r;
    if (chunk) {
        ChunkedStream in(text, chunk);
        r = i18nLoadDynamicTable(InstallerLocales, InstallerMessages, InstallerMsgIds, InstallerMessageCount, in, e);
    }
    else {
        PMemInputStream in(text.data(), uint32_t(text.size()));
        r = i18nLoadDynamicTable(InstallerLocales, InstallerMessages, InstallerMsgIds, InstallerMessageCount, in, e);
    }
    if (error)
        *error = e.text();
    return r;
}

// The stored entry, "<null>" when the table has none.
std::string Stored(uint32_t locale, MsgRef m) {
    const MsgEntry& e = InstallerMessages.msgData[locale * InstallerMessages.count + m.id];
    return e.text ? e.text : "<null>";
}

std::string Format(int32_t locale, MsgRef m) {
    PString s;
    i18nFormatMsg(s, InstallerLocales, locale, m);
    return s.text();
}

std::string Format(int32_t locale, MsgRef m, const char* a) {
    PString s;
    i18nFormatMsg(s, InstallerLocales, locale, m, a);
    return s.text();
}

std::string Format(int32_t locale, MsgRef m, const char* a, const char* b) {
    PString s;
    i18nFormatMsg(s, InstallerLocales, locale, m, a, b);
    return s.text();
}

// Every test starts and ends with no table, English and no build variant.
class MessageTable : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        FreeMessageTable();
        CurrentLocale = 0;
        BuildOptions::clear();
    }
};

using MessageLoader = MessageTable;
using MessageLookup = MessageTable;
using LocaleCatalogue = MessageTable;

TEST_F(MessageLoader, StoresTheTextAfterOneBlankAndCountsLines) {
    EXPECT_EQ(Load("en TXTINS_OK 0 OK\r\n"), 1);
    EXPECT_EQ(Stored(0, TXTINS_OK), "OK");
    EXPECT_EQ(InstallerMessages.msgData[TXTINS_OK.id].flags, 0);

    // Runs of blanks (spaces and tabs) separate the fields, but only the one
    // blank after the flags belongs to the separator.
    EXPECT_EQ(Load("en  TXTINS_OK \t 0  two  blanks \r\n"), 1);
    EXPECT_EQ(Stored(0, TXTINS_OK), " two  blanks ");
    EXPECT_EQ(Load("  \tfr\tTXTINS_Lang_French\t2\t\tFran\xE7" "ais"), 1);
    EXPECT_EQ(Stored(3, TXTINS_Lang_French), "\tFran\xE7" "ais");
    EXPECT_EQ(InstallerMessages.msgData[3 * InstallerMessages.count + TXTINS_Lang_French.id].flags, 2);
}

TEST_F(MessageLoader, MissingFieldsOrTextAbortWithTheLineNumber) {
    std::string error;
    const char* bad[] = {"en", "en ", "en TXTINS_OK", "en TXTINS_OK ", "en TXTINS_OK 0", "en TXTINS_OK 0 ",
                         "en TXTINS_OK  0\t"};
    for (const char* line : bad) {
        EXPECT_EQ(Load(std::string("en TXTINS_Cancel 0 Cancel\r\n") + line + "\r\n", &error), -1) << line;
        EXPECT_EQ(error, "unexpected EOL on line 2") << line;
    }
    // Unknown locales and identifiers are skipped, but only whole lines.
    EXPECT_EQ(Load("xx TXTINS_OK 0 OK\r\nen TXTINS_Nothing 0 x\r\nxx TXTINS_OK 0\r\n", &error), -1);
    EXPECT_EQ(error, "unexpected EOL on line 3");
}

TEST_F(MessageLoader, LineNumbersCountCommentsButNotBlankLines) {
    std::string error;
    EXPECT_EQ(Load("# one\r\n   # two\r\n\r\n\n\r\r\n \t \r\nen TXTINS_OK\r\n", &error), -1);
    // The blank-only line is returned by the reader (it is not empty) and counts.
    EXPECT_EQ(error, "unexpected EOL on line 4");
    EXPECT_EQ(Load("# one\r\n# two\r\n\r\nen TXTINS_OK\r\n", &error), -1);
    EXPECT_EQ(error, "unexpected EOL on line 3");
    // Bare CR and bare LF end lines too, and a last line needs no terminator.
    EXPECT_EQ(Load("# a\rfr TXTINS_OK 0 D'accord\nen TXTINS_OK 0 OK"), 3);
    EXPECT_EQ(Stored(3, TXTINS_OK), "D'accord");
    EXPECT_EQ(Stored(0, TXTINS_OK), "OK");
}

TEST_F(MessageLoader, ReadsLinesAcrossBufferBoundaries) {
    std::string longText(10000, 'x');
    longText += "end";
    std::string text = "# c\r\nen TXTINS_OK 0 " + longText + "\r\nen TXTINS_Cancel 0 Cancel";
    for (size_t chunk : {size_t(1), size_t(2), size_t(7), size_t(4096), size_t(100000)}) {
        ASSERT_EQ(Load(text, nullptr, chunk), 3) << chunk;
        EXPECT_EQ(Stored(0, TXTINS_OK), longText) << chunk;
        EXPECT_EQ(Stored(0, TXTINS_Cancel), "Cancel") << chunk;
    }
}

TEST_F(MessageLoader, ResolvesOnlyBackslashNAndR) {
    ASSERT_EQ(Load("en TXTINS_OK 0 A\\nB\\qC\r\n"
                   "en TXTINS_Cancel 0 \\\\n|\\r|\\|end\\\r\n"),
              2);
    EXPECT_EQ(Stored(0, TXTINS_OK), "A\nB\\qC");
    EXPECT_EQ(Stored(0, TXTINS_Cancel), "\\\n|\r|\\|end\\");
}

TEST_F(MessageLoader, FlagsReadLikeAtoiWithoutOverflow) {
    ASSERT_EQ(Load("en TXTINS_OK 2x OK\r\nen TXTINS_Cancel -7 C\r\nen TXTINS_Yes 99999999999 Y\r\n"
                   "en TXTINS_No abc N\r\n"),
              4);
    const MsgEntry* en = InstallerMessages.msgData;
    EXPECT_EQ(en[TXTINS_OK.id].flags, 2);
    EXPECT_EQ(en[TXTINS_Cancel.id].flags, -7);
    EXPECT_EQ(en[TXTINS_Yes.id].flags, INT32_MAX);
    EXPECT_EQ(en[TXTINS_No.id].flags, 0);
}

TEST_F(MessageLoader, LaterLineAndLaterLoadReplace) {
    ASSERT_EQ(Load("en TXTINS_OK 0 first\r\nen TXTINS_OK 0 second\r\nen TXTINS_Yes 0 Yes\r\n"), 3);
    EXPECT_EQ(Stored(0, TXTINS_OK), "second");

    ASSERT_EQ(Load("en TXTINS_No 0 No\r\n"), 1);
    EXPECT_EQ(Stored(0, TXTINS_No), "No");
    EXPECT_EQ(Stored(0, TXTINS_OK), "<null>");
    EXPECT_EQ(Format(0, TXTINS_Yes), "LC_0_MSG_57 ");

    // A failed load keeps what was there.
    std::string error;
    EXPECT_EQ(Load("en TXTINS_Yes 0 Yes\r\nen TXTINS_Yes\r\n", &error), -1);
    EXPECT_EQ(Stored(0, TXTINS_No), "No");
    EXPECT_EQ(Stored(0, TXTINS_Yes), "<null>");
}

TEST_F(MessageLoader, EmptyInputLoadsAnEmptyTable) {
    EXPECT_EQ(Load(""), 0);
    EXPECT_TRUE(InstallerMessages.loaded);
    EXPECT_EQ(Format(3, TXTINS_OK), "LC_3_MSG_11 ");
}

TEST_F(MessageLoader, NulByteEndsTheLineContent) {
    std::string error;
    EXPECT_EQ(Load(std::string("en TXTINS_OK 0 \0tail\r\n", 22), &error), -1);
    EXPECT_EQ(error, "unexpected EOL on line 1");
    EXPECT_EQ(Load(std::string("en TXTINS_OK 0 A\0B\r\n", 20)), 1);
    EXPECT_EQ(Stored(0, TXTINS_OK), "A");
}

TEST_F(MessageLookup, BeforeAnyLoadTheAssertionNamesMsgData) {
    try {
        Format(0, TXTINS_OK);
        FAIL() << "no assertion";
    } catch (const PAssert& e) {
        EXPECT_STREQ(e.why(), "Assertion failed: msgData, file ..\\..\\plib\\ppmsg, line 22");
    }
    // Id 0 and ids beyond the table never reach the table.
    EXPECT_EQ(Format(0, TXTINS_EMPTY_STUB), "");
    EXPECT_EQ(Format(0, MsgRef{&InstallerMessages, InstallerMessageCount}), "");
    EXPECT_EQ(Format(0, MsgRef{nullptr, 11}), "");
}

TEST_F(MessageLookup, FallsBackAlongTheChainAndToEnglish) {
    ASSERT_GT(Load("en TXTINS_OK 0 OK-en\r\nes TXTINS_OK 0 OK-es\r\npt TXTINS_Yes 0 Sim\r\n"
                   "en TXTINS_Yes 0 Yes\r\nen TXTINS_No 0 No\r\n"),
              0);
    const int32_t es419 = FindLocale("es-419"), ptBR = FindLocale("pt-BR"), enGB = FindLocale("en-GB");
    EXPECT_EQ(Format(es419, TXTINS_OK), "OK-es");
    EXPECT_EQ(Format(ptBR, TXTINS_OK), "OK-en");
    EXPECT_EQ(Format(ptBR, TXTINS_Yes), "Sim");
    EXPECT_EQ(Format(ptBR, TXTINS_No), "No");
    EXPECT_EQ(Format(enGB, TXTINS_No), "No");
    for (int32_t outside : {-1, 33, 40, INT32_MIN, INT32_MAX})
        EXPECT_EQ(Format(outside, TXTINS_OK), "OK-en") << outside;

    CurrentLocale = es419;
    EXPECT_EQ(std::string(MsgString(TXTINS_OK).text()), "OK-es");
    PString s("[");
    AppendMsg(s, TXTINS_No);
    EXPECT_STREQ(s.text(), "[No");
}

TEST_F(MessageLookup, PlaceholderNamesTheAskedLocaleAndShowsTheArguments) {
    ASSERT_EQ(Load("fr TXTINS_OK 0 D'accord\r\n"), 1);
    EXPECT_EQ(Format(3, TXTINS_Cannot_create_folder_XN0X, "abc"), "LC_3_MSG_103 abc ");
    EXPECT_EQ(Format(5, TXTINS_Cannot_create_folder_XN0X, "a", "b"), "LC_5_MSG_103 a b ");
    EXPECT_EQ(Format(31, TXTINS_OK), "LC_31_MSG_11 ");
    EXPECT_EQ(Format(-1, TXTINS_OK), "LC_-1_MSG_11 ");
    // The arguments are formatted as texts, never as patterns.
    EXPECT_EQ(Format(0, TXTINS_Yes, "%1", "100%"), "LC_0_MSG_57 %1 100% ");
}

TEST_F(MessageLookup, FormatsDirectivesInBothModes) {
    ASSERT_GT(Load("en TXTINS_OK 0 100%% %0%1%2\r\n"
                   "en TXTINS_Yes 0 %L0\r\n"
                   "en TXTINS_No 0 Caf\xE9 %0\r\n"
                   "en TXTINS_Abort 0 end%\r\n"),
              0);
    EXPECT_EQ(Format(0, TXTINS_OK, "a", "b"), "100% ab");
    EXPECT_EQ(Format(0, TXTINS_OK), "100% ");
    EXPECT_EQ(Format(0, TXTINS_Yes, "ABC"), "abc");
    EXPECT_EQ(Format(0, TXTINS_Yes, "\xC9T\xC9"), "\xC9t\xC9");  // bytes: only A-Z change
    // Code points: é and t all have code page 1252 bytes, so the result stays single-byte.
    EXPECT_EQ(Format(0, TXTINS_Yes, "\x10\xC3\x89T\xC3\x89"), "\xE9t\xE9");
    EXPECT_EQ(Format(0, TXTINS_Abort), "end");
    // A marked argument outside code page 1252 turns the result into UTF-8,
    // the pattern's own characters included.
    EXPECT_EQ(Format(0, TXTINS_No, "\x10\xE6\x97\xA5"), "\x10" "Caf\xC3\xA9 \xE6\x97\xA5");
}

TEST_F(MessageLookup, EndlessFallbackChainsStopAfterFiveSteps) {
    // Locales 1 and 2 fall back to each other; only locale 0 has the text.
    const LocaleInfo loop[3] = {{0, "Zero", "l0", "", nullptr, 0, 7},
                                {2, "One", "l1", "", nullptr, 0, 7},
                                {1, "Two", "l2", "", nullptr, 0, 7}};
    const LocaleTable table = {loop, 3, &PStringXMessageEncoding};
    MsgTable messages = {nullptr, InstallerMessageCount, 0, false};
    std::string text = "l0 TXTINS_OK 0 zero\r\nl1 TXTINS_Yes 0 one\r\n";
    PMemInputStream in(text.data(), uint32_t(text.size()));
    PString error;
    ASSERT_EQ(i18nLoadDynamicTable(table, messages, InstallerMsgIds, InstallerMessageCount, in, error), 2);
    PString s;
    i18nFormatMsg(s, table, 2, MsgRef{&messages, TXTINS_OK.id});
    EXPECT_STREQ(s.text(), "zero");
    s.assign("");
    i18nFormatMsg(s, table, 2, MsgRef{&messages, TXTINS_Yes.id});
    EXPECT_STREQ(s.text(), "one");
    s.assign("");
    i18nFormatMsg(s, table, 2, MsgRef{&messages, TXTINS_No.id});
    EXPECT_STREQ(s.text(), "LC_2_MSG_58 ");
    // A wider catalogue than the table was loaded with never reads past it.
    s.assign("");
    i18nFormatMsg(s, InstallerLocales, 30, MsgRef{&messages, TXTINS_OK.id});
    EXPECT_STREQ(s.text(), "zero");
    i18nFreeTable(messages);
}

TEST_F(MessageLookup, PackedTableMustBeWhole) {
    PString error;
    const uint8_t tooShort[8] = {1, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(i18nLoadPackedTable(InstallerLocales, InstallerMessages, InstallerMsgIds, InstallerMessageCount,
                                  tooShort, sizeof tooShort, error),
              -1);
    const uint8_t packedTooLong[16] = {1, 0, 0, 0, 200, 0, 0, 0, 0x5D, 0, 0, 0x80, 0, 0, 0, 0};
    EXPECT_EQ(i18nLoadPackedTable(InstallerLocales, InstallerMessages, InstallerMsgIds, InstallerMessageCount,
                                  packedTooLong, sizeof packedTooLong, error),
              -1);
    // A stream that ends before the promised size is not loaded half.
    const uint8_t cut[16] = {100, 0, 0, 0, 8, 0, 0, 0, 0x5D, 0, 0, 0x80, 0, 0, 0, 0};
    EXPECT_FALSE(LoadMessageTableFrom(cut, sizeof cut));
    EXPECT_FALSE(InstallerMessages.loaded);
}

TEST_F(LocaleCatalogue, CodesFallbacksAndNameMessages) {
    ASSERT_EQ(InstallerLocales.count, 33u);
    // Every fallback chain ends in English within two steps.
    for (uint32_t i = 0; i < InstallerLocaleCount; ++i) {
        uint32_t f = InstallerLocaleInfo[i].fallback;
        EXPECT_EQ(InstallerLocaleInfo[InstallerLocaleInfo[f].fallback].fallback, 0u) << i;
        EXPECT_EQ(FindLocale(InstallerLocaleInfo[i].code), int32_t(i));
    }
    EXPECT_EQ(InstallerLocaleInfo[FindLocale("pt-BR")].fallback, uint32_t(FindLocale("pt")));
    EXPECT_EQ(InstallerLocaleInfo[FindLocale("es-419")].fallback, uint32_t(FindLocale("es")));
    EXPECT_EQ(FindLocale("EN"), -1);

    // The name messages out of sequence.
    const std::pair<const char*, uint32_t> names[] = {{"uk", 82},  {"el", 84},  {"et", 83},     {"lt", 86},
                                                      {"lv", 85},  {"pt-BR", 87}, {"hr", 88},   {"ko", 102},
                                                      {"es-419", 112}, {"sk", 113}};
    for (const auto& [code, id] : names)
        EXPECT_EQ(LanguageNameMessage(uint32_t(FindLocale(code))).id, id) << code;
    EXPECT_EQ(LanguageNameMessage(33).table, nullptr);
}

TEST_F(LocaleCatalogue, DefaultLocaleFromTheSystemLocaleId) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x0C0A, "es"},  {0x040A, "es"}, {0x500A, "es"},  {0x540A, "en"}, {0x000A, "en"}, {0x0416, "pt-BR"},
        {0x0816, "pt"},  {0x041B, "en"}, {0x0809, "en"},  {0x0409, "en"}, {0x0411, "ja"}, {0x1404, "zh-TW"},
        {0x1004, "zh-CN"}, {0x0812, "ko"}, {0x101A, "hr"}, {0x081A, "en"}, {0x180C, "fr"}, {0x1C0C, "en"},
        {0x1407, "de"},  {0x0000, "en"}, {0xFFFFFFFF, "en"}, {0x10407, "en"}};
    for (const auto& [lcid, code] : cases)
        EXPECT_STREQ(DefaultLocaleCodeFor(lcid), code) << std::hex << lcid;
    // No system locale chooses the regional variants that exist only by hand.
    for (uint32_t lcid = 0; lcid < 0x10000; ++lcid) {
        const char* code = DefaultLocaleCodeFor(lcid);
        ASSERT_TRUE(std::strcmp(code, "es-419") && std::strcmp(code, "sk") && std::strcmp(code, "en-GB") &&
                    std::strcmp(code, "en-US"))
            << std::hex << lcid;
    }
}

std::vector<std::string> Walk(LocaleIterator it) {
    std::vector<std::string> codes;
    for (; !it.atEnd(); it.next())
        codes.push_back(it.current().code);
    return codes;
}

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& c : v)
        s += (s.empty() ? "" : " ") + c;
    return s;
}

TEST_F(LocaleCatalogue, IteratorOrderPerLocaleMask) {
    BuildOptions::select("Morvandite");  // no suffix: mask 4
    EXPECT_EQ(Join(Walk(LocaleIterator())),
              "en cs da de el es es-419 et fr hr it lv lt hu nl no pl pt pt-BR ro sl sv fi bg ru uk ja zh-CN "
              "zh-TW");
    BuildOptions::select("Morvandite.QUILL");  // mask 1
    EXPECT_EQ(Join(Walk(LocaleIterator())),
              "en cs da de el es es-419 et fr hr it lv lt hu nl no pl pt pt-BR ro sl sk sv fi bg ru uk ja zh-CN "
              "zh-TW ko");
    BuildOptions::select("Morvandite.ORBA");  // mask 2
    EXPECT_EQ(Join(Walk(LocaleIterator())),
              "en cs da de el es es-419 et fr hr it lv lt hu nl no pl pt pt-BR ro sl sv fi bg ru uk ja zh-CN "
              "zh-TW ko");
}

TEST_F(LocaleCatalogue, PreferredLocaleComesFirstAndFollowsTheSelection) {
    BuildOptions::select("Morvandite.TOL");
    std::vector<std::string> codes = Walk(LocaleIterator());
    ASSERT_EQ(codes.size(), 29u);
    EXPECT_EQ(Join({codes[0], codes[1], codes[2], codes[8], codes[9]}), "fr en cs et hr");

    // A later selection is answered for itself, not from the first search.
    BuildOptions::select("Morvandite.KOR");
    codes = Walk(LocaleIterator());
    EXPECT_EQ(Join({codes[0], codes[1], codes[2]}), "bg en cs");
    EXPECT_EQ(codes.back(), "zh-TW");
    BuildOptions::select("Morvandite.VAL");
    EXPECT_EQ(Walk(LocaleIterator()).front(), "en");
}

TEST_F(LocaleCatalogue, IteratorWithoutABuildAndPastTheEnd) {
    // Nothing selected: only English, never a crash.
    EXPECT_EQ(Join(Walk(LocaleIterator())), "en");
    LocaleIterator it(nullptr);
    it.next();
    ASSERT_TRUE(it.atEnd());
    it.next();
    EXPECT_TRUE(it.atEnd());
    try {
        it.current();
        FAIL() << "no assertion";
    } catch (const PAssert& e) {
        EXPECT_EQ(std::string(e.why()).rfind("Assertion failed: 0, file MorvanditeInstall, line ", 0), 0u)
            << e.why();
    }
}

TEST_F(LocaleCatalogue, NamesAndScriptSupport) {
    ASSERT_GT(Load("en TXTINS_Lang_Japanese 2 Japanese\r\nja TXTINS_Lang_Japanese 2 \x10\xE6\x97\xA5\xE6\x9C\xAC"
                   "\xE8\xAA\x9E\r\nen TXTINS_Lang_French 2 French\r\nfr TXTINS_Lang_French 2 Fran\xE7" "ais\r\n"
                   "de TXTINS_Lang_French 2 Franz\xF6sisch\r\n"),
              0);
    EXPECT_TRUE(LanguageSupported(3, false));
    EXPECT_FALSE(LanguageSupported(16, false));
    EXPECT_TRUE(LanguageSupported(16, true));
    EXPECT_TRUE(LanguageSupported(30, true));
    EXPECT_TRUE(LanguageSupported(24, false));  // Greek: flag 0x6F, no East Asian bit
    EXPECT_FALSE(LanguageSupported(33, true));

    PString s;
    LanguageName(s, 3);
    EXPECT_STREQ(s.text(), "Fran\xE7" "ais");
    s.assign("");
    LanguageName(s, 16);
    EXPECT_STREQ(s.text(), HasEastAsianSupport() ? "\x10\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" : "Japanese");
    s.assign("");
    LanguageName(s, 33);
    EXPECT_STREQ(s.text(), "");
    LanguageNameIn(s, 4, 3);
    EXPECT_STREQ(s.text(), "Franz\xF6sisch");
}

TEST_F(LocaleCatalogue, SupportWarningAddsEastAsianStepsOnlyForThoseLocales) {
    ASSERT_GT(Load("en TXTINS_Using_N0_language_requires_pro_ELL_1 0 A(%0).\r\n"
                   "en TXTINS_It_appears_as_if_the_current_W_ELL 0 B.\r\n"
                   "en TXTINS_To_install_N0_language_support_ELL 0 C(%0).\r\n"
                   "en TXTINS_To_install_N0_language_support_ELL_1 0 X\r\n"
                   "en TXTINS_Press_Continue_to_use_the_N0_l_ELL 0 D(%0).\r\n"
                   "fr TXTINS_It_appears_as_if_the_current_W_ELL 0 b.\r\n"),
              0);
    PString s;
    LanguageSupportText(s, "Korean", 30);
    EXPECT_STREQ(s.text(), "A(Korean). B.\nC(Korean).\nD(Korean).");
    CurrentLocale = 3;
    s.assign("");
    LanguageSupportText(s, "\x10\xD0\xA0", 24);
    EXPECT_STREQ(s.text(), "\x10" "A(\xD0\xA0). b.\n\nD(\xD0\xA0).");
}

TEST_F(MessageLoader, FailuresAndMisuseReachTheLog) {
    std::string path = ScratchFolder("msgtable_log") + "/Install.log";
    OpenProcessLog(new PLog(path.c_str(), 0, nullptr));
    EXPECT_EQ(Load("# c\r\nen TXTINS_OK 0 OK\r\nen TXTINS_Cancel 0\r\n"), -1);
    EXPECT_EQ(BuildOptions::current(), nullptr);
    LocaleIterator it(nullptr);
    it.next();
    EXPECT_THROW(it.current(), PAssert);
    BuildIterator builds(true);
    while (builds.valid())
        builds.next();
    EXPECT_THROW(builds.current(), PAssert);
    CloseProcessLog();
    std::string log = ReadWholeFile(path);
    for (const char* line : {"i18nLoadDynamicTable aborted: unexpected EOL on line 3\r\n", "BuildOptions is not inited\r\n",
                             "LocaleIterator is not inited\r\n", "BuildOptions::BuildIterator is not inited\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
}

TEST(BuildVariants, SelectionTakesTheFirstSuffixInTableOrder) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"Morvandite", 17},        {"Morvandite.TAVEL", 2}, {"Morvandite.TOL.SAR", 8}, {"Morvandite.SAR.TOL", 8},
        {"x.Lumo", 15},            {"x.lumo", 17},          {".QUILL", 0},             {"", 17},
        {nullptr, 17},             {"a.HUSKY", 13},         {"Morvandite.CIRO", 17}};
    for (const auto& [name, row] : cases) {
        BuildOptions::select(name);
        EXPECT_EQ(BuildOptions::selectedIndex(), row) << (name ? name : "null");
        EXPECT_EQ(BuildOptions::current(), &kBuildVariants[row]);
    }
    BuildOptions::clear();
    EXPECT_EQ(BuildOptions::current(), nullptr);
}

TEST(BuildVariants, TableKeepsItsOrderingRules) {
    // A suffix containing another must stand before it, or it could never be selected.
    for (uint32_t i = 0; i < kBuildVariantCount; ++i)
        for (uint32_t j = i + 1; j < kBuildVariantCount; ++j)
            EXPECT_EQ(std::strstr(kBuildVariants[j].suffix, kBuildVariants[i].suffix), nullptr)
                << kBuildVariants[j].suffix << " is hidden by " << kBuildVariants[i].suffix;
    // Rows of one suffix are adjacent, and each names a locale its build offers.
    for (uint32_t i = 0; i < kPreferredLocaleCount; ++i) {
        for (uint32_t j = i + 2; j < kPreferredLocaleCount; ++j)
            if (std::strcmp(kPreferredLocales[i].suffix, kPreferredLocales[j].suffix) == 0)
                EXPECT_EQ(std::strcmp(kPreferredLocales[j - 1].suffix, kPreferredLocales[i].suffix), 0);
        BuildOptions::select(kPreferredLocales[i].suffix);
        EXPECT_STREQ(BuildOptions::current()->suffix, kPreferredLocales[i].suffix);
        EXPECT_TRUE(LocaleOffered(kPreferredLocales[i].locale));
        EXPECT_TRUE(LocalePreferred(kPreferredLocales[i].locale));
    }
    BuildOptions::clear();
}

TEST(BuildVariants, EachRowOffersItsMaskAndOnlyItsOwnPreferredLocales) {
    uint32_t listed = 0;
    for (uint32_t row = 0; row < kBuildVariantCount; ++row) {
        const LocaleOffer* offer = LocaleOfferOf(&kBuildVariants[row]);
        ASSERT_NE(offer, nullptr) << row;
        EXPECT_EQ(offer->localeMask, kBuildVariants[row].localeMask) << row;
        std::vector<uint32_t> expected;
        for (const PreferredLocale& p : kPreferredLocales)
            if (std::strcmp(p.suffix, kBuildVariants[row].suffix) == 0)
                expected.push_back(p.locale);
        EXPECT_EQ(std::vector<uint32_t>(offer->preferred, offer->preferred + offer->preferredCount), expected)
            << kBuildVariants[row].suffix;
        listed += offer->preferredCount;
    }
    // Every preference row belongs to exactly one build.
    EXPECT_EQ(listed, kPreferredLocaleCount);
    // Only rows of the table have an offer: a copy is not a build.
    BuildVariant copy = kBuildVariants[0];
    EXPECT_EQ(LocaleOfferOf(&copy), nullptr);
    EXPECT_EQ(LocaleOfferOf(nullptr), nullptr);
}

TEST(BuildVariants, AnOfferGivenDirectlyOrdersLikeTheSelectedBuild) {
    const uint32_t bulgarianFirst[] = {19};
    const LocaleOffer offer{4, bulgarianFirst, 1};
    BuildOptions::select("Morvandite.KOR");
    std::vector<std::string> selected = Walk(LocaleIterator());
    BuildOptions::clear();
    EXPECT_EQ(Walk(LocaleIterator(&offer)), selected);
    EXPECT_TRUE(LocalePreferred(19, &offer));
    EXPECT_FALSE(LocalePreferred(19, nullptr));
    EXPECT_FALSE(LocaleOffered(0, nullptr));
}

TEST(BuildVariants, IteratorVisitsSiblingsOrTheOthers) {
    std::vector<uint32_t> rows;
    for (BuildIterator it(true); it.valid(); it.next())
        rows.push_back(it.index());
    EXPECT_EQ(rows, (std::vector<uint32_t>{1, 2, 3}));
    BuildIterator it(true);
    EXPECT_STREQ(it.current().uninstallKeyName, "Morvandite.orba");

    rows.clear();
    BuildIterator others(false);
    for (; others.valid(); others.next())
        rows.push_back(others.index());
    EXPECT_EQ(rows.size(), 15u);
    EXPECT_EQ(rows.front(), 0u);
    EXPECT_EQ(rows.back(), 17u);
    try {
        others.current();
        FAIL() << "no assertion";
    } catch (const PAssert& e) {
        EXPECT_EQ(std::string(e.why()).rfind("Assertion failed: 0, file MorvanditeInstall, line ", 0), 0u);
    }
    others.begin();
    EXPECT_EQ(others.index(), 0u);
}

// ---- The generator --------------------------------------------------------

struct ToolRun {
    int status;
    std::string output;  // stdout and stderr
};

ToolRun RunMsgtable(const std::string& args) {
    const char* tools = std::getenv("MORVANDITE_TOOLS");
    std::string command = std::string(tools ? tools : "bin") + "/msgtable " + args + " 2>&1";
    ToolRun run{-1, ""};
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        run.output.append(buf, n);
    int status = pclose(p);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A complete English source: every message "Text <id>", with the placeholders
// of a few real messages.
std::string EnglishSource() {
    std::string s = "# English\n";
    for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
        const char* name = nullptr;
        for (const MsgId& m : InstallerMsgIds)
            if (m.id == id)
                name = m.name;
        if (!name)
            continue;  // a reserved row
        std::string text = "Text " + std::to_string(id);
        if (id == TXTINS_Install_Morvandite.id)
            text = "Install %0";
        if (id == TXTINS_Space_requiredX_N0_N1.id)
            text = "Space required: %0 %1";
        if (id == TXTINS_The_N0_Installer_has_detected__ELL.id)
            text = "The %0 installer\\n\\nPlease close it.";
        s += std::string(name) + " " + text + "\n";
    }
    return s;
}

class Generator : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ScratchFolder(std::string("msgtable_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        src_ = dir_ + "/src";
        std::string mk = "mkdir -p '" + src_ + "'";
        ASSERT_EQ(std::system(mk.c_str()), 0);
        WriteWholeFile(src_ + "/en.txt", EnglishSource());
    }
    void TearDown() override { FreeMessageTable(); }
    void Write(const std::string& name, const std::string& text) { WriteWholeFile(src_ + "/" + name, text); }
    ToolRun Text() { return RunMsgtable("text '" + src_ + "' '" + dir_ + "/out.txt'"); }
    bool OutputExists() { return std::filesystem::exists(dir_ + "/out.txt"); }

    std::string dir_, src_;
};

TEST_F(Generator, WritesTheTableTextForm) {
    Write("pl.txt", "# Polish\nTXTINS_OK Zażółć\nTXTINS_Install_Morvandite Zainstaluj %0\n");
    Write("sk.txt", "TXTINS_OK Š\n\n  \nTXTINS_Lang_Slovak Slovenčina\n");
    Write("fr.txt", "TXTINS_The_N0_Installer_has_detected__ELL L'installateur %0\\n\\nFermez-le.\r\n"
                    "TXTINS_Lang_French  Français \n");
    ToolRun run = Text();
    ASSERT_EQ(run.status, 0) << run.output;
    std::string out = ReadWholeFile(dir_ + "/out.txt");
    std::string expectedStart =
        "# THIS IS A GENERATED FILE! DO NOT EDIT!\r\n# Generated by msgtable 1.0\r\n"
        "sk TXTINS_OK 0 \x8A\r\n"
        "sk TXTINS_Lang_Slovak 2 \x10Sloven\xC4\x8Dina\r\n"
        "pl TXTINS_Install_Morvandite 0 Zainstaluj %0\r\n"
        "pl TXTINS_OK 0 \x10Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87\r\n"
        "fr TXTINS_The_N0_Installer_has_detected__ELL 0 L'installateur %0\\n\\nFermez-le.\r\n"
        "fr TXTINS_Lang_French 2  Fran\xE7" "ais \r\n"
        "en TXTINS_Cancel 0 Text 1\r\n";
    EXPECT_EQ(out.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(out.find("en TXTINS_Lang_English 2 Text 59\r\n"), std::string::npos);
    // The English lines come in id order: the last one is the highest id.
    const uint32_t lastId = InstallerMessageCount - 1;
    std::string last;
    for (const MsgId& id : InstallerMsgIds)
        if (id.id == lastId)
            last = std::string("en ") + id.name + " 0 Text " + std::to_string(lastId) + "\r\n";
    ASSERT_GT(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last);

    // The resource unpacks to the same text.
    ToolRun res = RunMsgtable("resource '" + src_ + "' '" + dir_ + "/out.bin'");
    ASSERT_EQ(res.status, 0) << res.output;
    std::string bin = ReadWholeFile(dir_ + "/out.bin");
    ASSERT_GT(bin.size(), 13u);
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bin[at])) | uint32_t(uint8_t(bin[at + 1])) << 8 | uint32_t(uint8_t(bin[at + 2])) << 16 |
               uint32_t(uint8_t(bin[at + 3])) << 24;
    };
    EXPECT_EQ(u32(0), out.size());
    EXPECT_EQ(u32(4), bin.size() - 8);
    EXPECT_EQ(uint8_t(bin[8]), 0x5D);
    EXPECT_EQ(u32(9), 8u << 20);
    ASSERT_TRUE(LoadMessageTableFrom(bin.data(), bin.size()));
    EXPECT_EQ(Format(FindLocale("pl"), TXTINS_Install_Morvandite, "X"), "Zainstaluj X");
    EXPECT_EQ(Format(FindLocale("fr"), TXTINS_The_N0_Installer_has_detected__ELL, "X"), "L'installateur X\n\nFermez-le.");
    EXPECT_EQ(Format(FindLocale("pt-BR"), TXTINS_OK), "Text 11");

    ToolRun stats = RunMsgtable("stats '" + src_ + "'");
    ASSERT_EQ(stats.status, 0) << stats.output;
    EXPECT_NE(stats.output.find("en      " + std::to_string(lastId) + "\n"), std::string::npos) << stats.output;
    EXPECT_NE(stats.output.find("pl      2\n"), std::string::npos) << stats.output;
    EXPECT_NE(stats.output.find("total   " + std::to_string(lastId + 6) + "\n"), std::string::npos) << stats.output;
}

TEST_F(Generator, RejectsBadSourcesNamingFileAndLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"fr.txt", "# c\n\nTXTINS_OK D'accord\nTXTINS_Okay x\n"},
        {"fr.txt", "TXTINS_Install_Morvandite Installer\n"},
        {"fr.txt", "TXTINS_Space_requiredX_N0_N1 Espace : %1 %0 %0\nTXTINS_OK Ok %1\n"},
        {"fr.txt", "TXTINS_OK \n"},
        {"fr.txt", "TXTINS_OK\n"},
        {"fr.txt", "TXTINS_OK 50% d'accord\n"},
        {"fr.txt", "TXTINS_OK Oui\nTXTINS_OK Non\n"},
        {"fr.txt", "TXTINS_OK \xC3\n"},
        {"fr.txt", "TXTINS_EMPTY_STUB x\n"},
        {"fr.txt", "TXTINS_OK\tOui\n"},
        {"xx.txt", "TXTINS_OK OK\n"},
    };
    const char* expected[] = {
        "fr.txt:4: unknown identifier TXTINS_Okay",
        "fr.txt:1: TXTINS_Install_Morvandite uses none but the English text uses %0",
        "fr.txt:2: TXTINS_OK uses %1 but the English text uses none",
        "fr.txt:1: empty text for TXTINS_OK",
        "fr.txt:1: empty text for TXTINS_OK",
        "fr.txt:1: stray % in TXTINS_OK",
        "fr.txt:2: second text for TXTINS_OK (first on line 1)",
        "fr.txt:1: text of TXTINS_OK is not valid UTF-8",
        "fr.txt:1: TXTINS_EMPTY_STUB is never shown",
        "fr.txt:1: a tab follows TXTINS_OK",
        "xx.txt: unknown locale xx",
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SetUp();
        Write(cases[i].first, cases[i].second);
        ToolRun run = Text();
        EXPECT_EQ(run.status, 1) << cases[i].second;
        EXPECT_NE(run.output.find(expected[i]), std::string::npos) << run.output;
        EXPECT_FALSE(OutputExists()) << cases[i].second;
    }
    // Reordered placeholders are fine.
    SetUp();
    Write("fr.txt", "TXTINS_Space_requiredX_N0_N1 Espace %1 : %L0\n");
    EXPECT_EQ(Text().status, 0);
}

TEST_F(Generator, EnglishMustHoldEveryMessage) {
    std::string en = EnglishSource();
    size_t at = en.find("TXTINS_Finish ");
    Write("en.txt", en.substr(0, at) + en.substr(en.find('\n', at) + 1));
    ToolRun run = Text();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("en.txt: no text for TXTINS_Finish"), std::string::npos) << run.output;
    EXPECT_EQ(RunMsgtable("text").status, 2);
    EXPECT_EQ(RunMsgtable("frobnicate '" + src_ + "' x").status, 2);
}

}  // namespace
