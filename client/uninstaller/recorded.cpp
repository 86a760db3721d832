// Reading what an installation recorded (recorded.h).
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "recorded.h"

#include "accountsid.h"
#include "pathrules.h"
#include "punique.h"
#include "registryview.h"
#include "runlog.h"
#include "sharednames.h"
#include "systemcalls.h"

using namespace UninstallPaths;

namespace {

bool ReadManifest(const std::wstring& path, std::vector<std::wstring>* entries,
                  std::wstring* error) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = L"The file list " + path + L" cannot be read: " + SystemText(GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 16 * 1024 * 1024) {
        *error = L"The file list " + path + L" is too large to be a file list.";
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    BOOL read = bytes.empty() || ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()),
                                          &got, nullptr);
    if (!read || got != bytes.size()) {
        *error = L"The file list " + path + L" cannot be read: " + SystemText(GetLastError());
        return false;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    UINT codePage = CP_UTF8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                static_cast<int>(bytes.size()), nullptr, 0);
    if (n == 0 && !bytes.empty()) {
        codePage = CP_ACP;
        n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                0);
    }
    std::wstring text(n, L'\0');
    if (n) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);

    return ParseFileList(text, path, entries, error);
}

// Reads the browser button id `valueName` of the entry into `*guid`, which
// stays empty when none is recorded. False, with `*error` set, for a value
// that is not a GUID.
// Read in the product's view of the hive (registryview.h), then in this
// program's default view, where an earlier installer may have written it
// (under Wine, redirected by the Wow6432Node key it made in HKCU).
bool ReadBrowserButton(HKEY root, const std::wstring& entryPath, const wchar_t* valueName,
                       std::wstring* guid, std::wstring* error) {
    std::wstring button;
    if ((!ReadString(root, entryPath, valueName, &button, ProductRegistryView(root)) ||
         Trim(button).empty()) &&
        (!ReadString(root, entryPath, valueName, &button) || Trim(button).empty()))
        return true;
    if (!IsGuid(Trim(button))) {
        *error = L"The recorded browser button \"" + button + L"\" is not a GUID.";
        return false;
    }
    *guid = Trim(button);
    return true;
}

// The buttons other users' hives record for the entry: an administrator who
// removes the installation finds the button of the user it was installed for
// under HKEY_USERS\<sid> while that user is logged on. This account's own
// hive (HKCU, also listed there) and the classes hives are skipped. A value
// that is no GUID in another user's hive is that user's to fix: it is logged
// and skipped, and cannot stop the removal.
void FindOtherUsersButtons(Recorded* recorded, RunLog& log) {
    const std::wstring self = CurrentAccountSid();
    std::vector<std::wstring> sids;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG status =
            RegEnumKeyExW(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // no SID is that long
        if (status != ERROR_SUCCESS) break;
        const std::wstring sid(name, length);
        if (SameText(sid, self) || EndsWithNoCase(sid, L"_Classes")) continue;
        sids.push_back(sid);
    }
    for (const std::wstring& sid : sids) {
        UserButton button;
        button.root = HKEY_USERS;
        button.prefix = sid + L"\\";
        std::wstring why;
        if (!ReadBrowserButton(HKEY_USERS, button.prefix + recorded->entryPath,
                               SharedNames::kUserBrowserButtonValue.wide, &button.guid, &why)) {
            log.Line(L"Ignored in the hive of " + sid + L": " + why);
            continue;
        }
        if (button.guid.empty()) continue;
        log.Line(L"Browser button recorded for the user " + sid + L": " + button.guid);
        recorded->userButtons.push_back(button);
    }
}

}  // namespace

