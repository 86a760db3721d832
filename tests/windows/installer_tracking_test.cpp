// The tracking block read by the installer under Windows: from a file named
// by a PStringX path with the three log lines, and from the running
// program's own file once it has been stamped.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "helpers/captured_log.h"
#include "pencoding.h"
#include "test_paths.h"
#include "tracking.h"

namespace {

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s.push_back(char(uint8_t(v >> (8 * i))));
    return s;
}

std::string Trailer(uint32_t distance, uint32_t length) {
    return Le32(distance) + Le32(length) + Le32(kTrackingMagic);
}

class TrackingFromFile : public ::testing::Test {
protected:
    void SetUp() override { dir_ = ScratchFolder("installer-tracking"); }

    // Reads the file with the given bytes; the log lines it wrote come back.
    std::string ReadFrom(const std::string& bytes, TrackingInfo& info) {
        std::string path = dir_ + "\\setup.exe";
        WriteWholeFile(path, bytes);
        CapturedLog log(dir_);
        ReadTrackingInformationFrom(path.c_str(), info);
        return log.Text();
    }

    std::string dir_;
};

TEST_F(TrackingFromFile, DistanceOutsideItsRangeIsNoTracking) {
    std::string pad(4000, 'P');
    for (uint32_t d : {0u, 1025u}) {
        TrackingInfo info;
        info.themeId = "kept";
        std::string log = ReadFrom(pad + Trailer(d, 0), info);
        EXPECT_NE(log.find("\nNo tInfo found.\r\n"), std::string::npos) << d;
        EXPECT_STREQ(info.trackingInfo.text(), "") << d;
        EXPECT_STREQ(info.themeId.text(), "kept") << d;
    }
}

TEST_F(TrackingFromFile, LargestDistanceIsAccepted) {
    std::string block = StampTrackingBlock(std::string(3000, 'P'), "THM=far\n");
    // Move the block to the farthest place the rule allows: 1,024 bytes before the end.
    std::string text = block.substr(3000, block.size() - 3000 - 12);
    std::string file = std::string(3000, 'P') + text + std::string(1024 - 12 - text.size(), 'z') +
                       Trailer(1024, uint32_t(text.size()));
    TrackingInfo info;
    std::string log = ReadFrom(file, info);
    EXPECT_EQ(log.find("tInfo"), std::string::npos);
    EXPECT_STREQ(info.themeId.text(), "far");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nTHM=far\n");
}

TEST_F(TrackingFromFile, BlockLongerThanTheFileIsAReadError) {
    TrackingInfo info;
    std::string log = ReadFrom(std::string(20, 'x') + Trailer(30, 200), info);
    EXPECT_NE(log.find("\ntInfo read error.\r\n"), std::string::npos);
    EXPECT_STREQ(info.trackingInfo.text(), "");
}

TEST_F(TrackingFromFile, MissingFileIsLogged) {
    CapturedLog log(dir_);
    TrackingInfo info;
    ReadTrackingInformationFrom((dir_ + "\\absent.exe").c_str(), info);
    EXPECT_TRUE(log.Has("Error in reading file for tInfo"));
    EXPECT_STREQ(info.trackingInfo.text(), "");
}

TEST_F(TrackingFromFile, PathOutsideTheAnsiCodePageIsOpened) {
    // "Трекинг" as a PStringX path (marker and UTF-8).
    const wchar_t wideFolder[] = L"\x0422\x0440\x0435\x043A\x0438\x043D\x0433";
    std::wstring folder = std::wstring(dir_.begin(), dir_.end()) + L"\\" + wideFolder;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring file = folder + L"\\setup.exe";
    std::string stamped = StampTrackingBlock(std::string(100, 'P'), "TSL=ru\nSRC=x\n");
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, stamped.data(), DWORD(stamped.size()), &written, nullptr);
    CloseHandle(h);

    PString path;
    FromWide(path, file.c_str(), &PStringXEncoding);
    ASSERT_TRUE(IsPStringXUtf8(path.text()));
    TrackingInfo info;
    ReadTrackingInformationFrom(path.text(), info);
    EXPECT_STREQ(info.localeCode.text(), "ru");
    EXPECT_STREQ(info.trackingInfo.text(), "[TInfo]\nTSL=ru\nSRC=x\n");
}

// ---- The running program's own file ----

class OwnFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ScratchFolder("installer-tracking-self");
        probe_ = ReadWholeFile(BinaryPath("bin\\tracking_probe.exe"));
    }

    // Runs a copy of the probe made of these bytes; its findings, split at zeros.
    std::vector<std::string> RunProbe(const std::string& bytes) {
        std::string exe = dir_ + "\\MorvanditeInstall.exe";
        std::string out = dir_ + "\\found.bin";
        WriteWholeFile(exe, bytes);
        DeleteFileA(out.c_str());
        std::string commandLine = "\"" + exe + "\" \"" + out + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        EXPECT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                   &pi));
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_EQ(code, 0u);
        std::string found = ReadWholeFile(out);
        std::vector<std::string> parts;
        size_t start = 0, zero;
        while ((zero = found.find('\0', start)) != std::string::npos) {
            parts.push_back(found.substr(start, zero - start));
            start = zero + 1;
        }
        return parts;
    }

    std::string dir_;
    std::string probe_;
};

TEST_F(OwnFile, UnstampedInstallerHasNoTracking) {
    EXPECT_EQ(RunProbe(probe_), (std::vector<std::string>{"", "", ""}));
}

TEST_F(OwnFile, StampedInstallerReadsItsOwnBlock) {
    // What tinfo stamp writes, and a second stamp replacing the first.
    std::string once = StampTrackingBlock(probe_, TrackingTextFromLines("SRC=first\r\n"));
    std::string twice = StampTrackingBlock(once, TrackingTextFromLines("SRC=aff42\r\nthm=night\r\nITS=1\r\nTSL=de\r\n"));
    EXPECT_EQ(RunProbe(twice),
              (std::vector<std::string>{"[TInfo]\nSRC=aff42\nthm=night\nTSL=de\n", "night", "de"}));
}

}  // namespace
