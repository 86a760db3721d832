// The running-copy check against stand-in clients (instance_holder.exe): one
// that holds the mutex, one that shows a window of the class. The question is
// answered by the test, and once through the real skinned box.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "environment.h"
#include "helpers/recorded_questions.h"
#include "mymsgbox.h"
#include "ppmsg.h"
#include "test_paths.h"

namespace {

// A stand-in client process, terminated when the object goes.
class StandIn {
public:
    StandIn(const char* mode, const std::string& name) {
        std::string event = "MorvanditeTestReady" + std::to_string(GetCurrentProcessId());
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        std::string exe = BinaryPath("bin\\instance_holder.exe");
        std::string commandLine = "\"" + exe + "\" " + mode + " " + name + " " + event;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        started_ = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                  &process_) != 0;
        // The stand-in signals once it holds what it was asked to; give up if it ends first.
        HANDLE waitFor[2] = {ready, process_.hProcess};
        ready_ = started_ && WaitForMultipleObjects(2, waitFor, FALSE, 30000) == WAIT_OBJECT_0;
        CloseHandle(ready);
    }
    ~StandIn() { End(); }

    bool Ready() const { return ready_; }
    void End() {
        if (!started_)
            return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        started_ = false;
    }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
    bool ready_ = false;
};

class RunningInstance : public ::testing::Test, public QuestionRecorder {
protected:
    static void SetUpTestSuite() { LoadMessageTable(); }
    static void TearDownTestSuite() { FreeMessageTable(); }

    void SetUp() override {
        className_ = "MorvanditeTestLobby" + std::to_string(GetCurrentProcessId()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    std::string className_;
};

TEST_F(RunningInstance, NothingRunningPassesAtOnce) {
    EXPECT_FALSE(InstanceRunning(className_.c_str()));
    EXPECT_EQ(CheckRunningInstance(className_.c_str(), "Morvandite", Answering({7})), 0);
    EXPECT_TRUE(asked.empty());
    // The check let go of the mutex it tried.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, className_.c_str());
    EXPECT_NE(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(mutex);
    // No class configured: nothing to look for.
    EXPECT_FALSE(InstanceRunning(""));
    EXPECT_FALSE(InstanceRunning(nullptr));
}

TEST_F(RunningInstance, MutexHolderWithoutAWindowIsRunningAndAbortStops) {
    StandIn client("--mutex", className_);
    ASSERT_TRUE(client.Ready());
    EXPECT_TRUE(InstanceRunning(className_.c_str()));
    EXPECT_EQ(CheckRunningInstance(className_.c_str(), "Morvandite", Answering({7})), 1);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "Installing Morvandite");
    EXPECT_EQ(asked[0].text.rfind("The Morvandite installer has detected that you are currently running another "
                                   "version of Morvandite software.",
                                   0),
              0u)
        << asked[0].text;
    EXPECT_EQ(asked[0].first, "Retry");
    EXPECT_EQ(asked[0].second, "Abort");
    EXPECT_TRUE(InstanceRunning(className_.c_str()));  // the check took nothing from the holder
}

TEST_F(RunningInstance, WindowOfTheClassIsRunning) {
    StandIn client("--window", className_);
    ASSERT_TRUE(client.Ready());
    EXPECT_TRUE(InstanceRunning(className_.c_str()));
}

TEST_F(RunningInstance, RetryOnceTheClientHasEndedGoesOn) {
    StandIn client("--mutex", className_);
    ASSERT_TRUE(client.Ready());
    EXPECT_EQ(CheckRunningInstance(className_.c_str(), "Morvandite", Answering({6}, [&] { client.End(); })), 0);
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(RunningInstance, ClosingTheBoxAsksAgainButNoAnswerStops) {
    StandIn client("--mutex", className_);
    ASSERT_TRUE(client.Ready());
    EXPECT_EQ(CheckRunningInstance(className_.c_str(), "Morvandite", Answering({8, 6, 7})), 1);
    EXPECT_EQ(asked.size(), 3u);
    // No answer (no box, or the application quitting) must not ask for ever.
    asked.clear();
    EXPECT_EQ(CheckRunningInstance(className_.c_str(), "Morvandite", Answering({0})), 1);
    EXPECT_EQ(asked.size(), 1u);
}

// The real box, answered by a thread that finds it and presses its buttons.
TEST_F(RunningInstance, SkinnedBoxRetryThenAbort) {
    StandIn client("--mutex", className_);
    ASSERT_TRUE(client.Ready());
    std::vector<std::string> captions;
    std::thread answerer([&] {
        for (WPARAM button : {WPARAM(MyMsgBox::kFirstButtonId), WPARAM(MyMsgBox::kSecondButtonId)}) {
            HWND box = nullptr;
            for (int i = 0; i < 1500 && !box; ++i) {
                box = FindWindowW(L"MyMsgBox", nullptr);
                if (!box)
                    Sleep(20);
            }
            if (!box)
                return;
            char caption[200] = "";
            GetWindowTextA(box, caption, sizeof caption);
            captions.push_back(caption);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            // Wait for this box to go before looking for the next one.
            for (int i = 0; i < 1500 && IsWindow(box); ++i)
                Sleep(20);
        }
    });
    MessageBoxLook look;
    int result = CheckRunningInstance(className_.c_str(), "Morvandite", SkinnedQuestionBox(look));
    answerer.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(captions, (std::vector<std::string>{"Installing Morvandite", "Installing Morvandite"}));
}

}  // namespace
