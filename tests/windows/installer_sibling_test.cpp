// Removal of installed sibling brands: the uninstall entry's form, the
// question, and the run of a copied stand-in uninstaller (record_args.exe,
// which writes down how it was started).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "buildvariant.h"
#include "environment.h"
#include "helpers/recorded_questions.h"
#include "pencoding.h"
#include "ppmsg.h"
#include "sharednames.h"
#include "test_paths.h"

namespace {

const std::string kRoot = SharedNames::kUninstallRoot.narrow;
const char kKey[] = "Morvandite Test Sibling";

class SiblingRemoval : public ::testing::Test, public QuestionRecorder {
protected:
    static void SetUpTestSuite() { LoadMessageTable(); }
    static void TearDownTestSuite() { FreeMessageTable(); }

    void SetUp() override {
        dir_ = ScratchFolder("installer-sibling");
        record_ = dir_ + "\\record.txt";
        SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", record_.c_str());
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        copy_ = std::string(temp) + "_unps.exe";
        DeleteFileA(copy_.c_str());
        for (const char* key : {kKey, "Morvandite.orba", "Tavel Card Club", "Brenn Sports Cards"})
            ASSERT_FALSE(KeyExists(key)) << key;
        BuildOptions::clear();
    }

    void TearDown() override {
        for (const std::string& key : created_)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kRoot + key).c_str());
        SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", nullptr);
        DeleteFileA(copy_.c_str());
        BuildOptions::clear();
    }

    static bool KeyExists(const std::string& key) {
        HKEY h;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kRoot + key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }

    void Register(const std::string& key, const std::wstring& uninstallString) {
        HKEY h;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kRoot + key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                                  nullptr),
                  ERROR_SUCCESS);
        created_.push_back(key);
        RegSetValueExW(h, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(uninstallString.c_str()),
                       DWORD((uninstallString.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
    void Register(const std::string& key, const std::string& uninstallString) {
        Register(key, std::wstring(uninstallString.begin(), uninstallString.end()));
    }

    // A copy of the stand-in uninstaller in a folder of the scratch folder.
    std::wstring Uninstaller(const std::wstring& folder) {
        std::wstring dir = std::wstring(dir_.begin(), dir_.end()) + L"\\" + folder;
        CreateDirectoryW(dir.c_str(), nullptr);
        std::wstring path = dir + L"\\uninstall.exe";
        std::string source = BinaryPath("bin\\record_args.exe");
        EXPECT_TRUE(CopyFileW(std::wstring(source.begin(), source.end()).c_str(), path.c_str(), FALSE));
        return path;
    }

    static std::wstring EntryFor(const std::wstring& path, const std::string& key) {
        return L"\"" + path + L"\" /u:" + std::wstring(key.begin(), key.end());
    }

    std::vector<std::string> Recorded() {
        std::vector<std::string> lines;
        if (GetFileAttributesA(record_.c_str()) == INVALID_FILE_ATTRIBUTES)
            return lines;
        std::string text = ReadWholeFile(record_);
        size_t start = 0, eol;
        while ((eol = text.find('\n', start)) != std::string::npos) {
            lines.push_back(text.substr(start, eol - start));
            start = eol + 1;
        }
        return lines;
    }

    std::string dir_, record_, copy_;
    std::vector<std::string> created_;
};

TEST_F(SiblingRemoval, UnusableEntriesAreNeitherOfferedNorRun) {
    PString path;
    EXPECT_FALSE(SiblingUninstaller(kKey, path));  // no key at all
    std::string exe = "C:\\Brand\\uninstall.exe";
    for (const std::string& value : {std::string("x"), std::string(), "\"" + exe + "\" /u:Another Key",
                                     exe + " /u:" + kKey, "\"\" /u:" + std::string(kKey), "\"" + exe + "\""}) {
        Register(kKey, value);
        EXPECT_FALSE(SiblingUninstaller(kKey, path)) << value;
        EXPECT_FALSE(OfferSiblingRemoval(kKey, "Brand", "Morvandite", "Morvandite", Answering({6}))) << value;
        RunSiblingUninstaller(kKey);
    }
    EXPECT_TRUE(asked.empty());
    // Well formed, but the uninstaller is gone: silent.
    Register(kKey, "\"" + dir_ + "\\gone\\uninstall.exe\" /u:" + kKey);
    RunSiblingUninstaller(kKey);
    EXPECT_TRUE(Recorded().empty());
    EXPECT_EQ(GetFileAttributesA(copy_.c_str()), INVALID_FILE_ATTRIBUTES);
    // The key's letter case may differ, as the registry's own names do.
    Register(kKey, "\"" + exe + "\" /U:morvandite test SIBLING");
    ASSERT_TRUE(SiblingUninstaller(kKey, path));
    EXPECT_STREQ(path.text(), exe.c_str());
}

TEST_F(SiblingRemoval, OnlyYesAgreesToTheRemoval) {
    Register(kKey, EntryFor(Uninstaller(L"Brand"), kKey));
    EXPECT_TRUE(OfferSiblingRemoval(kKey, "Morvandite.TAVEL", "Morvandite", "Morvandite Poker", Answering({6})));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "Installing Morvandite Poker");
    EXPECT_NE(asked[0].text.find("A copy of Morvandite.TAVEL software"), std::string::npos) << asked[0].text;
    EXPECT_NE(asked[0].text.find("installation of Morvandite software?"), std::string::npos) << asked[0].text;
    EXPECT_EQ(asked[0].first + "/" + asked[0].second, "Yes/No");
    for (int answer : {7, 8, 0})
        EXPECT_FALSE(OfferSiblingRemoval(kKey, "Morvandite.TAVEL", "Morvandite", "Morvandite", Answering({answer})))
            << answer;
    EXPECT_TRUE(Recorded().empty());  // asking runs nothing
}

TEST_F(SiblingRemoval, UninstallerRunsAsATemporaryCopyWithTheKey) {
    // A folder with blanks, and one outside the ANSI code page.
    for (const std::wstring& folder : {std::wstring(L"Old Brand"), std::wstring(L"\x0421\x0442\x0430\x0440")}) {
        DeleteFileA(record_.c_str());
        std::wstring original = Uninstaller(folder);
        Register(kKey, EntryFor(original, kKey));
        RunSiblingUninstaller(kKey);
        // It has ended when the call returns: its record is complete.
        std::vector<std::string> lines = Recorded();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, lines[0].c_str(), -1,
                                 ("module=" + copy_).c_str(), -1),
                  CSTR_EQUAL)
            << lines[0];
        EXPECT_EQ(lines[1], "commandline=\"" + copy_ + "\" /u:" + kKey);
        EXPECT_NE(GetFileAttributesA(copy_.c_str()), INVALID_FILE_ATTRIBUTES);  // left behind
        EXPECT_NE(GetFileAttributesW(original.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(SiblingRemoval, VariantsThatOfferItAskForEachInstalledSibling) {
    Register("Tavel Card Club", EntryFor(Uninstaller(L"Tavel"), "Tavel Card Club"));
    RemoveSiblingBrands("Morvandite", "Morvandite", Answering({6}));  // no variant selected
    BuildOptions::select("Morvandite");  // row 17 offers nothing
    RemoveSiblingBrands("Morvandite", "Morvandite", Answering({6}));
    EXPECT_TRUE(asked.empty());

    BuildOptions::select("Morvandite.VAL");
    RemoveSiblingBrands("Morvandite.VAL", "Morvandite", Answering({7}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].text.find("A copy of Morvandite.TAVEL software"), std::string::npos);
    EXPECT_NE(asked[0].text.find("installation of Morvandite.VAL software?"), std::string::npos);
    EXPECT_TRUE(Recorded().empty());

    RemoveSiblingBrands("Morvandite.VAL", "Morvandite", Answering({6}));
    EXPECT_EQ(asked.size(), 2u);
    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "commandline=\"" + copy_ + "\" /u:Tavel Card Club");
}

}  // namespace
