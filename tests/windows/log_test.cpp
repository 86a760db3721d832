// The process log under Windows: timestamps, line limits, the file schemes,
// the set-up lines, and writers on many threads while the log is closed.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "psyscalls.h"
#include "test_paths.h"

namespace {

PLog::Stamp g_now;
void FakeClock(PLog::Stamp& now) { now = g_now; }

// Each test runs on the fake clock and leaves no process log behind.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = PLog::Stamp{2024, 1, 31, 10, 0, 0};
        old_ = PLog::SetClock(&FakeClock);
    }
    void TearDown() override {
        CloseProcessLog();
        SetErrorCallback(nullptr);
        PLog::SetClock(old_);
    }
    PLog::Clock old_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            EXPECT_EQ(start, text.size()) << "text after the last CR LF";
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

TEST_F(LogTest, ThreeLinesInOneSecondShareOneTimestamp) {
    std::string path = ScratchFolder("log-stamps") + "\\Install.log";
    OpenProcessLog(new PLog(path.c_str(), 0, nullptr));
    LogLine("one");
    LogLine("two %d", 2);
    LogLine("three %s", "3");
    g_now.second = 1;
    LogLine("four");
    CloseProcessLog();

    std::vector<std::string> lines = Lines(ReadWholeFile(path));
    ASSERT_GE(lines.size(), 5u);
    std::vector<std::string> tail(lines.end() - 5, lines.end());
    EXPECT_EQ(lines.front(), "[2024/01/31 10:00:00]");
    EXPECT_EQ(tail, (std::vector<std::string>{"one", "two 2", "three 3", "[2024/01/31 10:00:01]", "four"}))
        << "tail";
    int stamps = 0;
    for (const std::string& l : lines)
        stamps += StartsWith(l, "[2024/");
    EXPECT_EQ(stamps, 2);
}

TEST_F(LogTest, SetUpLinesComeInOrderAfterTheFirstTimestamp) {
    std::string path = ScratchFolder("log-header") + "\\Install.log";
    OpenProcessLog(new PLog(path.c_str(), 0, nullptr));
    EXPECT_TRUE(IsLogOpen());
    CloseProcessLog();
    EXPECT_FALSE(IsLogOpen());

    std::vector<std::string> lines = Lines(ReadWholeFile(path));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "[2024/01/31 10:00:00]");
    EXPECT_EQ(lines[1], "VC++ __active_heap = 1");
    EXPECT_TRUE(StartsWith(lines[2], "HeapQueryInformation=")) << lines[2];
    EXPECT_TRUE(StartsWith(lines[3], "GetProcessAffinityMask=0x")) << lines[3];
    EXPECT_EQ(lines[4], "tryLock supported");
    EXPECT_EQ(lines[5], "PID=" + std::to_string(GetCurrentProcessId()));
    char base[32];
    std::snprintf(base, sizeof base, "BASEADDR=0x%p", static_cast<void*>(GetModuleHandleA(nullptr)));
    EXPECT_EQ(lines[6], base);
}

TEST_F(LogTest, OpeningAnExistingLogAppends) {
    std::string path = ScratchFolder("log-append") + "\\Install.log";
    WriteWholeFile(path, "[2024/01/30 09:00:00]\r\nearlier run\r\n");
    OpenProcessLog(new PLog(path.c_str(), 0, nullptr));
    LogLine("this run");
    CloseProcessLog();
    std::string text = ReadWholeFile(path);
    EXPECT_TRUE(StartsWith(text, "[2024/01/30 09:00:00]\r\nearlier run\r\n[2024/01/31 10:00:00]\r\nVC++")) << text;
    EXPECT_NE(text.find("\r\nthis run\r\n"), std::string::npos);
}

TEST_F(LogTest, LongLinesAreCutAt1024BytesIncludingThePrefix) {
    std::string dir = ScratchFolder("log-cut");
    std::string long2000(2000, 'y');

    std::string plain = dir + "\\plain.log";
    OpenProcessLog(new PLog(plain.c_str(), 0, nullptr));
    LogLine("%s", long2000.c_str());
    LogLine("%s", std::string(1024, 'z').c_str());
    LogLine("short");
    CloseProcessLog();
    std::vector<std::string> lines = Lines(ReadWholeFile(plain));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], std::string(1024, 'y'));
    EXPECT_EQ(lines[lines.size() - 2], std::string(1024, 'z'));
    EXPECT_EQ(lines.back(), "short");

    std::string prefixed = dir + "\\prefixed.log";
    uint32_t flags = PLog::kTimePrefix | PLog::kPidPrefix | PLog::kThreadIdPrefix;
    OpenProcessLog(new PLog(prefixed.c_str(), flags, nullptr));
    g_now.hour = 7;
    g_now.minute = 5;
    g_now.second = 9;
    LogLine("%s", long2000.c_str());
    CloseProcessLog();
    lines = Lines(ReadWholeFile(prefixed));
    std::string prefix = "07:05:09 PID=" + std::to_string(GetCurrentProcessId()) +
                         " THREADID=" + std::to_string(GetCurrentThreadId()) + " ";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), prefix + std::string(1024 - prefix.size(), 'y'));
    // With PID prefixes the "PID=" header line is left out.
    for (const std::string& l : lines)
        EXPECT_FALSE(StartsWith(l, "PID=")) << l;
}

