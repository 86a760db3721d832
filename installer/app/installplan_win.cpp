// The installation plan (installplan.h).
#define PASSERT_SOURCE "MorvanditeInstall"
#include "installplan.h"

#include <string>
#include <vector>

#include "diskspace.h"
#include "installfolderrules.h"
#include "msgids.h"
#include "pencoding.h"
#include "protectedfolders.h"
#include "pwideapi.h"

namespace {

// This system's folders, asked of the shell once: the page plans on every
// keystroke in the location box.
struct SystemFolderLists {
    std::vector<std::wstring> protectedFolders = ProtectedFolders();
    std::vector<std::wstring> systemFolders = SystemFolders();
};
const SystemFolderLists& TheSystemFolders() {
    static const SystemFolderLists lists;
    return lists;
}

MsgRef ReasonOf(FolderRules::FolderFault fault) {
    using FolderRules::FolderFault;
    switch (fault) {
    case FolderFault::None:
        break;
    case FolderFault::NotFullPath:
        return TXTINS_it_is_not_a_full_path_startin_ELL;
    case FolderFault::BadCharacter:
        return TXTINS_it_contains_a_character_that__ELL;
    case FolderFault::TrailingDotOrBlank:
        return TXTINS_a_name_in_it_ends_with_a_dot__ELL;
    case FolderFault::ReservedName:
        return TXTINS_a_name_in_it_is_reserved_by_W_ELL;
    case FolderFault::Root:
        return TXTINS_it_is_the_root_folder_of_a_dr_ELL;
    case FolderFault::TooLong:
        return TXTINS_the_path_is_too_long;
    case FolderFault::SystemFolder:
        return TXTINS_it_is_a_folder_of_Windows_or__ELL;
    }
    return MsgRef{nullptr, 0};
}

}  // namespace

PString InstallPlan::RefusalText() const {
    if (FolderUsable())
        return PString();
    return MsgString(TXTINS_The_folder_XN0X_cannot_be_use_ELL, folder.text(), MsgString(refusal).text());
}

MsgRef InstallFolderRefusal(const char* folder, PString* normalized) {
    const SystemFolderLists& lists = TheSystemFolders();
    std::wstring usable;
    const FolderRules::FolderFault fault = FolderRules::CheckInstallFolder(
        ToWideString(folder, &PStringXEncoding), lists.protectedFolders, lists.systemFolders, &usable);
    if (fault != FolderRules::FolderFault::None)
        return ReasonOf(fault);
    // The worker could not make what the A calls cannot name.
    if (!SystemCanExpress(folder, &PStringXEncoding))
        return TXTINS_it_contains_a_character_that__ELL;
    if (normalized) {
        PString text;
        FromWide(text, usable.c_str(), &PStringXEncoding);
        *normalized = text;
    }
    return MsgRef{nullptr, 0};
}

InstallPlan PlanInstallation(const char* folder) {
    InstallPlan plan;
    plan.folder = folder ? folder : "";
    plan.refusal = InstallFolderRefusal(plan.folder.text(), &plan.folder);
    if (plan.FolderUsable()) {
        plan.spaceKnown = GetDiskSpace(plan.folder.text(), plan.freeBytes, plan.requiredBytes);
        if (!plan.spaceKnown)
            plan.freeBytes = plan.requiredBytes = 0;
    }
    return plan;
}
