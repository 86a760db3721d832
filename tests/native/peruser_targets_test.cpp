// Whose profile and hive the per-user files go to: the installing account's
// unless an elevated run installs for another account at the desktop, and
// then that account's folders and hive whole, never half of each.
#include <gtest/gtest.h>

#include <string>

#include "peruser.h"

namespace {

const char kAdminSid[] = "S-1-5-21-1004336348-1177238915-682003330-500";
const char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1013";

UserAccount Account(const char* sid, const char* name, const char* profile) {
    UserAccount a;
    a.sid = sid;
    a.name = name;
    const std::string root = profile;
    a.folders.desktop = (root + "\\Desktop").c_str();
    a.folders.programs = (root + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs").c_str();
    a.folders.startMenu = (root + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu").c_str();
    a.folders.appData = (root + "\\AppData\\Roaming").c_str();
    a.folders.localAppData = (root + "\\AppData\\Local").c_str();
    return a;
}

// An administrator's password typed at a standard user's desktop.
PerUserFacts OverTheShoulder() {
    PerUserFacts facts;
    facts.elevated = true;
    facts.installing = Account(kAdminSid, "CARDROOM\\admin", "C:\\Users\\admin");
    facts.desktopUserFound = true;
    facts.desktopUser = Account(kUserSid, "CARDROOM\\lena", "C:\\Users\\lena");
    return facts;
}

std::string Str(const PString& s) { return s.text(); }

bool InstallingAccounts(const PerUserTargets& t) {
    return !t.desktopUsers && t.hiveSid.empty() && t.folders.desktop.empty() && t.folders.programs.empty() &&
           t.folders.startMenu.empty() && t.folders.appData.empty() && t.folders.localAppData.empty();
}

TEST(PerUserTargets, AnotherAccountAtTheDesktopGetsItsOwnFoldersAndHive) {
    const PerUserTargets t = ChoosePerUserTargets(OverTheShoulder());
    ASSERT_TRUE(t.desktopUsers);
    EXPECT_EQ(Str(t.hiveSid), kUserSid);
    EXPECT_EQ(Str(t.folders.desktop), "C:\\Users\\lena\\Desktop");
    EXPECT_EQ(Str(t.folders.programs), "C:\\Users\\lena\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
    EXPECT_EQ(Str(t.folders.startMenu), "C:\\Users\\lena\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    EXPECT_EQ(Str(t.folders.appData), "C:\\Users\\lena\\AppData\\Roaming");
    EXPECT_EQ(Str(t.folders.localAppData), "C:\\Users\\lena\\AppData\\Local");
    // The log names both, the desktop's user first.
    EXPECT_EQ(Str(t.note), std::string("Per-user files: for the desktop's user CARDROOM\\lena (") + kUserSid +
                               "), not for the installing account CARDROOM\\admin (" + kAdminSid + ")");
}

TEST(PerUserTargets, WithoutElevationNothingChangesAndNothingIsSaid) {
    PerUserFacts facts = OverTheShoulder();
    facts.elevated = false;
    const PerUserTargets t = ChoosePerUserTargets(facts);
    EXPECT_TRUE(InstallingAccounts(t));
    EXPECT_TRUE(t.note.empty());
}

TEST(PerUserTargets, TheSameAccountElevatedKeepsItsOwn) {
    PerUserFacts facts = OverTheShoulder();
    facts.desktopUser = facts.installing;
    PerUserTargets t = ChoosePerUserTargets(facts);
    EXPECT_TRUE(InstallingAccounts(t));
    EXPECT_NE(Str(t.note).find("for the installing account CARDROOM\\admin"), std::string::npos) << Str(t.note);
    EXPECT_NE(Str(t.note).find("which is the desktop's user"), std::string::npos) << Str(t.note);
    // SIDs are compared without regard to letter case ("s-1-5-..." is the same account).
    facts.desktopUser.sid = "s-1-5-21-1004336348-1177238915-682003330-500";
    facts.desktopUser.folders = Account(kUserSid, "", "C:\\Elsewhere").folders;
    EXPECT_TRUE(InstallingAccounts(ChoosePerUserTargets(facts)));
}

TEST(PerUserTargets, ADesktopUserWhoCannotBeFoundKeepsTheInstallingAccountAndSaysSo) {
    PerUserFacts facts = OverTheShoulder();
    facts.desktopUserFound = false;  // no shell window, or its token could not be read
    PerUserTargets t = ChoosePerUserTargets(facts);
    EXPECT_TRUE(InstallingAccounts(t));
    EXPECT_EQ(Str(t.note), std::string("Per-user files: the desktop's user cannot be found; they go to the "
                                       "installing account CARDROOM\\admin (") + kAdminSid + ")");
    // Found, but without a SID: just as unknown.
    facts = OverTheShoulder();
    facts.desktopUser.sid.clear();
    EXPECT_TRUE(InstallingAccounts(ChoosePerUserTargets(facts)));
    EXPECT_NE(Str(ChoosePerUserTargets(facts).note).find("cannot be found"), std::string::npos);
}

TEST(PerUserTargets, AnInstallingAccountOfUnknownSidIsNeverTakenForAnother) {
    // Without its own SID the run cannot tell the two apart: it stays with its own.
    PerUserFacts facts = OverTheShoulder();
    facts.installing.sid.clear();
    facts.installing.name.clear();
    const PerUserTargets t = ChoosePerUserTargets(facts);
    EXPECT_TRUE(InstallingAccounts(t));
    EXPECT_NE(Str(t.note).find("cannot be told from the desktop's user; they go to the installing account an "
                               "account without a name"),
              std::string::npos)
        << Str(t.note);
}

TEST(PerUserTargets, AnyMissingFolderOfTheDesktopUserKeepsEverythingWithTheInstallingAccount) {
    PString UserFolders::*const each[] = {&UserFolders::desktop, &UserFolders::programs, &UserFolders::startMenu,
                                          &UserFolders::appData, &UserFolders::localAppData};
    for (PString UserFolders::*folder : each) {
        PerUserFacts facts = OverTheShoulder();
        (facts.desktopUser.folders.*folder).clear();
        const PerUserTargets t = ChoosePerUserTargets(facts);
        EXPECT_TRUE(InstallingAccounts(t));
        EXPECT_NE(Str(t.note).find("the folders of the desktop's user CARDROOM\\lena"), std::string::npos)
            << Str(t.note);
        EXPECT_NE(Str(t.note).find("they go to the installing account CARDROOM\\admin"), std::string::npos);
    }
}

TEST(PerUserTargets, NamesOutsideCodePage1252ReachTheNoteWhole) {
    PerUserFacts facts = OverTheShoulder();
    // "\x10" marks PStringX's UTF-8 form: a Cyrillic account name.
    facts.desktopUser.name = "\x10\xd0\x9b\xd0\xb5\xd0\xbd\xd0\xb0";
    const std::string note = Str(ChoosePerUserTargets(facts).note);
    ASSERT_FALSE(note.empty());
    EXPECT_EQ(note[0], '\x10');
    EXPECT_NE(note.find("desktop's user \xd0\x9b\xd0\xb5\xd0\xbd\xd0\xb0 ("), std::string::npos) << note;
}

}  // namespace
