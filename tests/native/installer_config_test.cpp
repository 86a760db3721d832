// The configuration section: keys, defaults, integers and failures.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "config.h"
#include "perror.h"
#include "test_paths.h"

namespace {

InstallerConfiguration Parse(const std::string& text) {
    InstallerConfiguration c;
    ParseConfiguration(text.data(), uint32_t(text.size()), c);
    return c;
}

TEST(Configuration, ShippedSectionNamesTheProduct) {
    std::string text = ReadWholeFile(SourcePath("resources/config.ini"));
    InstallerConfiguration c = Parse(text);
    EXPECT_STREQ(c.productName.text(), "Morvandite");
    EXPECT_STREQ(c.displayName.text(), "Morvandite");
    EXPECT_STREQ(c.mainWindowClass.text(), "MorvanditeLobbyClass");
    EXPECT_STREQ(c.site.text(), "https://www.morvandite.com");
    EXPECT_EQ(std::string(c.browserButtonId.text()).size(), 38u);
    EXPECT_EQ(c.browserButtonId.text()[0], '{');
    EXPECT_STRNE(c.browserButtonId.text(), "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}");
    EXPECT_STREQ(c.workFolderName.text(), "Morvandite");
    EXPECT_TRUE(c.overrideUserIni);
    EXPECT_STREQ(c.iconPath.text(), "Morvandite.exe");
    EXPECT_EQ(c.iconIdx, 0);
}

TEST(Configuration, ShippedSectionKeepsTheKeyOrder) {
    std::string text = ReadWholeFile(SourcePath("resources/config.ini"));
    const char* order[] = {"[define]", "\nname=", "\ndispname=", "\nmainwnd=", "\nieB1_1=", "\nieB1_2=",
                           "\nsite=", "\niconPath=", "\niconIdx="};
    size_t last = 0;
    for (const char* key : order) {
        size_t at = text.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GE(at, last) << key;
        last = at;
    }
}

TEST(Configuration, EveryAbsentKeyTakesItsDefault) {
    InstallerConfiguration c = Parse("[define]\n");
    EXPECT_STREQ(c.productName.text(), "");
    EXPECT_STREQ(c.displayName.text(), "");
    EXPECT_STREQ(c.mainWindowClass.text(), "");
    EXPECT_STREQ(c.site.text(), "");
    EXPECT_STREQ(c.browserButtonId.text(), "");
    EXPECT_STREQ(c.workFolderName.text(), "");
    EXPECT_TRUE(c.overrideUserIni);
    EXPECT_STREQ(c.iconPath.text(), "Morvandite.exe");
    EXPECT_EQ(c.iconIdx, 0);
}

TEST(Configuration, WorkFolderFallsBackToTheProductName) {
    EXPECT_STREQ(Parse("[define]\nname=Morvandite.TAVEL\n").workFolderName.text(), "Morvandite.TAVEL");
    EXPECT_STREQ(Parse("[define]\nname=A\nWorkFolderName=\n").workFolderName.text(), "A");
    EXPECT_STREQ(Parse("[define]\nname=A\nWorkFolderName=Cards\n").workFolderName.text(), "Cards");
}

TEST(Configuration, EmptyValuesAreEmptyStringsAndZero) {
    InstallerConfiguration c = Parse("[define]\nsite=\niconPath=\niconIdx=\noverrideUserIni=\n");
    EXPECT_STREQ(c.site.text(), "");
    EXPECT_STREQ(c.iconPath.text(), "");
    EXPECT_EQ(c.iconIdx, 0);
    EXPECT_FALSE(c.overrideUserIni);
}

TEST(Configuration, KeysAndSectionIgnoreCaseAndTheFirstRepeatWins) {
    InstallerConfiguration c = Parse("[DEFINE]\nNAME=First\nname=Second\nICONIDX=7\nMainWnd=Cls\n");
    EXPECT_STREQ(c.productName.text(), "First");
    EXPECT_EQ(c.iconIdx, 7);
    EXPECT_STREQ(c.mainWindowClass.text(), "Cls");
}

TEST(Configuration, ValuesKeepTheirBlanksAndKeysMustMatchExactly) {
    // "name =" is the key "name " (keys are not trimmed at the '=').
    InstallerConfiguration c = Parse("[define]\nname = Spaced\ndispname= Shown \n");
    EXPECT_STREQ(c.productName.text(), "");
    EXPECT_STREQ(c.displayName.text(), " Shown");  // the line's own trailing blanks are trimmed
}

TEST(Configuration, MissingSectionFailsAndLeavesTheRecord) {
    InstallerConfiguration c;
    c.productName = "Kept";
    std::string text = "[other]\nname=X\n";
    EXPECT_THROW(ParseConfiguration(text.data(), uint32_t(text.size()), c), PInternalError);
    EXPECT_STREQ(c.productName.text(), "Kept");
    std::string empty;
    EXPECT_THROW(ParseConfiguration(empty.data(), 0, c), PInternalError);
}

TEST(Configuration, MalformedTextFails) {
    std::string text = "[define]\nname=X\nno equals sign\n";
    InstallerConfiguration c;
    EXPECT_THROW(ParseConfiguration(text.data(), uint32_t(text.size()), c), PInternalError);
    EXPECT_STREQ(c.productName.text(), "");
}

TEST(ConfigInteger, DecimalUnlessItStartsWithX) {
    EXPECT_EQ(ParseConfigInteger("12"), 12);
    EXPECT_EQ(ParseConfigInteger("-5"), -5);
    EXPECT_EQ(ParseConfigInteger("  42"), 42);
    EXPECT_EQ(ParseConfigInteger("12abc"), 12);
    EXPECT_EQ(ParseConfigInteger("abc"), 0);
    EXPECT_EQ(ParseConfigInteger(""), 0);
    EXPECT_EQ(ParseConfigInteger(nullptr), 0);
    // "0x10" is decimal: strtol stops at the x.
    EXPECT_EQ(ParseConfigInteger("0x10"), 0);
    EXPECT_EQ(ParseConfigInteger("x1F"), 31);
    EXPECT_EQ(ParseConfigInteger("xff"), 255);
    EXPECT_EQ(ParseConfigInteger("x"), 0);
    EXPECT_EQ(ParseConfigInteger("xZ"), 0);
}

TEST(ConfigInteger, OutOfRangeValuesClampTheSameInBothBuilds) {
    EXPECT_EQ(ParseConfigInteger("99999999999"), INT32_MAX);
    EXPECT_EQ(ParseConfigInteger("-99999999999"), INT32_MIN);
    EXPECT_EQ(ParseConfigInteger("xFFFFFFFFFF"), INT32_MAX);
}

TEST(Configuration, HexadecimalValuesFeedTheIntegerKeys) {
    InstallerConfiguration c = Parse("[define]\niconIdx=x1a\noverrideUserIni=x0\n");
    EXPECT_EQ(c.iconIdx, 26);
    EXPECT_FALSE(c.overrideUserIni);
    EXPECT_TRUE(Parse("[define]\noverrideUserIni=x10\n").overrideUserIni);
    EXPECT_FALSE(Parse("[define]\noverrideUserIni=0\n").overrideUserIni);
    EXPECT_TRUE(Parse("[define]\noverrideUserIni=-1\n").overrideUserIni);
}

}  // namespace
