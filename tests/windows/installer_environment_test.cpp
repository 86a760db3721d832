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

// ---- Default folders ----

bool EndsWith(const PString& text, const std::string& tail) {
    std::string s(text.text());
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(DefaultFolders, LocationShellFoldersAndCommonOnesOnlyForAdministrators) {
    std::string programFiles;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", programFiles));
    PString name("Morvandite");
    AppendCodePoint(name, 0x0422);  // the UTF-8 form of PStringX
    for (int mode : {1, -1}) {
        SetWideApiMode(mode);
        DefaultFolders user = FindDefaultFolders(name.text(), false);
        DefaultFolders admin = FindDefaultFolders(name.text(), true);
        SetWideApiMode(0);
        PWString location;
        ToWide(location, user.installLocation.text(), &PStringXEncoding);
        location.terminate();
        EXPECT_EQ(std::wstring(location.wide()),
                  std::wstring(programFiles.begin(), programFiles.end()) + L"\\Morvandite\x0422");
        EXPECT_FALSE(user.desktopFolder.empty() || user.startMenuFolder.empty()) << mode;
        EXPECT_TRUE(EndsWith(user.programsFolder, "\\Programs")) << mode;
        EXPECT_TRUE(EndsWith(user.quickLaunchFolder, "\\Microsoft\\Internet Explorer\\Quick Launch")) << mode;
        EXPECT_TRUE(user.commonDesktopFolder.empty() && user.commonProgramsFolder.empty() &&
                    user.commonStartMenuFolder.empty());
        EXPECT_FALSE(admin.commonDesktopFolder.empty() || admin.commonStartMenuFolder.empty()) << mode;
        EXPECT_STRNE(admin.commonProgramsFolder.text(), admin.programsFolder.text());
    }
}

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
