// Removal of installed sibling brands: the uninstall entry's form, the
// question, and the run of a copied stand-in uninstaller (record_args.exe,
// which writes down how it was started): from the temporary folder when the
// run is not elevated, from a folder only administrators can change when it is.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adminonlycopy.h"
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
        RunSiblingUninstaller(kKey, false);
    }
    EXPECT_TRUE(asked.empty());
    // Well formed, but the uninstaller is gone: silent.
    Register(kKey, "\"" + dir_ + "\\gone\\uninstall.exe\" /u:" + kKey);
    RunSiblingUninstaller(kKey, false);
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
        RunSiblingUninstaller(kKey, false);
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
    RemoveSiblingBrands("Morvandite", "Morvandite", Answering({6}), false);  // no variant selected
    BuildOptions::select("Morvandite");  // row 17 offers nothing
    RemoveSiblingBrands("Morvandite", "Morvandite", Answering({6}), false);
    EXPECT_TRUE(asked.empty());

    BuildOptions::select("Morvandite.VAL");
    RemoveSiblingBrands("Morvandite.VAL", "Morvandite", Answering({7}), false);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].text.find("A copy of Morvandite.TAVEL software"), std::string::npos);
    EXPECT_NE(asked[0].text.find("installation of Morvandite.VAL software?"), std::string::npos);
    EXPECT_TRUE(Recorded().empty());

    RemoveSiblingBrands("Morvandite.VAL", "Morvandite", Answering({6}), false);
    EXPECT_EQ(asked.size(), 2u);
    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "commandline=\"" + copy_ + "\" /u:Tavel Card Club");
}


// Elevated, the copy is made where no unelevated process can replace it
// before it starts: a fresh folder below the Windows folder's Temp, named
// _unps.exe, started with the key, and gone with its folder afterwards.
TEST_F(SiblingRemoval, AnElevatedRunStartsTheUninstallerFromAFolderOnlyAdministratorsChange) {
    const std::wstring original = Uninstaller(L"Old Brand");
    Register(kKey, EntryFor(original, kKey));
    const std::wstring parent = AdministratorsOnlyParent();
    ASSERT_FALSE(parent.empty());
    RunSiblingUninstaller(kKey, true);

    std::vector<std::string> lines = Recorded();
    ASSERT_GE(lines.size(), 2u);
    // The command line names the copy as it was made: quoted, then the key.
    const std::string prefix = "commandline=\"", suffix = "\" /u:" + std::string(kKey);
    ASSERT_EQ(lines[1].rfind(prefix, 0), 0u) << lines[1];
    ASSERT_GT(lines[1].size(), prefix.size() + suffix.size());
    ASSERT_EQ(lines[1].substr(lines[1].size() - suffix.size()), suffix) << lines[1];
    const std::string copy = lines[1].substr(prefix.size(), lines[1].size() - prefix.size() - suffix.size());
    const std::string parentText(parent.begin(), parent.end());
    EXPECT_EQ(copy.rfind(parentText + "\\MorvanditeUninstall-", 0), 0u) << copy;
    EXPECT_EQ(copy.substr(copy.size() - 10), "\\_unps.exe") << copy;
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, lines[0].c_str(), -1, ("module=" + copy).c_str(), -1),
              CSTR_EQUAL)
        << lines[0];
    const std::string module = copy;
    // Nothing is left: neither the copy and its folder nor one in the user's temporary folder.
    EXPECT_EQ(GetFileAttributesA(module.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(module.substr(0, module.size() - 10).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(copy_.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(original.c_str()), INVALID_FILE_ATTRIBUTES);

    // An uninstaller that is gone starts nothing and leaves nothing.
    DeleteFileA(record_.c_str());
    Register(kKey, "\"" + dir_ + "\\gone\\uninstall.exe\" /u:" + kKey);
    RunSiblingUninstaller(kKey, true);
    EXPECT_TRUE(Recorded().empty());
}

class AdministratorsOnly : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string dir = ScratchFolder("installer-adminonly");
        parent_ = std::wstring(dir.begin(), dir.end());
        const std::string source = BinaryPath("bin\\record_args.exe");
        source_ = std::wstring(source.begin(), source.end());
        record_ = dir + "\\record.txt";
        SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", record_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", nullptr); }

    // The folders below the parent.
    std::vector<std::wstring> Folders() const {
        std::vector<std::wstring> found;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((parent_ + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return found;
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.cFileName[0] != L'.')
                found.push_back(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return found;
    }

    std::wstring parent_, source_;
    std::string record_;
};

TEST_F(AdministratorsOnly, TheCopyCannotBeChangedUntilItHasStartedAndGoesWithItsFolderAfterwards) {
    std::wstring path, folder;
    {
        DWORD error = 0;
        AdministratorsOnlyCopy copy = AdministratorsOnlyCopy::Make(source_, parent_, L"_unps.exe", &error);
        ASSERT_TRUE(copy.valid()) << error;
        path = copy.Path();
        folder = copy.Folder();
        EXPECT_EQ(path, folder + L"\\_unps.exe");
        EXPECT_EQ(folder.rfind(parent_ + L"\\MorvanditeUninstall-", 0), 0u);
        ASSERT_EQ(Folders().size(), 1u);

        // Held: nobody may write, rename or delete it; reading it is allowed.
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_FALSE(DeleteFileW(path.c_str()));
        EXPECT_FALSE(MoveFileW(path.c_str(), (folder + L"\\other.exe").c_str()));
        HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        if (reader != INVALID_HANDLE_VALUE)
            CloseHandle(reader);
        // The same bytes as the original.
        std::string source(source_.begin(), source_.end()), copied(path.begin(), path.end());
        EXPECT_EQ(ReadWholeFile(copied), ReadWholeFile(source));

        // And it starts while it is held.
        std::wstring commandLine = L"\"" + path + L"\" /u:Key";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                                   nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_NE(ReadWholeFileOrEmpty(record_).find("arg=/u:Key\n"), std::string::npos);

        // A second copy never shares the first one's folder.
        AdministratorsOnlyCopy second = AdministratorsOnlyCopy::Make(source_, parent_, L"_unps.exe");
        ASSERT_TRUE(second.valid());
        EXPECT_NE(second.Folder(), folder);
        EXPECT_EQ(Folders().size(), 2u);
    }
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Folders().empty());
}

