// The uninstaller's command line: the installation it removes comes from
// here, in the forms the installer, shortcuts and Windows' own list of
// programs use to start it.
#include <gtest/gtest.h>

#include <string>

#include "uninstallcommandline.h"

namespace {

const std::wstring kInstalled = L"C:\\Program Files\\Morvandite\\MorvanditeUninstall.exe";
// Where the installer puts a copy before starting it, unquoted.
const std::wstring kTempCopy = L"C:\\Documents and Settings\\Ann Lee\\Local Settings\\Temp\\_unps.exe";

struct Parsed {
    bool ok;
    UninstallOptions options;
    std::wstring error;
};

Parsed Parse(const std::wstring& commandLine, const std::wstring& self = kInstalled) {
    Parsed parsed;
    parsed.ok = ParseCommandLine(commandLine, self, &parsed.options, &parsed.error);
    EXPECT_EQ(parsed.ok, parsed.error.empty()) << "an error must come with a refusal and only then";
    return parsed;
}

TEST(UninstallCommandLine, TheQuotedProgramIsFollowedByTheKeyAndSwitches) {
    Parsed p = Parse(L"\"" + kInstalled + L"\" /u:Morvandite /quiet");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.key, L"Morvandite");
    EXPECT_TRUE(p.options.quiet);
    EXPECT_FALSE(p.options.help);

    p = Parse(L"\"" + kInstalled + L"\" -U:Morvandite -S");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.key, L"Morvandite");
    EXPECT_TRUE(p.options.quiet);

    p = Parse(L"\"" + kInstalled + L"\" /u:Morvandite");
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.quiet);
}

TEST(UninstallCommandLine, AnUnquotedProgramPathWithSpacesIsNotTakenForArguments) {
    // Its own path, as the installer starts the copy in the temporary folder.
    Parsed p = Parse(kTempCopy + L" /u:Morvandite /quiet", kTempCopy);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.key, L"Morvandite");
    EXPECT_TRUE(p.options.quiet);

    // Another spelling of its path (a short name): up to the first ".exe".
    p = Parse(L"C:\\Docume~1\\Ann Lee\\Temp\\_unps.exe /u:Morvandite", kTempCopy);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.key, L"Morvandite");

    // A folder named like a program does not end the program's name.
    p = Parse(L"C:\\Games\\old.exe files\\MorvanditeUninstall.EXE /u:Morvandite",
              L"C:\\Games\\old.exe files\\MorvanditeUninstall.exe");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.key, L"Morvandite");
}

TEST(UninstallCommandLine, AKeyWithSpacesRunsToTheNextSwitch) {
    Parsed p = Parse(L"\"" + kInstalled + L"\" /u:Morvandite Card Room /quiet");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.key, L"Morvandite Card Room");
    EXPECT_TRUE(p.options.quiet);

    p = Parse(L"\"" + kInstalled + L"\" /u:\"Morvandite Card Room\"");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.key, L"Morvandite Card Room");
}

TEST(UninstallCommandLine, HelpNeedsNoKey) {
    for (const wchar_t* option : {L" /?", L" -h", L" /HELP"}) {
        Parsed p = Parse(L"\"" + kInstalled + L"\"" + option);
        ASSERT_TRUE(p.ok) << option;
        EXPECT_TRUE(p.options.help) << option;
    }
}

TEST(UninstallCommandLine, AMissingOrAmbiguousKeyIsRefused) {
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\"").ok);
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /quiet").ok);
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /u: /quiet").ok);
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /u:Morvandite /u:Other").ok);
}

TEST(UninstallCommandLine, AKeyThatCannotNameAnEntryIsRefused) {
    // A backslash would reach another key under the uninstall root, or above it.
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /u:..\\..\\Run").ok);
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /u:Morvandite\\Sub").ok);
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /u:Morv\x01" L"andite").ok);
    EXPECT_TRUE(Parse(L"\"" + kInstalled + L"\" /u:" + std::wstring(255, L'k')).ok);
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" /u:" + std::wstring(256, L'k')).ok);
}

TEST(UninstallCommandLine, UnknownOptionsAreRefused) {
    Parsed p = Parse(L"\"" + kInstalled + L"\" /u:Morvandite /force");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find(L"/force"), std::wstring::npos) << "the error names the option";
    EXPECT_FALSE(Parse(L"\"" + kInstalled + L"\" Morvandite").ok);
}

}  // namespace
