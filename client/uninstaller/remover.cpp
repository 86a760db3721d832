// Removing what an installation recorded (remover.h).
#include "remover.h"

#include <algorithm>

#include "modulepath.h"
#include "pathrules.h"
#include "punique.h"
#include "registryview.h"
#include "sharednames.h"
#include "systemcalls.h"

using namespace UninstallPaths;

namespace {

// Where an installation's browser button may be: under the root it is
// written under now, in the product's view of the hive (registryview.h), and
// under the Wow6432Node spelling of earlier installers, in both views. They
// wrote it in the default view of a 32-bit program: on Windows that is the
// literal key in HKCU and the 32-bit view's key in HKLM, both reached as the
// literal path in the 64-bit view; under Wine it doubles the node in HKLM
// (Software\Wow6432Node\Wow6432Node\...), reached in the default view. A place
// the system maps onto another is found empty the second time.
// Emptied keys above the button are removed up to `keep`: the Extensions key
// under the current root (the browser makes it again when it needs it);
// everything up to Software under the old spelling, which only those
// installers made (a user's Wow6432Node key makes Wine redirect every 32-bit
// program's HKCU\Software into it).
struct ButtonPlace {
    const wchar_t* root;
    bool currentRoot;  // view: the product's; otherwise `view` below
    REGSAM view;
    const wchar_t* keep;
    const wchar_t* viewName;  // for the log
};
const ButtonPlace kButtonPlaces[] = {
    {SharedNames::kBrowserButtonRoot.wide, true, 0, L"Software\\Microsoft\\Internet Explorer", L""},
    {SharedNames::kOldBrowserButtonRootWow64.wide, false, 0, L"Software", L""},
    {SharedNames::kOldBrowserButtonRootWow64.wide, false, KEY_WOW64_64KEY, L"Software", L" (64-bit view)"},
};
const wchar_t* const kFileListName = SharedNames::kUninstallListFile.wide;

// The hive's name as the log writes it before a key path.
std::wstring HiveName(HKEY root) {
    return root == HKEY_CURRENT_USER ? L"HKCU\\" : root == HKEY_USERS ? L"HKU\\" : L"HKLM\\";
}

// The uninstaller's own shortcut in a folder: "Uninstall <display name>.lnk".
std::wstring UninstallLinkName(const std::wstring& displayName) {
    return SharedNames::kUninstallLinkPrefix.wide + displayName + L".lnk";
}

}  // namespace

Remover::Remover(const Recorded& recorded, RunLog& log) : recorded_(recorded), log_(log) {
    self_ = CanonicalPath(ModulePath());
}

void Remover::RemovePayload() {
    if (!recorded_.haveManifest) return;
    for (const std::wstring& relative : recorded_.payload) {
        if (SameText(relative, kFileListName)) continue;  // last, after the entry
        if (IsUserSettingsName(FileNameOf(relative))) {
            log_.Line(L"Kept (user settings): " + relative);
            continue;
        }
        NoteParentFolders(relative);
        RemoveFile(recorded_.installFolder + L"\\" + relative);
    }
    NoteParentFolders(kFileListName);
}

void Remover::RemoveInstallerFiles() {
    if (!recorded_.haveManifest) return;
    RemoveFile(recorded_.installFolder + L"\\" + SharedNames::kInstallLogFile.wide);
    RemoveFile(recorded_.installFolder + L"\\" + SharedNames::kTrackingFile.wide);
    RemoveFile(recorded_.installFolder + L"\\" + UninstallLinkName(recorded_.displayName));
}

void Remover::RemoveShortcuts() {
    for (const auto& link : recorded_.links) RemoveFile(link.second);
    for (const auto& group : recorded_.groups) {
        const std::wstring& folder = group.second;
        RemoveFile(folder + L"\\" + recorded_.displayName + L".lnk");
        RemoveFile(folder + L"\\" + SharedNames::kNetworkStatusLink.wide);
        RemoveFile(folder + L"\\" + UninstallLinkName(recorded_.displayName));
        folders_.insert(folder);
    }
}

