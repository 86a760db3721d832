// The uninstaller's path rules: what an uninstall entry and its file list may
// name before anything is removed. A rule that lets one bad value through
// deletes a user's files, so the edges are tested here case by case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathrules.h"

namespace {

using namespace UninstallPaths;

// NormalizeAbsolute's result, or "refused: <why>".
std::wstring Normalized(const std::wstring& raw) {
    std::wstring out = L"(untouched)";
    std::wstring why;
    if (!NormalizeAbsolute(raw, &out, &why)) {
        EXPECT_FALSE(why.empty()) << "no reason given for refusing";
        EXPECT_EQ(out, L"(untouched)") << "a refused path was still stored";
        return L"refused: " + why;
    }
    return out;
}

bool Refused(const std::wstring& raw) { return Normalized(raw).rfind(L"refused: ", 0) == 0; }

TEST(UninstallPaths, AbsolutePathsAreNormalizedWithoutTrailingSeparators) {
    EXPECT_EQ(Normalized(L"C:\\Program Files\\Morvandite"), L"C:\\Program Files\\Morvandite");
    EXPECT_EQ(Normalized(L"C:\\Program Files\\Morvandite\\"), L"C:\\Program Files\\Morvandite");
    EXPECT_EQ(Normalized(L"C:\\Program Files\\Morvandite\\\\\\"), L"C:\\Program Files\\Morvandite");
    EXPECT_EQ(Normalized(L"  C:/Games/Morvandite/ \r\n"), L"C:\\Games\\Morvandite");
    EXPECT_EQ(Normalized(L"\\\\server\\share\\Games\\"), L"\\\\server\\share\\Games");
    // A drive root keeps its one backslash, however many it was given.
    EXPECT_EQ(Normalized(L"D:\\"), L"D:\\");
    EXPECT_EQ(Normalized(L"D:\\\\\\"), L"D:\\");
    EXPECT_EQ(Normalized(L"d:/"), L"d:\\");
}

TEST(UninstallPaths, PathsThatAreNotFullWithADriveAreRefused) {
    for (const wchar_t* raw : {L"", L"   ", L"Morvandite", L"Program Files\\Morvandite",
                               L"\\Program Files\\Morvandite",  // the current drive's root
                               L"C:", L"C:Morvandite",          // the current folder of C:
                               L"1:\\Morvandite", L"\\\\"}) {
        EXPECT_TRUE(Refused(raw)) << "accepted: \"" << raw << "\"";
    }
}

TEST(UninstallPaths, DotsDevicesAndUnusableNamesInAnAbsolutePathAreRefused) {
    for (const wchar_t* raw : {
             L"C:\\Program Files\\..\\Windows",  // climbs out of the folder checked
             L"C:\\Program Files\\Morvandite\\..",
             L"C:\\.\\Windows",
             L"C:\\Games\\\\Morvandite",          // an empty name between separators
             L"C:\\Games\\Morvandite.",            // Windows strips the dot: another folder
             L"C:\\Games\\Morvandite \\x",         // ... and the space
             L"C:\\Games\\Morv*",                  // wildcards
             L"C:\\Games\\Morv?ndite",
             L"C:\\Games\\a:stream",               // an alternate data stream
             L"C:\\Games\\a<b", L"C:\\Games\\a>b", L"C:\\Games\\a|b", L"C:\\Games\\a\"b",
             L"C:\\Games\\a\tb",                   // control characters
             L"\\\\?\\C:\\Windows",                // device paths skip every check Windows makes
             L"\\\\.\\C:\\Windows",
             L"\\\\server\\..\\share",
             L"C:\\Games\\CON",                  // a device, not a folder
             L"C:\\Games\\nul.txt\\Morvandite",
         }) {
        EXPECT_TRUE(Refused(raw)) << "accepted: \"" << raw << "\"";
    }
}

TEST(UninstallPaths, DriveRootsAndShareRootsAreRoots) {
    EXPECT_TRUE(IsDriveRoot(L"C:\\"));
    EXPECT_TRUE(IsDriveRoot(L"c:"));
    EXPECT_TRUE(IsDriveRoot(L"\\\\server"));
    EXPECT_TRUE(IsDriveRoot(L"\\\\server\\share"));
    EXPECT_FALSE(IsDriveRoot(L"C:\\Games"));
    EXPECT_FALSE(IsDriveRoot(L"\\\\server\\share\\Games"));
}

// Protected folders as ProtectedFolders() gives them: normalized, lower case.
const std::vector<std::wstring> kProtected = {
    L"c:\\windows",
    L"c:\\windows\\system32",
    L"c:\\program files",
    L"c:\\users",
    L"c:\\users\\ann",
    L"c:\\users\\ann\\appdata\\roaming",
    L"c:\\users\\ann\\start menu\\programs",
    L"\\\\fileserver\\home\\ann\\documents",
};

// The uninstaller's own sequence for a recorded folder: normalize, then check.
bool RecordedFolderIsUnsafe(const std::wstring& raw) {
    std::wstring path;
    std::wstring why;
    if (!NormalizeAbsolute(raw, &path, &why)) return true;
    return IsUnsafeFolder(path, kProtected);
}

TEST(UninstallPaths, DrivesAndSystemFoldersAreNeverRemovable) {
    for (const wchar_t* raw : {
             L"C:\\", L"C:", L"E:\\", L"\\\\server\\share", L"\\\\server\\share\\",
             L"C:\\Windows", L"C:\\Windows\\", L"C:\\Windows\\System32",
             L"C:\\Program Files", L"C:\\Program Files\\\\",
             L"C:\\Users\\Ann", L"C:\\Users\\Ann\\AppData\\Roaming",
             L"C:\\Users\\Ann\\Start Menu\\Programs",
             L"\\\\fileserver\\home\\ann\\Documents",
         }) {
        EXPECT_TRUE(RecordedFolderIsUnsafe(raw))
            << "removable: \"" << raw << "\"";
    }
}

TEST(UninstallPaths, AFolderThatHoldsAProtectedFolderIsNeverRemovable) {
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"C:\\Users"));
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"C:\\Users\\Ann\\AppData"));
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"C:\\Users\\Ann\\Start Menu"));
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"\\\\fileserver\\home\\ann\\"));
}

