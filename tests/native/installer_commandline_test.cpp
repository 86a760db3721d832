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

}  // namespace
