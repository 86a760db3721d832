#include "peruser.h"

#include <initializer_list>

#include "pencoding.h"

namespace {
// The pieces one after the other, each PStringX (a name may need UTF-8).
PString Text(std::initializer_list<const char*> pieces) {
    PString text;
    for (const char* piece : pieces)
        AppendText(text, piece);
    return text;
}

// "name (sid)", or what is known of it.
PString Who(const UserAccount& account) {
    PString who = Text({account.name.empty() ? "an account without a name" : account.name.text()});
    if (!account.sid.empty())
        who = Text({who.text(), " (", account.sid.text(), ")"});
    return who;
}

bool AllFound(const UserFolders& f) {
    return !f.desktop.empty() && !f.programs.empty() && !f.startMenu.empty() && !f.appData.empty() &&
           !f.localAppData.empty();
}

PerUserTargets Installing(const PString& note) {
    PerUserTargets targets;
    targets.note = note;
    return targets;
}
}  // namespace

PerUserTargets ChoosePerUserTargets(const PerUserFacts& facts) {
    if (!facts.elevated)
        return PerUserTargets();
    const PString installing = Who(facts.installing);
    if (!facts.desktopUserFound || facts.desktopUser.sid.empty())
        return Installing(Text({"Per-user files: the desktop's user cannot be found; they go to the installing "
                                "account ",
                                installing.text()}));
    if (facts.installing.sid.empty())
        return Installing(Text({"Per-user files: the installing account's SID cannot be read, so it cannot be told "
                                "from the desktop's user; they go to the installing account ",
                                installing.text()}));
    if (PCompareNoCase(facts.desktopUser.sid.text(), facts.installing.sid.text()) == 0)
        return Installing(
            Text({"Per-user files: for the installing account ", installing.text(), ", which is the desktop's user"}));
    const PString desktopUser = Who(facts.desktopUser);
    if (!AllFound(facts.desktopUser.folders))
        return Installing(Text({"Per-user files: the folders of the desktop's user ", desktopUser.text(),
                                " cannot all be found; they go to the installing account ", installing.text()}));
    PerUserTargets targets;
    targets.desktopUsers = true;
    targets.folders = facts.desktopUser.folders;
    targets.hiveSid = facts.desktopUser.sid;
    targets.note = Text({"Per-user files: for the desktop's user ", desktopUser.text(),
                         ", not for the installing account ", installing.text()});
    return targets;
}
