// The installer's command line: token splitting and the "-nolaunch" switch.
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

TEST(CommandLineTokens, QuotesAreOnlySeparatorsSoQuotedBlanksSplit) {
    EXPECT_EQ(Tokens("\"C:\\Program Files\\Morvandite\" -x"),
              (std::vector<std::string>{"C:\\Program", "Files\\Morvandite", "-x"}));
    EXPECT_EQ(Tokens("a\"b\"c"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(CommandLineTokens, RunsOfSeparatorsAndEdgesYieldNoEmptyTokens) {
    EXPECT_EQ(Tokens("  one   \"\"  two  "), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(Tokens("").empty());
    EXPECT_TRUE(Tokens(" \" \"  ").empty());
    EXPECT_TRUE(Tokens(nullptr).empty());
    // Tabs are not separators.
    EXPECT_EQ(Tokens("a\tb"), (std::vector<std::string>{"a\tb"}));
}

TEST(CommandLineTokens, TheCallersLineIsLeftAlone) {
    std::string line = "first second";
    Tokens(line.c_str());
    EXPECT_EQ(line, "first second");
}

TEST(NoLaunchSwitch, AnyLetterCaseDisablesTheLaunch) {
    EXPECT_TRUE(LaunchEnabledAfter(""));
    EXPECT_FALSE(LaunchEnabledAfter("-nolaunch"));
    EXPECT_FALSE(LaunchEnabledAfter("-NOLAUNCH"));
    EXPECT_FALSE(LaunchEnabledAfter("-NoLaunch"));
    EXPECT_FALSE(LaunchEnabledAfter("/S \"-nolaunch\" extra"));
    EXPECT_FALSE(LaunchEnabledAfter("other -nolaunch"));
}

TEST(NoLaunchSwitch, LookAlikesDoNotMatch) {
    for (const char* line : {"/nolaunch", "-nolaunch=1", "-nolaunchx", "nolaunch", "-nolaunc", "--nolaunch",
                             "-no launch", "-nolaunch\tx"})
        EXPECT_TRUE(LaunchEnabledAfter(line)) << line;
}

}  // namespace