TEST(UninstallPaths, CaseDoesNotHideAProtectedFolder) {
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"c:\\WINDOWS"));
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"C:/pRoGrAm FiLeS/"));
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"C:\\USERS\\ANN\\APPDATA"));
    EXPECT_TRUE(RecordedFolderIsUnsafe(L"\\\\FileServer\\Home\\Ann\\Documents"));
}

TEST(UninstallPaths, FoldersBesideOrInsideProtectedOnesAreRemovable) {
    // A protected folder's name as a prefix is not its parent.
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Program"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Program Files (x86)"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Win"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Windows2"));
    // Inside one: where installations live.
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Program Files\\Morvandite"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Users\\Ann\\Start Menu\\Programs\\Morvandite"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"C:\\Users\\Bob"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"D:\\Games\\Morvandite"));
    EXPECT_FALSE(RecordedFolderIsUnsafe(L"\\\\server\\share\\Morvandite"));
    // With no protected folders known, only roots are refused.
    EXPECT_FALSE(IsUnsafeFolder(L"C:\\Windows", {}));
    EXPECT_TRUE(IsUnsafeFolder(L"C:\\", {}));
}

// ValidRelative's verdict, with its reason checked to be given.
bool RelativeOk(const std::wstring& path) {
    std::wstring why;
    bool ok = ValidRelative(path, &why);
    EXPECT_EQ(ok, why.empty()) << "a reason must come with a refusal and only then";
    return ok;
}

TEST(UninstallPaths, FileListEntriesStayInsideTheInstallFolder) {
    EXPECT_TRUE(RelativeOk(L"Morvandite.exe"));
    EXPECT_TRUE(RelativeOk(L"Data\\Cards\\decks.ini"));
    EXPECT_TRUE(RelativeOk(L"Data\\..hidden\\a..b"));  // dots inside names are names

    for (const wchar_t* path : {
             L"", L"\\Windows\\win.ini", L"C:\\Windows\\win.ini", L"C:win.ini",
             L"..\\Windows", L"Data\\..\\..\\Windows", L"Data\\..",
             L".\\Morvandite.exe", L"Data/Cards/decks.ini", L"Data\\\\decks.ini", L"Data\\",
             L"Morvandite.exe:stream", L"Data\\deck.", L"Data\\deck ", L"Data\\*.ini",
             L"\\\\server\\share\\x", L"Data\\aux.ini",
         }) {
        EXPECT_FALSE(RelativeOk(path)) << "accepted: \"" << path
                                       << "\"";
    }
}

TEST(UninstallPaths, FileListEntriesAreShorterThanTheSystemLimit) {
    EXPECT_TRUE(RelativeOk(std::wstring(kMaxRelativePath - 1, L'a')));
    EXPECT_FALSE(RelativeOk(std::wstring(kMaxRelativePath, L'a')));
}

const std::wstring kListPath = L"C:\\Games\\Morvandite\\uninstall.lst";