TEST_F(LogTest, LinesWithoutAProcessLogAreDropped) {
    std::string path = ScratchFolder("log-none") + "\\Install.log";
    EXPECT_FALSE(IsLogOpen());
    LogLine("nobody hears this");
    OpenProcessLog(new PLog(path.c_str(), 0, nullptr));
    CloseProcessLog();
    LogLine("nor this");
    EXPECT_EQ(ReadWholeFile(path).find("this"), std::string::npos);
}

TEST_F(LogTest, TheMirrorGetsEveryLineWhateverTheProcessLogDoes) {
    std::string dir = ScratchFolder("log-mirror");
    std::string mirror = dir + "\\copy.log", first = dir + "\\first.log";
    OpenLogMirror(new PLog(mirror.c_str(), 0, nullptr));
    LogLine("before any log %d", 1);
    OpenProcessLog(new PLog(first.c_str(), 0, nullptr));
    LogLine("while both %s", "are open");
    CloseProcessLog();
    LogLine("after the close");
    OpenLogMirror(nullptr);
    LogLine("after the mirror");
    const std::string copy = ReadWholeFile(mirror), own = ReadWholeFile(first);
    EXPECT_NE(copy.find("before any log 1\r\n"), std::string::npos) << copy;
    EXPECT_NE(copy.find("while both are open\r\n"), std::string::npos) << copy;
    EXPECT_NE(copy.find("after the close\r\n"), std::string::npos) << copy;
    EXPECT_EQ(copy.find("after the mirror"), std::string::npos) << copy;
    // The set-up lines of the process log reach the copy too.
    EXPECT_NE(copy.find("PID="), std::string::npos) << copy;
    EXPECT_NE(own.find("while both are open\r\n"), std::string::npos) << own;
    EXPECT_EQ(own.find("before any log"), std::string::npos) << own;
    EXPECT_EQ(own.find("after the close"), std::string::npos) << own;
}

TEST_F(LogTest, ManyWritersWhileAnotherThreadClosesTheLog) {
    std::string dir = ScratchFolder("log-threads");
    const std::string payload(200, 'p');
    for (int round = 0; round < 10; ++round) {
        std::string path = dir + "\\round" + std::to_string(round) + ".log";
        OpenProcessLog(new PLog(path.c_str(), PLog::kThreadIdPrefix, nullptr));
        std::atomic<int> written{0};
        std::atomic<bool> stop{false};
        std::vector<std::thread> writers;
        for (int t = 0; t < 8; ++t)
            writers.emplace_back([&, t] {
                for (int i = 0; !stop; ++i) {
                    LogLine("T%d-%d %s", t, i, payload.c_str());
                    ++written;
                    if (i % 16 == 0)
                        std::this_thread::yield();
                }
            });
        std::thread closer([&] {
            while (written < 400)
                std::this_thread::yield();
            CloseProcessLog();
        });
        closer.join();
        // Writers go on for a while with no log at all.
        int after = written + 400;
        while (written < after)
            std::this_thread::yield();
        stop = true;
        for (std::thread& w : writers)
            w.join();

        int lines = 0;
        for (const std::string& line : Lines(ReadWholeFile(path))) {
            if (line.empty() || line[0] == '[' || line.find("THREADID=") != 0)
                continue;
            size_t space = line.find(' ', 9);
            ASSERT_NE(space, std::string::npos) << line;
            std::string text = line.substr(space + 1);
            if (text[0] != 'T')
                continue;  // the set-up lines carry the prefix too
            ASSERT_EQ(text.substr(text.find(' ') + 1), payload) << "torn line: " << line;
            ++lines;
        }
        // Every call that returned before the close was written whole.
        EXPECT_GE(lines, 400) << "round " << round;
        EXPECT_LE(lines, written.load());
    }
}

TEST_F(LogTest, DailyFilesChangeAtMidnightAndRepeatTheHeader) {
    std::string base = ScratchFolder("log-daily") + "\\client";
    g_now = PLog::Stamp{2024, 1, 31, 23, 59, 59};
    OpenProcessLog(new PLog(base.c_str(), PLog::kDaily, nullptr));
    LogLine("before midnight");
    g_now = PLog::Stamp{2024, 2, 1, 0, 0, 1};
    LogLine("after midnight");
    CloseProcessLog();

    std::vector<std::string> first = Lines(ReadWholeFile(base + ".20240131"));
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), "[2024/01/31 23:59:59]");
    EXPECT_EQ(first.back(), "before midnight");

    std::vector<std::string> second = Lines(ReadWholeFile(base + ".20240201"));
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(second[0], "[2024/02/01 00:00:01]");
    EXPECT_EQ(second[1], "PID=" + std::to_string(GetCurrentProcessId()));
    EXPECT_TRUE(StartsWith(second[2], "BASEADDR=0x"));
    EXPECT_EQ(second[3], "after midnight");
}

