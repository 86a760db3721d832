// What the installer starts for the user: through the desktop's shell when it
// runs elevated, by itself when no desktop shell answers (logged) and in every
// run that is not elevated; and the desktop's real shell under Wine, which
// answers the documented way and starts a program as asked. The program is a
// copy of record_args.exe, which writes down how it was started.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "helpers/captured_log.h"
#include "helpers/stand_in_shell.h"
#include "pencoding.h"
#include "punique.h"
#include "test_paths.h"
#include "userstart.h"

namespace {

class UserStart : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ScratchFolder(std::string("installer-userstart-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        folder_ = dir_ + "\\Card Room";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        program_ = folder_ + "\\MorvanditeUpdate.exe";
        ASSERT_TRUE(CopyFileA(BinaryPath("bin\\record_args.exe").c_str(), program_.c_str(), FALSE));
        record_ = dir_ + "\\record.txt";
        SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", record_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", nullptr); }

    // The lines the started program wrote once it has written its last one
    // (its folder); empty when it has not written them within the time.
    static std::vector<std::string> RecordOf(const std::string& file, DWORD waitMs = 10000) {
        const DWORD start = GetTickCount();
        for (;;) {
            const std::string text = ReadWholeFileOrEmpty(file);
            if (text.find("\nfolder=") != std::string::npos && text.back() == '\n') {
                std::vector<std::string> lines;
                for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
                    lines.push_back(text.substr(at, end - at));
                return lines;
            }
            if (GetTickCount() - start > waitMs)
                return {};
            Sleep(50);
        }
    }

    std::string dir_, folder_, program_, record_;
};

TEST_F(UserStart, AnElevatedRunHandsTheLauncherToTheDesktopShell) {
    StandInDesktopShell shell;
    CapturedLog log(dir_);
    EXPECT_TRUE(StartProgramForUser(program_.c_str(), folder_.c_str(), true, shell));
    const std::vector<StandInDesktopShell::Request> asked = shell.Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].file, program_);
    EXPECT_EQ(asked[0].arguments, "");
    EXPECT_EQ(asked[0].folder, folder_);
    EXPECT_TRUE(log.Has("Started through the desktop's shell, as the desktop's user, not elevated: '" + program_ +
                        "'"))
        << log.Text();
    // The installer did not start it as well.
    EXPECT_TRUE(RecordOf(record_, 1000).empty());
}

TEST_F(UserStart, WithoutADesktopShellAnElevatedRunStartsTheLauncherItselfAndSaysWhy) {
    StandInDesktopShell absent(false);
    CapturedLog log(dir_);
    EXPECT_TRUE(StartProgramForUser(program_.c_str(), folder_.c_str(), true, absent));
    EXPECT_EQ(absent.Requests().size(), 1u);
    const std::vector<std::string> lines = RecordOf(record_);
    ASSERT_FALSE(lines.empty()) << "the launcher was not started";
    EXPECT_EQ(lines.front(), "module=" + program_);
    EXPECT_EQ(lines.back(), "folder=" + folder_);
    for (const std::string& line : lines)
        EXPECT_NE(line.rfind("arg=", 0), 0u) << "no arguments: " << line;
    EXPECT_TRUE(log.Has("Started by the installer itself, elevated, as the desktop's shell does not answer: a "
                        "stand-in without a desktop: '" + program_ + "'"))
        << log.Text();
}

TEST_F(UserStart, WithoutElevationTheShellIsNeverAskedAndTheCallsAreTheOldOnes) {
    StandInDesktopShell shell;
    CapturedLog log(dir_);
    EXPECT_TRUE(StartProgramForUser(program_.c_str(), folder_.c_str(), false, shell));
    const std::vector<std::string> lines = RecordOf(record_);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "module=" + program_);
    EXPECT_EQ(lines.back(), "folder=" + folder_);
    EXPECT_TRUE(log.Has("Started by the installer itself, not elevated: '" + program_ + "'")) << log.Text();

    // A missing page: the shell's own call fails, and says so by its result.
    const std::string page = dir_ + "\\no-such-terms.html";
    EXPECT_FALSE(OpenAddressForUser(page.c_str(), false, shell));
    EXPECT_TRUE(log.Has("OpenBrowserWindow( " + page + " )")) << log.Text();
    EXPECT_TRUE(shell.Requests().empty());

    // A program that cannot be started is reported, not thrown.
    const std::string missing = folder_ + "\\Gone.exe";
    EXPECT_FALSE(StartProgramForUser(missing.c_str(), folder_.c_str(), false, shell));
    EXPECT_NE(log.Text().find("'" + missing + "' could not be started (error "), std::string::npos) << log.Text();
}

TEST_F(UserStart, AnElevatedRunOpensTheLicenceTermsThroughTheDesktopShellOrItselfWithout) {
    StandInDesktopShell shell;
    CapturedLog log(dir_);
    const std::string address = "https://www.morvandite.com/REDIRECTOR/pt-BR/_/help_tos";
    EXPECT_TRUE(OpenAddressForUser(address.c_str(), true, shell));
    const std::vector<StandInDesktopShell::Request> asked = shell.Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].file, address);
    EXPECT_EQ(asked[0].arguments, "");
    EXPECT_EQ(asked[0].folder, "");
    EXPECT_TRUE(log.Has("Started through the desktop's shell, as the desktop's user, not elevated: '" + address +
                        "'"));
    EXPECT_EQ(log.Text().find("OpenBrowserWindow("), std::string::npos) << "opened twice";

    // No desktop shell: the installer's own call, with the old log line.
    // (A file address, so that no browser of the machine is started.)
    StandInDesktopShell absent(false);
    const std::string page = dir_ + "\\no-such-terms.html";
    EXPECT_FALSE(OpenAddressForUser(page.c_str(), true, absent));
    EXPECT_EQ(absent.Requests().size(), 1u);
    EXPECT_TRUE(log.Has("Started by the installer itself, elevated, as the desktop's shell does not answer: a "
                        "stand-in without a desktop: '" + page + "'"));
    EXPECT_TRUE(log.Has("OpenBrowserWindow( " + page + " )")) << log.Text();
}

// Wine's desktop answers FindWindowSW(SWC_DESKTOP) and carries out
// IShellDispatch2::ShellExecute in its own process, as Windows' does.
TEST_F(UserStart, TheDesktopsRealShellStartsTheProgramWithItsArgumentsInItsFolder) {
    const ComInitialization com;
    ASSERT_TRUE(com.succeeded());
    // The shell's environment is not this test's: the program writes beside itself.
    const std::string beside = program_ + ".record";
    WriteWholeFile(beside, "");
    ExplorerDesktopShell shell;
    PString why;
    const std::string arguments = "/u:Morvandite \"two words\"";
    ASSERT_TRUE(shell.Open(program_.c_str(), arguments.c_str(), folder_.c_str(), why)) << why.text();
    EXPECT_TRUE(why.empty());
    const std::vector<std::string> lines = RecordOf(beside);
    ASSERT_EQ(lines.size(), 5u) << ReadWholeFileOrEmpty(beside);
    EXPECT_EQ(lines[0], "module=" + program_);
    EXPECT_EQ(lines[2], "arg=/u:Morvandite");
    EXPECT_EQ(lines[3], "arg=two words");
    EXPECT_EQ(lines[4], "folder=" + folder_);
}

}  // namespace
