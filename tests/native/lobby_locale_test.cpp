// The lobby's line about the chosen language: user.ini stores an index into
// the installer's locale catalogue, and the lobby must name the locale the
// installer meant by it.
#include <gtest/gtest.h>

#include <string>

#include "locales.h"
#include "localetext.h"

namespace {

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

TEST(LobbyLocale, EveryIndexNamesTheInstallersLocale) {
    for (uint32_t i = 0; i < InstallerLocaleCount; ++i) {
        EXPECT_EQ(DescribeLocaleValue(std::to_wstring(i)),
                  L"Locale=" + std::to_wstring(i) + L" (" + Widen(InstallerLocaleInfo[i].code) + L")")
            << "index " << i << ", " << InstallerLocaleInfo[i].englishName;
    }
}

TEST(LobbyLocale, LithuanianAndLatvianAreNotSwapped) {
    EXPECT_EQ(DescribeLocaleValue(L"26"), L"Locale=26 (lt)");
    EXPECT_EQ(DescribeLocaleValue(L"27"), L"Locale=27 (lv)");
}

TEST(LobbyLocale, IndexesOutsideTheCatalogueFallBackToEnglish) {
    const std::wstring count = std::to_wstring(InstallerLocaleCount);
    EXPECT_EQ(DescribeLocaleValue(count), L"Locale=" + count + L" (not a known locale, English is used)");
    EXPECT_EQ(DescribeLocaleValue(L"-1"), L"Locale=-1 (not a known locale, English is used)");
}

TEST(LobbyLocale, MissingOrUnreadableValuesFallBackToEnglish) {
    EXPECT_EQ(DescribeLocaleValue(L""), L"not set in user.ini, English is used");
    for (const wchar_t* value : {L"lt", L"26a", L" ", L"99999999999999999999999"}) {
        EXPECT_EQ(DescribeLocaleValue(value),
                  L"Locale=" + std::wstring(value) + L" in user.ini is not a number, English is used");
    }
}

}  // namespace
