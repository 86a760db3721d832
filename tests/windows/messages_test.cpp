// The message table loaded from this executable's own resource 205 (type MV),
// and the script-support test of the running Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "locales.h"
#include "msgids.h"
#include "perror.h"
#include "ppmsg.h"

namespace {

class MessagesFromResource : public ::testing::Test {
protected:
    void SetUp() override { CurrentLocale = LocaleEnglish; }
    void TearDown() override {
        FreeMessageTable();
        CurrentLocale = LocaleEnglish;
    }
};

TEST_F(MessagesFromResource, LoadsAndFormatsInSeveralLocales) {
    ASSERT_TRUE(LoadMessageTable());
    EXPECT_STREQ(MsgString(TXTINS_OK).text(), "OK");
    EXPECT_STREQ(MsgString(TXTINS_Install_Morvandite, "Morvandite").text(), "Install Morvandite");
    EXPECT_STREQ(MsgString(TXTINS_Space_requiredX_N0_N1, "12.5", "MB").text(), "Space required: 12.5 MB");

    // Cyrillic texts travel as marked UTF-8; Latin American Spanish falls back to Spanish.
    CurrentLocale = FindLocale("ru");
    EXPECT_EQ(MsgString(TXTINS_Cancel).text()[0], '\x10');
    PString es, es419;
    i18nFormatMsg(es, InstallerLocales, FindLocale("es"), TXTINS_OK);
    i18nFormatMsg(es419, InstallerLocales, FindLocale("es-419"), TXTINS_OK);
    EXPECT_STREQ(es419.text(), es.text());

    // A second load replaces the first without losing anything.
    ASSERT_TRUE(LoadMessageTable());
    CurrentLocale = LocaleEnglish;
    EXPECT_STREQ(MsgString(TXTINS_Cancel).text(), "Cancel");
}

TEST_F(MessagesFromResource, ReleasedTableRefusesLookups) {
    ASSERT_TRUE(LoadMessageTable());
    FreeMessageTable();
    EXPECT_FALSE(InstallerMessages.loaded);
    EXPECT_THROW(MsgString(TXTINS_OK), PAssert);
    EXPECT_STREQ(MsgString(TXTINS_EMPTY_STUB).text(), "");
}

TEST(EastAsianSupport, AnswerIsStableAndDecidesTheEastAsianLocales) {
    bool answer = HasEastAsianSupport();
    EXPECT_EQ(HasEastAsianSupport(), answer);
    for (int32_t locale : {LocaleJapanese, LocaleSimplifiedChinese, LocaleTraditionalChinese, LocaleKorean})
        EXPECT_EQ(LanguageSupported(uint32_t(locale)), answer) << locale;
    EXPECT_TRUE(LanguageSupported(uint32_t(FindLocale("ru"))));
    std::printf("East Asian support: %s\n", answer ? "yes" : "no");

    ASSERT_TRUE(LoadMessageTable());
    PString name;
    LanguageName(name, LocaleJapanese);
    if (answer)
        EXPECT_EQ(name.text()[0], '\x10');
    else
        EXPECT_STREQ(name.text(), "Japanese");
    FreeMessageTable();
}

}  // namespace
