// The foundation under Windows: system error texts come from FormatMessage.
#include <gtest/gtest.h>

#include <windows.h>

#include "perror.h"
#include "pstring.h"

#include <string>

TEST(PSystemErrorWindows, UsesTheSystemTextWithBlanksForLineEnds) {
    char text[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
    ASSERT_GT(n, 2u);
    ASSERT_EQ(std::string(text + n - 2), "\r\n");
    std::string expected = "Cannot open: " + std::string(text, n - 2) + "  (5=0x5)";
    EXPECT_EQ(std::string(PSystemError("Cannot open", ERROR_ACCESS_DENIED).why()), expected);
}

TEST(PSystemErrorWindows, UnknownCodeSaysSo) {
    EXPECT_STREQ(PSystemError("x", 0x2FFFFFF0).why(), "x: Unknown error (805306352=0x2FFFFFF0)");
}

TEST(PWStringWindows, TerminatedBufferIsAWideString) {
    PWString w;
    for (char c : std::string("abc"))
        w.append(uint16_t(c));
    w.terminate();
    EXPECT_EQ(lstrcmpW(w.wide(), L"abc"), 0);
}
