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

TEST(Configuration, ShippedSectionHoldsTheKeysInOrder) {
    std::string text = ReadWholeFile(SourcePath("resources/config.ini"));
    size_t last = 0;
    for (const char* key : {"[define]", "\nname=Morvandite\n", "\ndispname=Morvandite\n",
                            "\nmainwnd=MorvanditeLobbyClass\n", "\nieB1_1={", "\nieB1_2={1FBA04EE-3024-11d2-8F1F-0000F87ABD16}\n",
                            "\nsite=https://", "\niconPath=Morvandite.exe\n", "\niconIdx=0"}) {
        size_t at = text.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GE(at, last) << key;
        last = at;
    }
    InstallerConfiguration c = Parse(text);
    EXPECT_EQ(c.browserButtonId.length(), 38u);
    EXPECT_STREQ(c.workFolderName.text(), "Morvandite");
}

// mkinstaller refuses sections the installer would not read in full.
TEST(Configuration, KeyCheckPassesEveryReadKeyAndTheShippedSectionAndNothingElse) {
    std::string shipped = ReadWholeFile(SourcePath("resources/config.ini"));
    EXPECT_NO_THROW(CheckConfigurationKeys(shipped.data(), uint32_t(shipped.size())));
    const std::string every =
        "[DEFINE]\nName=a\ndispname=b\nmainwnd=c\nsite=d\nworkfoldername=e\nieB1_1=f\nieB1_2=g\n"
        "overrideUserIni=0\niconPath=h\niconIdx=1\n";
    EXPECT_NO_THROW(CheckConfigurationKeys(every.data(), uint32_t(every.size())));
    for (const std::string bad : {"[define]\nname=a\nnmae=b\n", "[define]\nname=a\n[other]\nname=b\n",
                                  "[other]\nname=a\n", "", "no section at all\n"})
        EXPECT_THROW(CheckConfigurationKeys(bad.data(), uint32_t(bad.size())), PInternalError) << bad;
}

TEST(Configuration, AbsentKeysTakeTheirDefaults) {
    InstallerConfiguration c = Parse("[define]\n");
    for (const PString* s : {&c.productName, &c.displayName, &c.mainWindowClass, &c.site, &c.browserButtonId,
                             &c.workFolderName})
        EXPECT_STREQ(s->text(), "");
    EXPECT_TRUE(c.overrideUserIni);
    EXPECT_STREQ(c.iconPath.text(), "Morvandite.exe");
    EXPECT_EQ(c.iconIdx, 0);
    EXPECT_STREQ(Parse("[define]\nname=Morvandite.TAVEL\n").workFolderName.text(), "Morvandite.TAVEL");
    EXPECT_STREQ(Parse("[define]\nname=A\nWorkFolderName=Cards\n").workFolderName.text(), "Cards");
}

TEST(Configuration, EmptyValuesAreEmptyStringsAndZero) {
    InstallerConfiguration c = Parse("[define]\nname=A\nsite=\niconPath=\niconIdx=\noverrideUserIni=\nWorkFolderName=\n");
    EXPECT_STREQ(c.site.text(), "");
    EXPECT_STREQ(c.iconPath.text(), "");
    EXPECT_EQ(c.iconIdx, 0);
    EXPECT_FALSE(c.overrideUserIni);
    // An empty work folder would put the settings into the application data root.
    EXPECT_STREQ(c.workFolderName.text(), "A");
}

TEST(Configuration, IntegersAreDecimalOrHexadecimalAfterAnX) {
    struct {
        const char* value;
        int32_t expected;
    } cases[] = {{"12", 12},   {"-5", -5},  {" 42", 42}, {"12abc", 12}, {"abc", 0},  {"0x10", 0},
                 {"x1F", 31},  {"xff", 255}, {"x", 0},   {"99999999999", INT32_MAX}, {"xFFFFFFFFFF", INT32_MAX},
                 {"-99999999999", INT32_MIN}};
    for (const auto& t : cases)
        EXPECT_EQ(ParseConfigInteger(t.value), t.expected) << t.value;
    // Keys and section names ignore case; the first of repeated keys wins.
    InstallerConfiguration c = Parse("[DEFINE]\nICONIDX=x1a\nOverrideUserIni=x0\niconIdx=3\n");
    EXPECT_EQ(c.iconIdx, 26);
    EXPECT_FALSE(c.overrideUserIni);
    EXPECT_TRUE(Parse("[define]\noverrideUserIni=-1\n").overrideUserIni);
}

TEST(Configuration, MissingSectionOrBadTextFailsAndLeavesTheRecord) {
    for (std::string text : {"[other]\nname=X\n", "", "[define]\nname=X\nno equals sign\n"}) {
        InstallerConfiguration c;
        c.productName = "Kept";
        EXPECT_THROW(ParseConfiguration(text.data(), uint32_t(text.size()), c), PInternalError) << text;
        EXPECT_STREQ(c.productName.text(), "Kept");
    }
}

}  // namespace