void Remover::RemoveBrowserButtons() {
    for (const UserButton& user : recorded_.userButtons)
        RemoveButton(user.root, user.prefix, user.guid);
    if (!recorded_.buttonMachine.empty())
        RemoveButton(HKEY_LOCAL_MACHINE, std::wstring(), recorded_.buttonMachine);
}

// The entry goes only when everything before it went, so that a run that
// could not finish can be repeated.
bool Remover::RemoveEntry() {
    if (!failures_.empty()) {
        log_.Line(L"Uninstall entry kept because some items could not be removed.");
        return false;
    }
    for (const UserButton& user : recorded_.userButtons) RemoveUserEntry(user);
    RemoveEmptyUserWow64Node();
    LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, recorded_.entryPath.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        Fail(L"the uninstall entry HKLM\\" + recorded_.entryPath + L": " +
             SystemText(static_cast<DWORD>(status)));
        return false;
    }
    log_.Line(L"Removed the uninstall entry HKLM\\" + recorded_.entryPath);
    if (recorded_.haveManifest) RemoveFile(recorded_.installFolder + L"\\" + kFileListName);
    return true;
}

// The user's button id lives in a key named as the entry in that user's hive:
// in the product's view, or where an earlier installer wrote it
// (recorded.cpp). The user's Uninstall key, which the installer made for this
// one value when the user had none, goes too when left empty.
void Remover::RemoveUserEntry(const UserButton& user) {
    const std::wstring path = user.prefix + recorded_.entryPath;
    for (const REGSAM view : {ProductRegistryView(user.root), REGSAM(0)}) {
        UniqueRegistryKey key;
        if (RegOpenKeyExW(user.root, path.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE | view,
                          key.put()) != ERROR_SUCCESS)
            continue;
        RegDeleteValueW(key.get(), SharedNames::kUserBrowserButtonValue.wide);
        DWORD subkeys = 0;
        DWORD values = 0;
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        key.reset();  // closed before the key itself is deleted
        if (subkeys == 0 && values == 0 && DeleteKey(user.root, path, view) == ERROR_SUCCESS)
            RemoveEmptiedParents(user.root, path, view,
                                 user.prefix + L"Software\\Microsoft\\Windows\\CurrentVersion");
    }
}

// Earlier installers made HKCU\Software\Wow6432Node for the button. No
// program reads it (HKCU\Software is not redirected), and under Wine its mere
// existence redirects every 32-bit program's HKCU\Software into it: once the
// button is gone, a node that holds no value anywhere goes too.
void Remover::RemoveEmptyUserWow64Node() {
    const std::wstring node = L"Software\\Wow6432Node";
    if (KeyExists(HKEY_CURRENT_USER, node, KEY_WOW64_64KEY) &&
        DeleteEmptyTree(HKEY_CURRENT_USER, node, KEY_WOW64_64KEY))
        log_.Line(L"Removed the empty key HKCU\\" + node);
}

void Remover::RemoveEmptyFolders() {
    if (recorded_.haveManifest) folders_.insert(recorded_.installFolder);
    std::vector<std::wstring> ordered(folders_.begin(), folders_.end());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const std::wstring& a, const std::wstring& b) {
                         return Depth(a) > Depth(b);
                     });
    for (const std::wstring& folder : ordered) {
        if (RemoveDirectoryW(folder.c_str())) {
            log_.Line(L"Removed folder: " + folder);
            continue;
        }
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) continue;
        if (keptSelf_ && SameText(folder, recorded_.installFolder) &&
            MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            log_.Line(L"Folder " + folder + L" will be removed at the next restart if it is empty.");
            continue;
        }
        log_.Line(L"Kept folder (" + SystemText(code) + L"): " + folder);
    }
}

void Remover::Fail(const std::wstring& what) {
    failures_.push_back(what);
    log_.Line(L"Could not remove " + what);
}

void Remover::NoteParentFolders(const std::wstring& relative) {
    std::wstring folder = recorded_.installFolder;
    std::vector<std::wstring> parts = SplitPath(relative);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        folder += L"\\" + parts[i];
        folders_.insert(folder);
    }
}