TEST(UninstallPaths, TheFileListIsReadLineByLineOnceEachIgnoringCase) {
    std::vector<std::wstring> entries;
    std::wstring error;
    ASSERT_TRUE(ParseFileList(L"Data\\Cards\\decks.ini\r\n\r\nMorvandite.exe\nDATA\\cards\\DECKS.INI\r\n"
                              L"uninstall.lst",
                              kListPath, &entries, &error))
        << error;
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"Data\\Cards\\decks.ini", L"Morvandite.exe",
                                                  L"uninstall.lst"}));

    entries.clear();
    EXPECT_TRUE(ParseFileList(L"", kListPath, &entries, &error));
    EXPECT_TRUE(entries.empty());
}

TEST(UninstallPaths, OneUnusableLineRefusesTheWholeFileList) {
    std::vector<std::wstring> entries;
    std::wstring error;
    EXPECT_FALSE(ParseFileList(L"Morvandite.exe\r\n\r\n..\\..\\Windows\\win.ini\r\nTracer.exe\r\n", kListPath,
                               &entries, &error));
    // The line is counted with the empty one before it, and named.
    EXPECT_NE(error.find(L"Line 3 of the file list " + kListPath), std::wstring::npos) << error.c_str();
    EXPECT_NE(error.find(L"..\\..\\Windows\\win.ini"), std::wstring::npos);

    error.clear();
    EXPECT_FALSE(ParseFileList(L"Morvandite.exe\nC:\\Windows\\win.ini", kListPath, &entries, &error));
    EXPECT_NE(error.find(L"Line 2 "), std::wstring::npos);
    // Blanks are part of the name: " x" is not "x", and a trailing one is refused.
    EXPECT_FALSE(ParseFileList(L"Morvandite.exe \r\n", kListPath, &entries, &error));
}

TEST(UninstallPaths, NamesWindowsWouldAlterOrMisreadAreUnusable) {
    EXPECT_TRUE(ValidComponent(L"Morvandite"));
    EXPECT_TRUE(ValidComponent(L".config"));
    for (const wchar_t* name : {L"", L".", L"..", L"...", L"name.", L"name ", L"a\\b", L"a/b",
                                L"a:b", L"a*", L"a?", L"a\"b", L"a<b", L"a>b", L"a|b"}) {
        EXPECT_FALSE(ValidComponent(name)) << "usable: \"" << name
                                           << "\"";
    }
    EXPECT_FALSE(ValidComponent(std::wstring(L"a\x01") + L"b"));
    EXPECT_FALSE(ValidComponent(std::wstring(1, L'\x1F')));
}

TEST(UninstallPaths, BrowserButtonIdsMustBeGuids) {
    EXPECT_TRUE(IsGuid(L"{0A1B2C3D-4E5F-6a7b-8c9d-0E1F2A3B4C5D}"));
    for (const wchar_t* text : {
             L"", L"0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D",   // no braces
             L"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5}",       // one digit short
             L"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5DE}",     // one too many
             L"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5G}",      // not hexadecimal
             L"{0A1B2C3D4-E5F-6A7B-8C9D-0E1F2A3B4C5D}",      // a dash misplaced
             L"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}\\..",  // a path hidden behind it
         }) {
        EXPECT_FALSE(IsGuid(text)) << "a GUID: \"" << text << "\"";
    }
}

TEST(UninstallPaths, TheUsersSettingsAreKnownInAnyCase) {
    EXPECT_TRUE(IsUserSettingsName(L"user.ini"));
    EXPECT_TRUE(IsUserSettingsName(L"USER.INI"));
    EXPECT_TRUE(IsUserSettingsName(L"User.Ini.Bak"));
    EXPECT_FALSE(IsUserSettingsName(L"user.ini.old"));
    EXPECT_FALSE(IsUserSettingsName(L"xuser.ini"));
    EXPECT_FALSE(IsUserSettingsName(L"Data\\user.ini"));  // a name, not a path
}

TEST(UninstallPaths, ShortcutsAreRecognizedByTheirExtensionInAnyCase) {
    EXPECT_TRUE(EndsWithNoCase(L"C:\\Users\\Ann\\Desktop\\Morvandite.LNK", L".lnk"));
    EXPECT_FALSE(EndsWithNoCase(L"C:\\Users\\Ann\\Desktop\\Morvandite.lnk.exe", L".lnk"));
    EXPECT_FALSE(EndsWithNoCase(L"lnk", L".lnk"));
}

TEST(UninstallPaths, DeeperFoldersComeFirstWhenRemovingFolders) {
    EXPECT_GT(Depth(L"C:\\Games\\Morvandite\\Data\\Cards"), Depth(L"C:\\Games\\Morvandite\\Data"));
    EXPECT_EQ(FileNameOf(L"Data\\Cards\\decks.ini"), L"decks.ini");
    EXPECT_EQ(FileNameOf(L"decks.ini"), L"decks.ini");
    EXPECT_EQ(SplitPath(L"a\\\\b\\"), (std::vector<std::wstring>{L"a", L"", L"b", L""}));
}

}  // namespace
