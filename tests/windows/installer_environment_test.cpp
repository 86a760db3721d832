// Wine detection and the default folders, against the test prefix's own
// registry and file system. Every change to the prefix is undone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "environment.h"
#include "pencoding.h"
#include "psyscalls.h"

namespace {

// Restores the wide/ANSI override and removes the Wine evidence a test created.
class WineDetection : public ::testing::Test {
protected:
    void SetUp() override {
        SetWideApiMode(0);
        char windows[MAX_PATH];
        ASSERT_TRUE(GetWindowsDirectoryA(windows, sizeof windows));
        wineInf_ = std::string(windows) + "\\inf\\wine.inf";
        // The prefix must start without evidence, or every result below is meaningless.
        ASSERT_EQ(GetFileAttributesA(wineInf_.c_str()), INVALID_FILE_ATTRIBUTES);
        ASSERT_FALSE(HasLocaleValue());
    }

    void TearDown() override {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Wine\\Fonts", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "Locale");
            RegCloseKey(key);
        }
        DeleteFileA(wineInf_.c_str());
        SetWideApiMode(0);
    }

    static bool HasLocaleValue() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Wine\\Fonts", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        LONG rc = RegQueryValueExA(key, "Locale", nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }

    static void SetLocaleValue(const std::string& value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Wine\\Fonts", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Locale", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 DWORD(value.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    std::string wineInf_;
};

TEST_F(WineDetection, NoEvidenceMeansNoWineDespiteTheUnixFolders) {
    EXPECT_FALSE(DetectWine());
    EXPECT_EQ(WideApiMode(), 0);
}

TEST_F(WineDetection, RegistryValueIsEvidenceAndSwitchesToAnsi) {
    SetLocaleValue("en_US.UTF-8");
    EXPECT_TRUE(DetectWine());
    EXPECT_EQ(WideApiMode(), -1);
    EXPECT_FALSE(UseWideApi());
}

TEST_F(WineDetection, ValueTooLongForItsBufferIsNoEvidence) {
    SetLocaleValue(std::string(100, 'x'));  // 101 bytes with the terminator
    EXPECT_FALSE(DetectWine());
    EXPECT_EQ(WideApiMode(), 0);
}

TEST_F(WineDetection, WineFileIsEvidence) {
    HANDLE h = CreateFileA(wineInf_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(DetectWine());
    EXPECT_EQ(WideApiMode(), -1);
}

TEST_F(WineDetection, EvidenceWithoutTheUnixFoldersIsNotWine) {
    // As on Windows with Wine's files copied onto it: the evidence is there,
    // a Unix folder is not.
    SetLocaleValue("en_US.UTF-8");
    const char* const missingBin[3] = {"/etc", "/morvandite-no-such-folder", "/usr"};
    EXPECT_FALSE(DetectWine(missingBin));
    EXPECT_EQ(WideApiMode(), 0);
    // A regular file where a folder must be does not count either.
    const char* const fileForUsr[3] = {"/etc", "/bin", "/etc/passwd"};
    EXPECT_FALSE(DetectWine(fileForUsr));
    EXPECT_EQ(WideApiMode(), 0);
    const char* const all[3] = {"/etc", "/bin", "/usr"};
    EXPECT_TRUE(DetectWine(all));
}

// ---- Default folders ----

class DefaultFolderTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { SetWideApiMode(GetParam()); }
    void TearDown() override { SetWideApiMode(0); }
};

bool EndsWith(const char* text, const std::string& tail) {
    std::string s(text);
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_P(DefaultFolderTest, InstallLocationIsUnderProgramFiles) {
    char programFiles[MAX_PATH];
    DWORD size = sizeof programFiles;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                            &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(programFiles), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(ProgramFilesFolder().text(), programFiles);
    DefaultFolders f = FindDefaultFolders("Morvandite", false);
    EXPECT_EQ(std::string(f.installLocation.text()), std::string(programFiles) + "\\Morvandite");
}

TEST_P(DefaultFolderTest, ShellFoldersAndCommonOnesOnlyForAdministrators) {
    DefaultFolders user = FindDefaultFolders("Morvandite", false);
    EXPECT_FALSE(user.desktopFolder.empty());
    EXPECT_FALSE(user.programsFolder.empty());
    EXPECT_FALSE(user.startMenuFolder.empty());
    EXPECT_TRUE(EndsWith(user.programsFolder.text(), "\\Programs"));
    EXPECT_TRUE(user.commonDesktopFolder.empty());
    EXPECT_TRUE(user.commonProgramsFolder.empty());
    EXPECT_TRUE(user.commonStartMenuFolder.empty());
    EXPECT_TRUE(EndsWith(user.quickLaunchFolder.text(), "\\Microsoft\\Internet Explorer\\Quick Launch"));
    EXPECT_GT(user.quickLaunchFolder.length(), std::string("\\Microsoft\\Internet Explorer\\Quick Launch").size());

    DefaultFolders admin = FindDefaultFolders("Morvandite", true);
    EXPECT_FALSE(admin.commonDesktopFolder.empty());
    EXPECT_FALSE(admin.commonProgramsFolder.empty());
    EXPECT_FALSE(admin.commonStartMenuFolder.empty());
    EXPECT_STRNE(admin.commonProgramsFolder.text(), admin.programsFolder.text());
}

TEST_P(DefaultFolderTest, ProductNameOutsideCodePage1252StaysOneText) {
    // A PStringX product name in the UTF-8 form: the location switches form once.
    PString name;
    AppendCodePoint(name, 0x0422);
    AppendText(name, "est");
    DefaultFolders f = FindDefaultFolders(name.text(), false);
    ASSERT_TRUE(IsPStringXUtf8(f.installLocation.text()));
    PWString wide;
    ToWide(wide, f.installLocation.text(), &PStringXEncoding);
    wide.terminate();
    std::wstring location(wide.wide());
    EXPECT_EQ(location.substr(location.size() - 5), L"\\\x0422" L"est");
}

INSTANTIATE_TEST_SUITE_P(WideAndAnsi, DefaultFolderTest, ::testing::Values(1, -1));

TEST(DefaultFolders, AbsentProgramFilesValueFallsBack) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    char saved[MAX_PATH];
    DWORD size = sizeof saved;
    ASSERT_EQ(RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(saved), &size),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_SUCCESS);
    std::string empty = ProgramFilesFolder().text();
    RegDeleteValueA(key, "ProgramFilesDir");
    std::string absent = ProgramFilesFolder().text();
    RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved), size);
    RegCloseKey(key);
    EXPECT_EQ(empty, "C:\\Program Files");
    EXPECT_EQ(absent, "C:\\Program Files");
}

}  // namespace
