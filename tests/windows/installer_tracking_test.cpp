// The tracking block as the installer reads it under Windows: the log lines,
// a path outside the ANSI code page, and the running program's own file once
// a copy of it has been stamped (tracking_probe.exe reports what it found).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "helpers/captured_log.h"
#include "pencoding.h"
#include "test_paths.h"
#include "tracking.h"

namespace {

std::string Trailer(uint32_t distance, uint32_t length) {
    std::string s;
    for (uint32_t v : {distance, length, kTrackingMagic})
        for (int i = 0; i < 4; ++i)
            s.push_back(char(uint8_t(v >> (8 * i))));
    return s;
}

TEST(TrackingInformation, EachProblemIsLoggedAndLeavesNoTracking) {
    std::string dir = ScratchFolder("installer-tracking");
    struct {
        std::string bytes, line;
    } cases[] = {{std::string(4000, 'P') + Trailer(1025, 0), "No tInfo found."},
                 {std::string(20, 'x') + Trailer(30, 200), "tInfo read error."},
                 {"", "Error in reading file for tInfo"}};
    for (const auto& c : cases) {
        std::string path = dir + (c.bytes.empty() ? "\\absent.exe" : "\\setup.exe");
        if (!c.bytes.empty())
            WriteWholeFile(path, c.bytes);
        CapturedLog log(dir);
        TrackingInfo info;
        info.themeId = "kept";
        ReadTrackingInformationFrom(path.c_str(), info);
        EXPECT_TRUE(log.Has(c.line)) << c.line;
        EXPECT_STREQ(info.trackingInfo.text(), "");
        EXPECT_STREQ(info.themeId.text(), "kept");
    }
}

TEST(TrackingInformation, PathOutsideTheAnsiCodePage) {
    std::string dir = ScratchFolder("installer-tracking");
    std::wstring file = std::wstring(dir.begin(), dir.end()) + L"\\\x0422\x0440\x0435\x043A.exe";
    std::string stamped = StampTrackingBlock(std::string(100, 'P'), "TSL=ru\nSRC=x\n");
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, stamped.data(), DWORD(stamped.size()), &written, nullptr);
    CloseHandle(h);
    PString path;
    FromWide(path, file.c_str(), &PStringXEncoding);
    TrackingInfo info;
    ReadTrackingInformationFrom(path.text(), info);
    EXPECT_STREQ(info.localeCode.text(), "ru");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nTSL=ru\nSRC=x\n");
}

// Runs a copy of the probe made of these bytes; its findings, split at zeros.
std::vector<std::string> RunProbe(const std::string& bytes) {
    std::string dir = ScratchFolder("installer-tracking-self");
    std::string exe = dir + "\\MorvanditeInstall.exe", out = dir + "\\found.bin";
    WriteWholeFile(exe, bytes);
    std::string commandLine = "\"" + exe + "\" \"" + out + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string found = ReadWholeFile(out);
    std::vector<std::string> parts;
    for (size_t start = 0, zero; (zero = found.find('\0', start)) != std::string::npos; start = zero + 1)
        parts.push_back(found.substr(start, zero - start));
    return parts;
}

TEST(TrackingInformation, InstallerReadsTheBlockStampedOntoItsOwnFile) {
    std::string probe = ReadWholeFile(BinaryPath("bin\\tracking_probe.exe"));
    EXPECT_EQ(RunProbe(probe), (std::vector<std::string>{"", "", ""}));
    // What tinfo stamp writes, twice: the second block replaces the first.
    std::string once = StampTrackingBlock(probe, TrackingTextFromLines("SRC=first\r\n"));
    std::string twice = StampTrackingBlock(once, TrackingTextFromLines("SRC=aff42\r\nthm=night\r\nITS=1\r\nTSL=de\r\n"));
    EXPECT_EQ(RunProbe(twice), (std::vector<std::string>{"[TInfo]\nSRC=aff42\nthm=night\nTSL=de\n", "night", "de"}));
}

}  // namespace
