// The tag grammar shared by tinfo, the tag server and the installer: what a
// tracking block's lines may hold, the hostile blocks it turns away, and the
// blocks in circulation it must go on taking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "taggrammar.h"

namespace {

std::vector<TagLine> Lines(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    std::vector<TagLine> out;
    for (const auto& p : pairs)
        out.push_back(TagLine{p.first, p.second});
    return out;
}

TEST(TagGrammar, BlocksInCirculationStillRead) {
    TagParse p = ParseTagText("SRC=partner7\nTHM=midnight-table@themes.morvandite.com\nTSL=pt-BR\n");
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.lines, Lines({{"SRC", "partner7"}, {"THM", "midnight-table@themes.morvandite.com"}, {"TSL", "pt-BR"}}));
    // Empty values, '=' inside a value, blank lines, no final line feed,
    // punctuation a campaign name may use, a C string's terminating zeros.
    static const char kText[] = "\nTHM=\nB=x=y\n\n  \nCAMP=Winter 2026 (50% off!) ~#;&\nA_1=v\0\0";
    p = ParseTagText(std::string(kText, sizeof kText - 1));
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.lines, Lines({{"THM", ""}, {"B", "x=y"}, {"CAMP", "Winter 2026 (50% off!) ~#;&"}, {"A_1", "v"}}));
    EXPECT_TRUE(ParseTagText("").ok());
    EXPECT_TRUE(ParseTagText("\n\n").lines.empty());
}

TEST(TagGrammar, BlanksAreTrimmedBeforeAnyComparison) {
    TagParse p = ParseTagText("  SRC \t=  partner 7 \t\n\tits=5\n");
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.lines, Lines({{"SRC", "partner 7"}, {"its", "5"}}));
    for (const char* key : {"ITS", "its", " ItS", "IZ\t", " iz ", "\tIz"})
        EXPECT_TRUE(IsReservedTagKey(key)) << key;
    for (const char* key : {"ITSX", "I Z", "IT", "ZI", "I", "", "TS"})
        EXPECT_FALSE(IsReservedTagKey(key)) << key;
}

TEST(TagGrammar, HostileBlocksAreRefusedWhole) {
    struct Case {
        std::string text, says;
    } cases[] = {
        // A CR that Windows' profile functions take for a line break: a new [update] section.
        {"THM=x\r[update]\rurl=http://evil.invalid/\r\nSRC=a\n", "line 1 holds a carriage return"},
        {"SRC=a\nTHM=x\r\n", "line 2 holds a carriage return"},
        // A section header, with and without '='.
        {"SRC=a\n[Options=]\n", "line 2 is refused: the key holds '['"},
        {"[update]\n", "line 1 is not KEY=value"},
        {"SRC=a\nTHM=[x]\n", "line 2 is refused: the value holds '['"},
        {"SRC=a\nTHM=x]\n", "line 2 is refused: the value holds ']'"},
        // Lines without '=', and keys that are not keys.
        {"SRC=a\njunk\n", "line 2 is not KEY=value"},
        {"IZ\n", "line 1 is not KEY=value"},
        {"=value\n", "line 1 is refused: the key is empty"},
        {"  =value\n", "line 1 is refused: the key is empty"},
        {"S RC=a\n", "line 1 is refused: the key holds ' '"},
        {"SRC-1=a\n", "line 1 is refused: the key holds '-'"},
        // Zero bytes but at the very end, other controls, bytes beyond ASCII.
        {std::string("SRC=a\0[update]\n", 15), "line 1 holds a zero byte"},
        {std::string("SRC=a\0\nB=1\n", 11), "line 1 holds a zero byte"},
        {"SRC=a\x1b[31m\n", "line 1 holds the byte 0x1B"},
        {"SRC=caf\xC3\xA9\n", "line 1 is refused: the value holds the byte 0xC3"},
        {"SRC=a\tb\n", "line 1 is refused: the value holds a tab"},
        {"SRC=a\x7F\n", "line 1 is refused: the value holds the byte 0x7F"},
    };
    for (const Case& c : cases) {
        TagParse p = ParseTagText(c.text);
        EXPECT_FALSE(p.ok()) << c.text;
        EXPECT_TRUE(p.lines.empty()) << c.text;
        EXPECT_EQ(p.error.rfind(c.says, 0), 0u) << c.text << ": " << p.error;
    }
}

TEST(TagGrammar, BoundsOnKeysValuesLinesAndText) {
    const std::string key32(32, 'K'), value255(255, 'v');
    EXPECT_TRUE(ParseTagText(key32 + "=" + value255 + "\n").ok());
    EXPECT_EQ(ParseTagText(key32 + "K=1\n").error, "line 1 is refused: the key is longer than 32 characters");
    EXPECT_EQ(ParseTagText("A=" + value255 + "v\n").error, "line 1 is refused: the value is longer than 255 characters");
    // Blanks around a value do not count towards its length.
    EXPECT_TRUE(ParseTagText("A=  " + value255 + "  \n").ok());

    std::string lines32, lines33;
    for (int i = 0; i < 33; ++i)
        (i < 32 ? lines32 : lines33) += "K" + std::to_string(i) + "=1\n";
    EXPECT_EQ(ParseTagText(lines32).lines.size(), 32u);
    EXPECT_EQ(ParseTagText(lines32 + lines33).error, "more than 32 lines");
    EXPECT_EQ(ParseTagText(lines32 + "\n\n\n").lines.size(), 32u);  // blank lines do not count

    // 1,012 bytes of text at most, however it is made up.
    std::string full;
    for (int i = 0; i < 4; ++i)
        full += "K" + std::to_string(i) + "=" + std::string(249, 'v') + "\n";
    ASSERT_EQ(full.size(), 1012u);
    EXPECT_TRUE(ParseTagText(full).ok());
    EXPECT_TRUE(ParseTagText(full + std::string(40, '\0')).ok());
    EXPECT_EQ(ParseTagText(full + "\n").error, "the text takes 1013 bytes; a tag holds at most 1012");
}

TEST(TagGrammar, LinesFromOtherSourcesAreCheckedAsTheTextIs) {
    // As the tag server gets them, from a query string.
    EXPECT_EQ(TagLinesError(Lines({{"SRC", "partner7"}, {"CAMP", "winter"}})), "");
    EXPECT_EQ(TagText(Lines({{" SRC ", " partner7 "}, {"THM", ""}})), "SRC=partner7\nTHM=\n");
    EXPECT_EQ(TagLinesError(Lines({{"SRC", "a"}, {"B[", "x"}})), "line 2 is refused: the key holds '[' (letters, digits and _ only)");
    EXPECT_EQ(TagLinesError(Lines({{"SRC", "a\nITS=1"}})), "line 1 is refused: the value holds the byte 0x0A (printable ASCII but '[' and ']' only)");
    EXPECT_EQ(TagLinesError(Lines({{"", "a"}})), "line 1 is refused: the key is empty");
    EXPECT_EQ(TagLinesError(Lines({{"ITS", "1"}})), "");  // reserved, not malformed
    std::vector<TagLine> many(33, TagLine{"A", "1"});
    EXPECT_EQ(TagLinesError(many), "more than 32 lines");
    std::vector<TagLine> big(5, TagLine{"K", std::string(250, 'v')});
    EXPECT_EQ(TagLinesError(big), "the lines take 1265 bytes; a tag holds at most 1012");
    // What TagText makes reads back as the same lines.
    std::vector<TagLine> good = Lines({{"SRC", "p 7"}, {"X", "a=b"}, {"THM", ""}});
    EXPECT_EQ(ParseTagText(TagText(good)).lines, good);
}

}  // namespace
