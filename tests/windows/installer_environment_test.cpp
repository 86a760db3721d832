// Wine detection and the default folders, against the test prefix's own
// registry and file system. Every change to the prefix is undone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "environment.h"
#include "pencoding.h"
#include "psyscalls.h"

namespace {

const char kFonts[] = "SOFTWARE\\Wine\\Fonts";
const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// Registry values of the prefix: read (false when absent), write, delete.
bool GetValue(HKEY root, const char* key, const char* name, std::string& value) {
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return false;
    char data[MAX_PATH] = "";
    DWORD size = sizeof data - 1;
    LONG rc = RegQueryValueExA(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(h);
    value = data;
    return rc == ERROR_SUCCESS;
}

void SetValue(HKEY root, const char* key, const char* name, const std::string& value) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(h);
}

void DeleteValue(HKEY root, const char* key, const char* name) {
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        RegDeleteValueA(h, name);
        RegCloseKey(h);
    }
}

class WineDetection : public ::testing::Test {
protected:
    void SetUp() override {
        SetWideApiMode(0);
        char windows[MAX_PATH];
        ASSERT_TRUE(GetWindowsDirectoryA(windows, sizeof windows));
        wineInf_ = std::string(windows) + "\\inf\\wine.inf";
        // The prefix must start without evidence, or the results below mean nothing.
        ASSERT_EQ(GetFileAttributesA(wineInf_.c_str()), INVALID_FILE_ATTRIBUTES);
        std::string value;
        ASSERT_FALSE(GetValue(HKEY_CURRENT_USER, kFonts, "Locale", value));
    }
    void TearDown() override {
        DeleteValue(HKEY_CURRENT_USER, kFonts, "Locale");
        DeleteFileA(wineInf_.c_str());
        SetWideApiMode(0);
    }
    static void SetLocaleValue(const std::string& value) { SetValue(HKEY_CURRENT_USER, kFonts, "Locale", value); }

    std::string wineInf_;
};

TEST_F(WineDetection, NoEvidenceMeansNoWineDespiteTheUnixFolders) {
    EXPECT_FALSE(DetectWine());
    SetLocaleValue(std::string(100, 'x'));  // 101 bytes with its terminator: too long to count
    EXPECT_FALSE(DetectWine());
    EXPECT_EQ(WideApiMode(), 0);
}

TEST_F(WineDetection, RegistryValueIsEvidenceAndSwitchesToAnsi) {
    SetLocaleValue("en_US.UTF-8");
    EXPECT_TRUE(DetectWine());
    EXPECT_EQ(WideApiMode(), -1);
    EXPECT_FALSE(UseWideApi());
}

TEST_F(WineDetection, WineFileIsEvidence) {
    HANDLE h = CreateFileA(wineInf_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(DetectWine());
    EXPECT_EQ(WideApiMode(), -1);
}

TEST_F(WineDetection, EvidenceWithoutAUnixFolderIsNotWine) {
    // As on Windows with Wine's files copied onto it.
    SetLocaleValue("en_US.UTF-8");
    const char* const missingBin[3] = {"/etc", "/morvandite-no-such-folder", "/usr"};
    const char* const fileForUsr[3] = {"/etc", "/bin", "/etc/passwd"};
    EXPECT_FALSE(DetectWine(missingBin));
    EXPECT_FALSE(DetectWine(fileForUsr));
    EXPECT_EQ(WideApiMode(), 0);
}

// ---- Default folders, in wide and in ANSI mode ----

class DefaultFolderTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { SetWideApiMode(GetParam()); }
    void TearDown() override { SetWideApiMode(0); }
};

bool EndsWith(const PString& text, const std::string& tail) {
    std::string s(text.text());
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_P(DefaultFolderTest, LocationShellFoldersAndCommonOnesOnlyForAdministrators) {
    std::string programFiles;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", programFiles));
    DefaultFolders user = FindDefaultFolders("Morvandite", false);
    EXPECT_EQ(std::string(user.installLocation.text()), programFiles + "\\Morvandite");
    EXPECT_FALSE(user.desktopFolder.empty());
    EXPECT_FALSE(user.startMenuFolder.empty());
    EXPECT_TRUE(EndsWith(user.programsFolder, "\\Programs"));
    EXPECT_TRUE(EndsWith(user.quickLaunchFolder, "\\Microsoft\\Internet Explorer\\Quick Launch"));
    EXPECT_TRUE(user.commonDesktopFolder.empty() && user.commonProgramsFolder.empty() &&
                user.commonStartMenuFolder.empty());

    DefaultFolders admin = FindDefaultFolders("Morvandite", true);
    EXPECT_FALSE(admin.commonDesktopFolder.empty() || admin.commonStartMenuFolder.empty());
    EXPECT_STRNE(admin.commonProgramsFolder.text(), admin.programsFolder.text());
}

TEST_P(DefaultFolderTest, ProductNameOutsideCodePage1252) {
    PString name;
    AppendCodePoint(name, 0x0422);
    AppendText(name, "est");
    DefaultFolders f = FindDefaultFolders(name.text(), false);
    PWString wide;
    ToWide(wide, f.installLocation.text(), &PStringXEncoding);
    wide.terminate();
    std::wstring location(wide.wide());
    EXPECT_EQ(location.substr(location.size() - 5), L"\\\x0422" L"est");
}

INSTANTIATE_TEST_SUITE_P(WideAndAnsi, DefaultFolderTest, ::testing::Values(1, -1));

TEST(DefaultFolders, EmptyOrAbsentProgramFilesValueFallsBack) {
    std::string saved;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", saved));
    SetValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", "");
    std::string empty = ProgramFilesFolder().text();
    DeleteValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir");
    std::string absent = ProgramFilesFolder().text();
    SetValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", saved);
    EXPECT_EQ(empty, "C:\\Program Files");
    EXPECT_EQ(absent, "C:\\Program Files");
}

}  // namespace
