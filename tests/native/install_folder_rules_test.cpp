// The install folder rule the installer's page, -dir and -silent and the
// uninstaller share. A folder let through here is written into (and later
// recorded and removed from), so the table covers every kind of path a
// person or a script may give, and the rule is held against the uninstaller's
// own check: nothing the installer accepts may be a folder the uninstaller
// refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installfolderrules.h"

namespace {

using namespace FolderRules;

// Protected and system folders as protectedfolders.h gives them: normalized,
// lower case.
const std::vector<std::wstring> kProtected = {
    L"c:\\windows",
    L"c:\\windows\\system32",
    L"c:\\program files",
    L"c:\\program files\\common files",
    L"c:\\users",
    L"c:\\users\\ann",
    L"c:\\users\\ann\\desktop",
    L"c:\\users\\ann\\appdata\\roaming",
    L"c:\\users\\ann\\appdata\\local",
    L"\\\\fileserver\\home\\ann\\documents",
};
const std::vector<std::wstring> kSystem = {L"c:\\windows", L"c:\\windows\\system32"};

const char* FaultName(FolderFault fault) {
    switch (fault) {
    case FolderFault::None: return "usable";
    case FolderFault::NotFullPath: return "not a full path";
    case FolderFault::BadCharacter: return "bad character";
    case FolderFault::TrailingDotOrBlank: return "trailing dot or blank";
    case FolderFault::ReservedName: return "reserved name";
    case FolderFault::Root: return "root";
    case FolderFault::TooLong: return "too long";
    case FolderFault::SystemFolder: return "system folder";
    }
    return "?";
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

// The verdict on a folder, checking that a refusal leaves the output alone.
FolderFault Verdict(const std::wstring& folder) {
    std::wstring normalized = L"(untouched)";
    const FolderFault fault = CheckInstallFolder(folder, kProtected, kSystem, &normalized);
    if (fault != FolderFault::None) {
        EXPECT_EQ(normalized, L"(untouched)") << "a refused folder was still stored: " << Narrow(folder);
    }
    return fault;
}

// The folder as it would be created and recorded; "" when refused.
std::wstring Normalized(const std::wstring& folder) {
    std::wstring normalized;
    return CheckInstallFolder(folder, kProtected, kSystem, &normalized) == FolderFault::None ? normalized
                                                                                            : std::wstring();
}

struct Case {
    std::wstring folder;
    FolderFault fault;
};

void ExpectVerdicts(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_STREQ(FaultName(Verdict(c.folder)), FaultName(c.fault)) << "\"" << Narrow(c.folder) << "\"";
}

TEST(InstallFolderRules, FoldersThatAreNotAFullPathWithADriveOrShareAreRefused) {
    ExpectVerdicts({
        {L"", FolderFault::NotFullPath},
        {L"Games", FolderFault::NotFullPath},
        {L"Games\\Morvandite", FolderFault::NotFullPath},
        {L"\\Games", FolderFault::NotFullPath},        // the current drive's root
        {L"C:", FolderFault::NotFullPath},             // the current folder of C:
        {L"C:Games", FolderFault::NotFullPath},
        {L"1:\\Games", FolderFault::NotFullPath},
        {L" C:\\Games", FolderFault::NotFullPath},     // a blank first: a relative name
        {L"\\\\?\\C:\\Games", FolderFault::NotFullPath},  // device paths skip Windows' own checks
        {L"\\\\.\\C:\\Games", FolderFault::NotFullPath},
        {L"//?/C:/Games", FolderFault::NotFullPath},
        {L"\\\\?", FolderFault::NotFullPath},
        {L"\\\\", FolderFault::NotFullPath},
        {L"\\\\server", FolderFault::NotFullPath},     // a server without a share
        {L"\\\\server\\", FolderFault::NotFullPath},
        {L"\\\\\\server\\share\\Games", FolderFault::NotFullPath},
    });
}

TEST(InstallFolderRules, RootsOfDrivesAndSharesAreRefusedHoweverWritten) {
    ExpectVerdicts({
        {L"C:\\", FolderFault::Root},
        {L"C:\\\\\\", FolderFault::Root},
        {L"c:/", FolderFault::Root},
        {L"\\\\server\\share", FolderFault::Root},
        {L"\\\\server\\share\\", FolderFault::Root},
        {L"//server/share//", FolderFault::Root},
    });
}

TEST(InstallFolderRules, NamesWindowsWouldAlterOrTakeForADeviceAreRefusedNotChanged) {
    ExpectVerdicts({
        {L"C:\\Games\\Morv.", FolderFault::TrailingDotOrBlank},   // Windows would make "Morv"
        {L"C:\\Games\\Morv ", FolderFault::TrailingDotOrBlank},
        {L"C:\\Games\\Morv...", FolderFault::TrailingDotOrBlank},
        {L"C:\\Games.\\Morv", FolderFault::TrailingDotOrBlank},   // in any name, not only the last
        {L"C:\\Games\\..\\Windows", FolderFault::TrailingDotOrBlank},  // climbs out of the folder checked
        {L"C:\\.\\Games", FolderFault::TrailingDotOrBlank},
        {L"\\\\server\\share \\Games", FolderFault::TrailingDotOrBlank},
        {L"C:\\Games\\CON", FolderFault::ReservedName},
        {L"C:\\Games\\con", FolderFault::ReservedName},
        {L"C:\\Games\\nul.txt\\x", FolderFault::ReservedName},   // with an extension, in any name
        {L"C:\\AUX\\Games", FolderFault::ReservedName},
        {L"C:\\Games\\Com1", FolderFault::ReservedName},
        {L"C:\\Games\\LPT9.log", FolderFault::ReservedName},
        {L"C:\\Games\\prn .txt", FolderFault::ReservedName},     // blanks before the dot are dropped
        {L"C:\\Games\\CONOUT$", FolderFault::ReservedName},
        {std::wstring(L"C:\\Games\\COM") + wchar_t(0xB9), FolderFault::ReservedName},
        {L"C:\\Games\\a:b", FolderFault::BadCharacter},          // an alternate data stream
        {L"C:\\Games\\Morv*", FolderFault::BadCharacter},
        {L"C:\\Games\\Morv?ndite", FolderFault::BadCharacter},
        {L"C:\\Games\\a<b", FolderFault::BadCharacter},
        {L"C:\\Games\\a>b", FolderFault::BadCharacter},
        {L"C:\\Games\\a|b", FolderFault::BadCharacter},
        {L"C:\\Games\\a\"b", FolderFault::BadCharacter},
        {L"C:\\Games\\a\tb", FolderFault::BadCharacter},
        {L"C:\\Games\\Morv\n", FolderFault::BadCharacter},
        {L"\\\\ser:ver\\share\\Games", FolderFault::BadCharacter},
    });
    // Device names only as a whole name before a dot.
    for (const wchar_t* usable : {L"C:\\Games\\console", L"C:\\Games\\CONx.txt", L"C:\\Games\\COM10",
                                  L"C:\\Games\\LPT0", L"C:\\Games\\nul_", L"C:\\Games\\my.con",
                                  L"C:\\Games\\Morv.Cards", L"C:\\Games\\.config"})
        EXPECT_STREQ(FaultName(Verdict(usable)), "usable") << Narrow(usable);
}

TEST(InstallFolderRules, SystemFoldersProfileRootsAndFoldersHoldingThemAreRefused) {
    ExpectVerdicts({
        {L"C:\\Windows", FolderFault::SystemFolder},
        {L"c:\\WINDOWS\\", FolderFault::SystemFolder},
        {L"C:\\Program Files", FolderFault::SystemFolder},
        {L"C:\\Users\\Ann", FolderFault::SystemFolder},            // the profile root
        {L"C:\\USERS\\ANN\\", FolderFault::SystemFolder},
        {L"C:\\Users", FolderFault::SystemFolder},                 // holds every profile
        {L"C:\\Users\\Ann\\Desktop", FolderFault::SystemFolder},
        {L"C:\\Users\\Ann\\AppData", FolderFault::SystemFolder},   // holds Roaming and Local
        {L"\\\\FileServer\\Home\\Ann", FolderFault::SystemFolder},
        // Inside Windows nothing is installed, however deep.
        {L"C:\\Windows\\Morvandite", FolderFault::SystemFolder},
        {L"C:\\Windows\\System32\\x", FolderFault::SystemFolder},
        {L"C:\\windows\\system32\\drivers\\etc\\Morvandite", FolderFault::SystemFolder},
    });
}

TEST(InstallFolderRules, FoldersBelowProtectedOnesAndBesideThemAreUsable) {
    EXPECT_EQ(Normalized(L"C:\\Program Files\\Morvandite"), L"C:\\Program Files\\Morvandite");
    EXPECT_EQ(Normalized(L"C:\\Program Files\\Common Files\\Morvandite"),
              L"C:\\Program Files\\Common Files\\Morvandite");
    EXPECT_EQ(Normalized(L"C:\\Users\\Ann\\AppData\\Local\\Morvandite"),
              L"C:\\Users\\Ann\\AppData\\Local\\Morvandite");  // a user's own installation
    EXPECT_EQ(Normalized(L"C:\\Users\\Ann\\Games"), L"C:\\Users\\Ann\\Games");
    EXPECT_EQ(Normalized(L"C:\\Program Files (x86)\\Morvandite"), L"C:\\Program Files (x86)\\Morvandite");
    EXPECT_EQ(Normalized(L"C:\\Windows2"), L"C:\\Windows2");  // a name as a prefix is another folder
    EXPECT_EQ(Normalized(L"C:\\Win"), L"C:\\Win");
    EXPECT_EQ(Normalized(L"D:\\Windows"), L"D:\\Windows");
    // With no system folders known, only the text rules and roots refuse.
    std::wstring out;
    EXPECT_EQ(CheckInstallFolder(L"C:\\Windows", {}, {}, &out), FolderFault::None);
    EXPECT_EQ(CheckInstallFolder(L"C:\\", {}, {}, &out), FolderFault::Root);
}

TEST(InstallFolderRules, TheFolderIsNormalizedAsWindowsReadsItAndOtherwiseKept) {
    EXPECT_EQ(Normalized(L"C:\\Games\\Morvandite\\"), L"C:\\Games\\Morvandite");
    EXPECT_EQ(Normalized(L"C:\\Games\\Morvandite\\\\\\"), L"C:\\Games\\Morvandite");
    EXPECT_EQ(Normalized(L"C:/Games//Morvandite/"), L"C:\\Games\\Morvandite");
    EXPECT_EQ(Normalized(L"c:\\games\\MORVANDITE"), L"c:\\games\\MORVANDITE");  // case as given
    EXPECT_EQ(Normalized(L"C:\\My Games\\Card Room"), L"C:\\My Games\\Card Room");
    EXPECT_EQ(Normalized(L"C:\\ Games\\ Morv"), L"C:\\ Games\\ Morv");  // a leading blank is part of a name
    const std::wstring cyrillic = L"C:\\\x0418\x0433\x0440\x044B\\\x65E5\x672C";
    EXPECT_EQ(Normalized(cyrillic), cyrillic);
}

TEST(InstallFolderRules, NetworkFoldersBelowAShareAreUsable) {
    EXPECT_EQ(Normalized(L"\\\\server\\share\\Games"), L"\\\\server\\share\\Games");
    EXPECT_EQ(Normalized(L"\\\\server\\share\\\\Games\\Morvandite\\"), L"\\\\server\\share\\Games\\Morvandite");
    EXPECT_EQ(Normalized(L"//server/share/Games"), L"\\\\server\\share\\Games");
    EXPECT_EQ(Normalized(L"\\\\10.0.0.7\\c$\\Games"), L"\\\\10.0.0.7\\c$\\Games");
}

TEST(InstallFolderRules, TheNormalizedFolderMayHaveAtMostTheLimitsLength) {
    const std::wstring base = L"C:\\Games\\";
    const std::wstring atLimit = base + std::wstring(kMaxInstallFolder - base.size(), L'a');
    EXPECT_EQ(Normalized(atLimit), atLimit);
    EXPECT_EQ(Verdict(atLimit + L"b"), FolderFault::TooLong);
    // Counted once normalized: separators Windows drops do not count.
    EXPECT_EQ(Normalized(atLimit + L"\\\\\\"), atLimit);
    // Characters beyond the BMP take two UTF-16 units on Windows.
    std::wstring astral = base + std::wstring(kMaxInstallFolder - base.size() - 1, L'a');
    EXPECT_EQ(Verdict(astral + L"b"), FolderFault::None);
    if (sizeof(wchar_t) == 4) {
        EXPECT_EQ(Verdict(astral + wchar_t(0x1D11E)), FolderFault::TooLong);
    }
    const std::wstring longPath = L"C:\\" + std::wstring(297, L'x');
    EXPECT_EQ(longPath.size(), 300u);
    EXPECT_EQ(Verdict(longPath), FolderFault::TooLong);
}

TEST(InstallFolderRules, TheFirstFaultFoundIsTheOneReported) {
    // Names before the root, the length and the system folders.
    EXPECT_EQ(Verdict(L"C:\\Windows\\CON"), FolderFault::ReservedName);
    EXPECT_EQ(Verdict(L"C:\\Windows\\Morv."), FolderFault::TrailingDotOrBlank);
    EXPECT_EQ(Verdict(L"C:\\Games.\\CON"), FolderFault::TrailingDotOrBlank);
    EXPECT_EQ(Verdict(L"C:\\CON\\a|b"), FolderFault::ReservedName);
    EXPECT_EQ(Verdict(L"C:\\Windows\\" + std::wstring(300, L'x')), FolderFault::TooLong);
}

TEST(InstallFolderRules, WhatTheInstallerAcceptsTheUninstallerAcceptsUnchanged) {
    const std::wstring folders[] = {
        L"C:\\", L"C:", L"C:Games", L"Games", L"\\Games", L"C:\\Games\\Morv.", L"C:\\Games\\Morv ",
        L"C:\\Games\\CON", L"C:\\Games\\nul.txt\\x", L"C:\\Windows", L"C:\\Windows\\System32\\x",
        L"C:\\Users\\Ann", L"C:\\Users", L"C:\\Users\\Ann\\AppData", L"\\\\server\\share",
        L"\\\\server\\share\\Games", L"\\\\?\\C:\\x", L"\\\\server", L"C:\\" + std::wstring(297, L'x'),
        L"C:\\Program Files\\Morvandite", L"C:\\Program Files\\", L"C:\\Games\\Morvandite\\\\",
        L"C:/Games//Morvandite", L"c:\\USERS\\ANN\\appdata\\local\\Morvandite",
        L"\\\\FileServer\\Home\\Ann\\Documents\\Games", L"\\\\FileServer\\Home", L"D:\\x\\..\\y",
    };
    for (const std::wstring& folder : folders) {
        std::wstring normalized;
        if (CheckInstallFolder(folder, kProtected, kSystem, &normalized) != FolderFault::None) continue;
        std::wstring recorded;
        std::wstring why;
        ASSERT_TRUE(NormalizeAbsolute(normalized, &recorded, &why)) << Narrow(folder) << ": " << Narrow(why);
        EXPECT_EQ(recorded, normalized) << "the uninstaller would read another folder: " << Narrow(folder);
        EXPECT_FALSE(IsUnsafeFolder(recorded, kProtected)) << Narrow(folder);
    }
    // And the other way round: a folder the uninstaller reads but would not
    // remove from is never installed into.
    for (const std::wstring& folder : folders) {
        std::wstring path;
        std::wstring why;
        if (NormalizeAbsolute(folder, &path, &why) && IsUnsafeFolder(path, kProtected)) {
            EXPECT_NE(Verdict(folder), FolderFault::None) << Narrow(folder);
        }
    }
}

TEST(InstallFolderRules, ReservedDeviceNamesAreKnownInAnyCaseAndWithAnyExtension) {
    for (const wchar_t* name : {L"CON", L"con", L"Prn", L"aux", L"NUL", L"nul.txt", L"nul.tar.gz", L"COM1",
                                L"com9.log", L"LPT1", L"lpt9", L"CON .txt", L"conin$", L"CONOUT$.x"})
        EXPECT_TRUE(IsReservedDeviceName(name)) << Narrow(name);
    for (const wchar_t* name : {L"", L"CONS", L"xcon", L"COM", L"COM0", L"COM10", L"LPT", L"LPTx", L".nul",
                                L"nul_.txt", L"Morvandite"})
        EXPECT_FALSE(IsReservedDeviceName(name)) << Narrow(name);
}

TEST(InstallFolderRules, EachNameIsJudgedOnItsOwn) {
    EXPECT_EQ(CheckName(L"Morvandite"), NameFault::None);
    EXPECT_EQ(CheckName(L""), NameFault::Empty);
    EXPECT_EQ(CheckName(L"."), NameFault::TrailingDotOrBlank);
    EXPECT_EQ(CheckName(L".."), NameFault::TrailingDotOrBlank);
    EXPECT_EQ(CheckName(L"a b "), NameFault::TrailingDotOrBlank);
    EXPECT_EQ(CheckName(L"nul.txt"), NameFault::ReservedName);
    EXPECT_EQ(CheckName(L"a/b"), NameFault::BadCharacter);
    EXPECT_EQ(CheckName(L"a\\b"), NameFault::BadCharacter);
    EXPECT_EQ(CheckName(std::wstring(1, L'\x1F')), NameFault::BadCharacter);
    // A bad character is reported before the end of the name.
    EXPECT_EQ(CheckName(L"a*."), NameFault::BadCharacter);
}

}  // namespace
