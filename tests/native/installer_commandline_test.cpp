// The installer's command line: token splitting, the "-nolaunch" switch and
// the switches of an unattended installation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commandline.h"

namespace {

class RecordingParser : public MyCommandLineParser {
public:
    std::vector<std::string> tokens;

protected:
    void OnToken(const char* token) override { tokens.push_back(token); }
};

std::vector<std::string> Tokens(const char* line) {
    RecordingParser p;
    p.Parse(line);
    return p.tokens;
}

bool LaunchEnabledAfter(const char* line) {
    InstallerCommandLineParser p;
    p.Parse(line);
    return p.IsLaunchEnabled;
}

TEST(CommandLineTokens, QuotesOnlySeparateSoQuotedBlanksSplit) {
    EXPECT_EQ(Tokens("\"C:\\Program Files\\Morvandite\" -x"),
              (std::vector<std::string>{"C:\\Program", "Files\\Morvandite", "-x"}));
    EXPECT_EQ(Tokens("  one \"\"\"  two\t2 "), (std::vector<std::string>{"one", "two\t2"}));
    EXPECT_TRUE(Tokens(" \" \"  ").empty());
    EXPECT_TRUE(Tokens(nullptr).empty());
}

TEST(NoLaunchSwitch, AnyLetterCaseMatchesButLookAlikesDoNot) {
    EXPECT_TRUE(LaunchEnabledAfter(""));
    for (const char* line : {"-nolaunch", "-NOLAUNCH", "/S \"-NoLaunch\" extra"})
        EXPECT_FALSE(LaunchEnabledAfter(line)) << line;
    for (const char* line : {"/nolaunch", "-nolaunch=1", "-nolaunchx", "nolaunch", "-nolaunc", "--nolaunch"})
        EXPECT_TRUE(LaunchEnabledAfter(line)) << line;
}

InstallerCommandLineParser Parsed(const char* line) {
    InstallerCommandLineParser p;
    p.Parse(line);
    return p;
}

TEST(CommandLineTokens, QuotedSwitchValuesStayWhole) {
    EXPECT_EQ(Tokens("-dir=\"C:\\My Games\\Card Room\" -silent"),
              (std::vector<std::string>{"-dir=C:\\My Games\\Card Room", "-silent"}));
    EXPECT_EQ(Tokens("\"-log=C:\\a b.log\" -x"), (std::vector<std::string>{"-log=C:\\a b.log", "-x"}));
    // Unclosed quotes run to the end of the line.
    EXPECT_EQ(Tokens("-dir=\"C:\\a b"), (std::vector<std::string>{"-dir=C:\\a b"}));
    EXPECT_EQ(Tokens("\"-dir=C:\\a b"), (std::vector<std::string>{"-dir=C:\\a b"}));
    // An empty quoted value is an empty value, not the next token.
    EXPECT_EQ(Tokens("-dir=\"\" -silent"), (std::vector<std::string>{"-dir=", "-silent"}));
    // A quoted token without '=' keeps the old splitting.
    EXPECT_EQ(Tokens("\"-x y\""), (std::vector<std::string>{"-x", "y"}));
}

TEST(UnattendedSwitches, EverySwitchSetsItsField) {
    InstallerCommandLineParser p = Parsed(
        "-SILENT -Dir=\"D:\\Card Games\\Morvandite\\\" -lang=de -desktop=0 -QuickLaunch=1 -startmenu=0 "
        "-browserbutton=1 -allusers=0 -log=\"C:\\temp\\my install.log\" -nolaunch");
    EXPECT_EQ(std::string(p.Error().text()), "");
    EXPECT_TRUE(p.UsesSwitches());
    const CommandLineSwitches& s = p.Switches;
    EXPECT_TRUE(s.silent);
    EXPECT_FALSE(s.help);
    EXPECT_EQ(std::string(s.installFolder.text()), "D:\\Card Games\\Morvandite");  // trailing backslash dropped
    EXPECT_EQ(std::string(s.localeCode.text()), "de");
    EXPECT_EQ(s.desktopShortcut, 0);
    EXPECT_EQ(s.quickLaunchShortcut, 1);
    EXPECT_EQ(s.startMenuShortcut, 0);
    EXPECT_EQ(s.browserButton, 1);
    EXPECT_EQ(s.allUsers, 0);
    EXPECT_EQ(std::string(s.logPath.text()), "C:\\temp\\my install.log");
    EXPECT_FALSE(p.IsLaunchEnabled);
}

TEST(UnattendedSwitches, AbsentSwitchesLeaveThePageDefaults) {
    for (const char* line : {"", "-nolaunch", "/S whatever -nolaunch=1"}) {
        InstallerCommandLineParser p = Parsed(line);
        EXPECT_EQ(std::string(p.Error().text()), "") << line;
        EXPECT_FALSE(p.UsesSwitches()) << line;
        const CommandLineSwitches& s = p.Switches;
        EXPECT_FALSE(s.silent);
        EXPECT_TRUE(s.installFolder.empty());
        EXPECT_TRUE(s.localeCode.empty());
        EXPECT_TRUE(s.logPath.empty());
        for (int8_t f : {s.desktopShortcut, s.quickLaunchShortcut, s.startMenuShortcut, s.browserButton, s.allUsers})
            EXPECT_EQ(f, -1) << line;
    }
    InstallerCommandLineParser p = Parsed("-silent");
    EXPECT_TRUE(p.Switches.silent);
    EXPECT_TRUE(p.IsLaunchEnabled);
    EXPECT_TRUE(p.Switches.installFolder.empty());
}

TEST(UnattendedSwitches, HelpInEveryForm) {
    for (const char* line : {"-help", "/?", "-?", "/HELP", "-Help -silent"})
        EXPECT_TRUE(Parsed(line).Switches.help) << line;
    EXPECT_FALSE(Parsed("-helpme").Switches.help);
}

TEST(UnattendedSwitches, BadValuesAreFaults) {
    for (const char* line :
         {"-desktop=2", "-desktop=", "-desktop", "-quicklaunch=yes", "-startmenu=01", "-browserbutton=-1",
          "-allusers=true", "-lang=xx", "-lang=DE", "-lang=", "-dir=", "-dir=Games", "-dir=\\Games",
          "-dir=C:Games", "-dir=C:\\a|b", "-dir=C:\\a*", "-dir=C:\\a:b", "-dir=\\\\server", "-dir=1:\\x",
          "-log", "-log="}) {
        InstallerCommandLineParser p = Parsed(line);
        EXPECT_FALSE(p.Error().empty()) << line;
        EXPECT_TRUE(p.UsesSwitches()) << line;
    }
    InstallerCommandLineParser p = Parsed("-desktop=2");
    EXPECT_EQ(p.Switches.desktopShortcut, -1);
    EXPECT_NE(std::string(p.Error().text()).find("-desktop=2"), std::string::npos);
    // UNC folders and drive roots are absolute.
    EXPECT_TRUE(Parsed("-dir=\\\\server\\share\\Games").Error().empty());
    EXPECT_TRUE(Parsed("-dir=c:\\").Error().empty());
    EXPECT_EQ(std::string(Parsed("-dir=c:\\").Switches.installFolder.text()), "c:\\");
}

TEST(UnattendedSwitches, DuplicatesAreFaultsEvenWithTheSameValue) {
    for (const char* line : {"-desktop=1 -desktop=1", "-dir=C:\\a -DIR=C:\\b", "-lang=de -lang=fr",
                             "-log=C:\\a -log=C:\\a"}) {
        InstallerCommandLineParser p = Parsed(line);
        EXPECT_NE(std::string(p.Error().text()).find("twice"), std::string::npos) << line;
    }
    // Repeating a plain switch is harmless.
    EXPECT_TRUE(Parsed("-silent -silent -nolaunch -nolaunch").Error().empty());
}

TEST(UnattendedSwitches, UnknownTokensAreFaultsOnlyBesideTheNewSwitches) {
    // An unquoted path with blanks leaves a stray piece: refused rather than
    // installing into "C:\My".
    InstallerCommandLineParser stray = Parsed("-silent -dir=C:\\My Games");
    EXPECT_NE(std::string(stray.Error().text()).find("Games"), std::string::npos);
    for (const char* line : {"-silent -quiet", "-silent /S", "-dir=C:\\a -nolaunch=1", "-lang=fr extra"})
        EXPECT_FALSE(Parsed(line).Error().empty()) << line;
    // The first fault is the one reported.
    EXPECT_NE(std::string(Parsed("-desktop=7 -lang=xx").Error().text()).find("-desktop=7"), std::string::npos);
}

}  // namespace
