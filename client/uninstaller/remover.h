// Removing what an installation recorded (recorded.h), step by step in the
// order the uninstaller's main runs them. A step that cannot remove an item
// notes it as a failure and goes on; the uninstall entry is removed only when
// nothing failed, so that a later run can finish the job. Items already gone
// are not failures. user.ini and user.ini.bak are always kept. Every step
// notes what it did in the log. Windows only, one thread.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "recorded.h"
#include "runlog.h"

class Remover {
public:
    // `recorded` and `log` must outlive the remover.
    Remover(const Recorded& recorded, RunLog& log);

    // What could not be removed, one line each for the user.
    const std::vector<std::wstring>& failures() const { return failures_; }
    // True when the running uninstaller is one of the installed files and
    // could only be moved aside or left for the next restart.
    bool keptSelf() const { return keptSelf_; }

    // The files of the file list, but the list itself (RemoveEntry takes it).
    void RemovePayload();
    // The files the installer itself wrote into the install folder.
    void RemoveInstallerFiles();
    // The recorded shortcuts and the shortcuts in the recorded program groups.
    void RemoveShortcuts();
    // The browser buttons' keys that still start this installation, under
    // today's root and under the old Wow6432Node spelling, and the keys above
    // them that this leaves empty.
    void RemoveBrowserButtons();
    // The uninstall entry, then the file list; only when nothing failed
    // before. Returns true when the entry is gone. An empty HKCU Wow6432Node
    // key an earlier installer left goes with it.
    bool RemoveEntry();
    // The folders that held removed files, deepest first, where empty.
    void RemoveEmptyFolders();

private:
    void Fail(const std::wstring& what);
    void NoteParentFolders(const std::wstring& relative);
    void RemoveFile(const std::wstring& path);
    void RemoveSelf(const std::wstring& path);
    std::wstring ScheduleDelete(const std::wstring& path);
    // `prefix` goes before the key paths: "" under HKCU and HKLM, "<sid>\"
    // under HKEY_USERS.
    void RemoveButton(HKEY root, const std::wstring& prefix, const std::wstring& guid);
    void RemoveUserEntry(const UserButton& user);
    void RemoveEmptyUserWow64Node();
    void RemoveEmptiedParents(HKEY root, std::wstring path, REGSAM view, const std::wstring& keep);

    const Recorded& recorded_;
    RunLog& log_;
    std::wstring self_;
    bool keptSelf_ = false;
    std::vector<std::wstring> failures_;
    std::set<std::wstring> folders_;
};