TEST_F(AdministratorsOnly, ACopyThatCannotBeMadeLeavesNothing) {
    DWORD error = 0;
    AdministratorsOnlyCopy missing = AdministratorsOnlyCopy::Make(parent_ + L"\\no-such.exe", parent_, L"_unps.exe", &error);
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(missing.Path().empty());
    AdministratorsOnlyCopy nowhere =
        AdministratorsOnlyCopy::Make(source_, parent_ + L"\\no-such-folder", L"_unps.exe", &error);
    EXPECT_FALSE(nowhere.valid());
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Folders().empty());
}

// The folder's (and by inheritance the copy's) access: owned by the
// Administrators, full control for SYSTEM and the Administrators only, no
// entry inherited from the parent, and the owner's implicit rights cut down
// to reading the permissions.
TEST_F(AdministratorsOnly, OnlySystemAndAdministratorsMayChangeTheFolder) {
    const UniqueLocalMemory security = AdministratorsOnlySecurity();
    ASSERT_TRUE(security);
    PSECURITY_DESCRIPTOR descriptor = security.get();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    auto sidText = [](PSID sid) {
        LPSTR text = nullptr;
        std::string out = ConvertSidToStringSidA(sid, &text) ? text : "?";
        LocalFree(text);
        return out;
    };
    EXPECT_EQ(sidText(owner), "S-1-5-32-544");
    BOOL present = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    std::vector<std::string> entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        char mask[16];
        std::snprintf(mask, sizeof mask, "%08lx", static_cast<unsigned long>(ace->Mask));
        entries.push_back(sidText(&ace->SidStart) + " " + mask +
                          ((ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                                   (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
                               ? " inherited below"
                               : ""));
    }
    const std::vector<std::string> expected = {"S-1-5-18 001f01ff inherited below",
                                               "S-1-5-32-544 001f01ff inherited below",
                                               "S-1-3-4 00020000 inherited below"};
    EXPECT_EQ(entries, expected);
}

}  // namespace