TEST_F(LogTest, RotatingSchemeKeepsTodayAndMovesYesterdayAside) {
    std::string base = ScratchFolder("log-rotating") + "\\client";
    WriteWholeFile(base + ".0", "[2024/01/30 22:00:00]\r\nyesterday\r\n");
    WriteWholeFile(base + ".1", "the day before\r\n");

    OpenProcessLog(new PLog(base.c_str(), PLog::kDailyRotating, nullptr));
    LogLine("first today");
    CloseProcessLog();
    EXPECT_EQ(ReadWholeFile(base + ".1"), "[2024/01/30 22:00:00]\r\nyesterday\r\n");
    std::string today = ReadWholeFile(base + ".0");
    EXPECT_TRUE(StartsWith(today, "[2024/01/31 10:00:00]\r\n")) << today;

    // Stamped today: appended to, nothing rotated.
    g_now.hour = 11;
    OpenProcessLog(new PLog(base.c_str(), PLog::kDailyRotating, nullptr));
    LogLine("second today");
    g_now = PLog::Stamp{2024, 2, 1, 0, 0, 0};
    LogLine("tomorrow");
    CloseProcessLog();
    std::string yesterday = ReadWholeFile(base + ".1");
    EXPECT_TRUE(StartsWith(yesterday, today)) << "today's file continued, then moved aside";
    EXPECT_NE(yesterday.find("second today"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(base + ".0"), "[2024/02/01 00:00:00]\r\ntomorrow\r\n");
}

TEST_F(LogTest, RotateAtStartBeginsAnEmptyFile) {
    std::string base = ScratchFolder("log-rotate") + "\\client";
    WriteWholeFile(base + ".0", "previous\r\n");
    WriteWholeFile(base + ".1", "older\r\n");
    {
        PLog log(base.c_str(), PLog::kRotateAtStart, nullptr);
        EXPECT_STREQ(log.fileName(), (base + ".0").c_str());
        EXPECT_EQ(ReadWholeFile(base + ".0"), "");
        log.Line("fresh");
    }
    EXPECT_EQ(ReadWholeFile(base + ".1"), "previous\r\n");
    EXPECT_EQ(ReadWholeFile(base + ".0"), "[2024/01/31 10:00:00]\r\nfresh\r\n");

    // Rotation ignores what is missing.
    std::string lone = ScratchFolder("log-rotate-none") + "\\x";
    RotateLog(lone.c_str(), nullptr);
    EXPECT_FALSE(PathExists(lone + ".1"));
}

TEST_F(LogTest, ErrorCallbackFlagLogsEveryErrorBuilt) {
    std::string path = ScratchFolder("log-errors") + "\\Install.log";
    OpenProcessLog(new PLog(path.c_str(), PLog::kErrorCallback, nullptr));
    PInternalError e("disk on fire");
    PInternalError copy(e);
    CloseProcessLog();
    std::string text = ReadWholeFile(path);
    size_t at = text.find("PError( 'disk on fire' )\r\n");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find("PError(", at + 1), std::string::npos) << "copies are not reported";
}

TEST_F(LogTest, FailedNewNamesTheBytesAskedFor) {
    std::string path = ScratchFolder("log-new") + "\\Install.log";
    OpenProcessLog(new PLog(path.c_str(), 0, nullptr));
    volatile size_t huge = 0x7FFFFFF0;
    try {
        char* p = new char[huge];
        p[0] = 1;
        delete[] p;
        FAIL() << "a 2 GB allocation succeeded";
    } catch (const PSystemMemoryError& e) {
        EXPECT_STREQ(e.why(), "'new', number of bytes requested: 0x7FFFFFF0");
    }
}

TEST_F(LogTest, NonAsciiLogNameGoesThroughTheEncoding) {
    std::string dir = ScratchFolder("log-unicode");
    PString name;
    AppendText(name, dir.c_str());
    AppendText(name, "\\");
    for (uint32_t c : {0x0416u, 0x65E5u, 0x00E9u})  // Cyrillic Zhe, CJK "day", e acute
        AppendCodePoint(name, c);
    AppendText(name, ".log");
    OpenProcessLog(new PLog(name.text(), 0, &PStringXEncoding));
    LogLine("hello");
    CloseProcessLog();
    std::wstring wide(dir.begin(), dir.end());
    wide += L"\\\x0416\x65E5\x00E9.log";
    FILE* f = _wfopen(wide.c_str(), L"rb");
    ASSERT_NE(f, nullptr);
    char buf[512] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_NE(std::string(buf, n).find("\r\nhello\r\n"), std::string::npos);
}

TEST_F(LogTest, LogWithoutFileWritesNothingAndDoesNotFail) {
    OpenProcessLog(new PLog(nullptr, 0, nullptr));
    EXPECT_TRUE(IsLogOpen());
    LogLine("into the void");
    CloseProcessLog();
    PLog unopenable("Q:\\no\\such\\drive\\x.log", 0, nullptr);
    EXPECT_FALSE(unopenable.hasFile());
    unopenable.Line("lost");
}

}  // namespace