bool ReadRecorded(const std::wstring& key, const std::vector<std::wstring>& protectedFolders,
                  Recorded* recorded, std::wstring* error, RunLog& log) {
    recorded->entryPath = SharedNames::kUninstallRoot.wide + key;
    if (!KeyExists(HKEY_LOCAL_MACHINE, recorded->entryPath)) {
        *error = L"No installation named \"" + key +
                 L"\" is registered on this computer, so there is nothing to remove.";
        return false;
    }
    if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, SharedNames::kDisplayNameValue.wide,
                    &recorded->displayName) ||
        recorded->displayName.empty())
        recorded->displayName = key;
    if (!ValidComponent(recorded->displayName)) {
        *error = L"The recorded name \"" + recorded->displayName + L"\" cannot be part of a file name.";
        return false;
    }

    std::wstring location;
    if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath,
                    SharedNames::kInstallLocationValue.wide, &location) ||
        Trim(location).empty()) {
        *error = L"The installation \"" + key + L"\" does not record its install folder.";
        return false;
    }
    std::wstring why;
    if (!NormalizeAbsolute(location, &recorded->installFolder, &why)) {
        *error = L"The recorded install folder \"" + location + L"\" cannot be used: " + why + L".";
        return false;
    }
    if (IsUnsafeFolder(recorded->installFolder, protectedFolders)) {
        *error = L"The recorded install folder \"" + recorded->installFolder +
                 L"\" is a drive or system folder; nothing is removed from it.";
        return false;
    }
    log.Line(L"Install folder: " + recorded->installFolder);

    DWORD attributes = GetFileAttributesW(recorded->installFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            *error = L"The recorded install folder \"" + recorded->installFolder +
                     L"\" cannot be examined: " + SystemText(code);
            return false;
        }
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = L"The recorded install folder \"" + recorded->installFolder + L"\" is a file.";
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        std::wstring manifest =
            recorded->installFolder + L"\\" + SharedNames::kUninstallListFile.wide;
        if (GetFileAttributesW(manifest.c_str()) == INVALID_FILE_ATTRIBUTES) {
            *error = L"The list of installed files (" + manifest +
                     L") is missing, so the program files cannot be told from other files. "
                     L"Nothing was removed.";
            return false;
        }
        if (!ReadManifest(manifest, &recorded->payload, error)) return false;
        recorded->haveManifest = true;
        log.Line(L"File list: " + std::to_wstring(recorded->payload.size()) + L" entries");
    } else {
        log.Line(L"The install folder no longer exists; removing the rest of the installation.");
    }

    static const wchar_t* const kLinkValues[] = {
        SharedNames::kDesktopLinkValue.wide, SharedNames::kCommonStartMenuLinkValue.wide,
        SharedNames::kStartMenuLinkValue.wide, SharedNames::kQuickLaunchLinkValue.wide};
    for (const wchar_t* name : kLinkValues) {
        std::wstring value;
        if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, name, &value) || Trim(value).empty())
            continue;
        std::wstring path;
        if (!NormalizeAbsolute(value, &path, &why) || !EndsWithNoCase(path, L".lnk")) {
            *error = std::wstring(L"The recorded shortcut ") + name + L" = \"" + value +
                     L"\" is not a shortcut file" + (why.empty() ? L"" : L" (" + why + L")") + L".";
            return false;
        }
        recorded->links.emplace_back(name, path);
    }

    static const wchar_t* const kGroupValues[] = {SharedNames::kCommonStartMenuGroupValue.wide,
                                                  SharedNames::kStartMenuGroupValue.wide};
    for (const wchar_t* name : kGroupValues) {
        std::wstring value;
        if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, name, &value) || Trim(value).empty())
            continue;
        std::wstring path;
        if (!NormalizeAbsolute(value, &path, &why)) {
            *error = std::wstring(L"The recorded program group ") + name + L" = \"" + value +
                     L"\" cannot be used: " + why + L".";
            return false;
        }
        if (IsUnsafeFolder(path, protectedFolders)) {
            *error = std::wstring(L"The recorded program group ") + name + L" = \"" + path +
                     L"\" is a drive or system folder; nothing is removed from it.";
            return false;
        }
        recorded->groups.emplace_back(name, path);
    }

    UserButton own;
    if (!ReadBrowserButton(HKEY_CURRENT_USER, recorded->entryPath,
                           SharedNames::kUserBrowserButtonValue.wide, &own.guid, error))
        return false;
    if (!own.guid.empty()) recorded->userButtons.push_back(own);
    FindOtherUsersButtons(recorded, log);
    return ReadBrowserButton(HKEY_LOCAL_MACHINE, recorded->entryPath,
                             SharedNames::kMachineBrowserButtonValue.wide,
                             &recorded->buttonMachine, error);
}