void Remover::RemoveFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            log_.Line(L"Already gone: " + path);
            return;
        }
        Fail(path + L": " + SystemText(code));
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        log_.Line(L"Kept (a folder where a file was installed): " + path);
        return;
    }
    if (CanonicalPath(path) == self_) {
        RemoveSelf(path);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileW(path.c_str())) {
        Fail(path + L": " + SystemText(GetLastError()));
        return;
    }
    log_.Line(L"Removed: " + path);
}

// A running program cannot delete its own file, but Windows lets it be
// renamed. Move it out of the way under a name of its own and have it
// deleted at the next restart; deleting it at restart under its installed
// name would take a reinstalled uninstaller with it.
void Remover::RemoveSelf(const std::wstring& path) {
    wchar_t temp[MAX_PATH + 1] = L"";
    std::wstring unique = L"MorvanditeUninstall-" + std::to_wstring(GetCurrentProcessId()) +
                          L"-" + std::to_wstring(GetTickCount()) + L".tmp";
    if (GetTempPathW(MAX_PATH + 1, temp)) {
        std::wstring target = std::wstring(temp) + unique;
        if (MoveFileExW(path.c_str(), target.c_str(), 0)) {
            log_.Line(L"Running from the install folder: moved " + path + L" to " + target +
                      ScheduleDelete(target));
            return;
        }
    }
    // The temporary folder is on another drive: rename in place.
    std::wstring target = recorded_.installFolder + L"\\" + unique;
    if (MoveFileExW(path.c_str(), target.c_str(), 0)) {
        keptSelf_ = true;
        log_.Line(L"Running from the install folder: renamed " + path + L" to " + target +
                  ScheduleDelete(target));
        return;
    }
    keptSelf_ = true;
    log_.Line(L"Running from the install folder: " + path +
              L" cannot be removed while it runs and is left in place (" +
              SystemText(GetLastError()) + L").");
}

std::wstring Remover::ScheduleDelete(const std::wstring& path) {
    if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return L"; it will be removed at the next restart.";
    return L"; it stays there (" + SystemText(GetLastError()) +
           L") and can be deleted by hand.";
}

// The button key is removed only when it still starts this installation's
// launcher; a key that another program has taken over is left alone.
void Remover::RemoveButton(HKEY root, const std::wstring& prefix, const std::wstring& guid) {
    const std::wstring hive = HiveName(root);
    std::wstring launcher = recorded_.installFolder + L"\\" + SharedNames::kLauncherFile.wide;
    for (const ButtonPlace& place : kButtonPlaces) {
        const REGSAM view = place.currentRoot ? ProductRegistryView(root) : place.view;
        std::wstring path = prefix + place.root + guid;
        if (!KeyExists(root, path, view)) continue;
        const std::wstring named = hive + path + place.viewName;
        std::wstring exec;
        if (ReadString(root, path, SharedNames::kBrowserButtonExecValue.wide, &exec, view) && !exec.empty() &&
            !SameText(Trim(exec), launcher)) {
            log_.Line(L"Kept browser button " + named + L": it starts " + exec);
            continue;
        }
        LONG status = DeleteKey(root, path, view);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            Fail(L"the browser button " + named + L": " + SystemText(static_cast<DWORD>(status)));
            continue;
        }
        log_.Line(L"Removed browser button " + named);
        RemoveEmptiedParents(root, path, view, prefix + place.keep);
    }
}

// The keys above `path` that are left without values and subkeys, deepest
// first, up to but not including `keep`.
void Remover::RemoveEmptiedParents(HKEY root, std::wstring path, REGSAM view, const std::wstring& keep) {
    const std::wstring hive = HiveName(root);
    for (;;) {
        const size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) return;
        path.resize(cut);
        if (path.size() <= keep.size() || !SameText(path.substr(0, keep.size()), keep) ||
            path[keep.size()] != L'\\')
            return;
        if (!KeyIsEmpty(root, path, view) || DeleteKey(root, path, view) != ERROR_SUCCESS) return;
        log_.Line(L"Removed the key it left empty: " + hive + path);
    }
}
