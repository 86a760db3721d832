// A program copied where only administrators and the system can change it,
// for an elevated installer to start. A copy in the user's temporary folder
// could be replaced by any unelevated process of the same user between the
// copy and its start, and would then run elevated. Here the copy goes into a
// fresh folder (never one that existed before) whose access list grants
// SYSTEM and Administrators alone, and it stays open from its writing to its
// start with a sharing mode that lets others read it but neither write,
// rename nor delete it. Windows only; one thread uses one copy.
#pragma once
#include <windows.h>

#include <string>

#include "punique.h"

class AdministratorsOnlyCopy {
public:
    AdministratorsOnlyCopy() = default;
    // Copies `source` into a new folder below `parent` under the file name
    // `name` and holds it. Empty (valid() false, with the system's error code
    // in *error when given) when a step fails; nothing is left behind then.
    static AdministratorsOnlyCopy Make(const std::wstring& source, const std::wstring& parent,
                                       const std::wstring& name, DWORD* error = nullptr);

    AdministratorsOnlyCopy(AdministratorsOnlyCopy&& other) noexcept;
    AdministratorsOnlyCopy& operator=(AdministratorsOnlyCopy&& other) noexcept;
    AdministratorsOnlyCopy(const AdministratorsOnlyCopy&) = delete;
    AdministratorsOnlyCopy& operator=(const AdministratorsOnlyCopy&) = delete;
    // Lets the copy go and deletes it and its folder; what is still in use
    // (the started program) is deleted when Windows restarts.
    ~AdministratorsOnlyCopy();

    bool valid() const { return held_.valid(); }
    const std::wstring& Path() const { return path_; }
    const std::wstring& Folder() const { return folder_; }

private:
    void Remove();

    UniqueFileHandle held_;  // read access; others may only read
    std::wstring folder_;
    std::wstring path_;
};

// Where such copies go: the Windows folder's Temp, which every Windows has
// and only administrators control; empty when the system names no Windows folder.
std::wstring AdministratorsOnlyParent();

// The security descriptor of the folder (and, inherited, of the copy):
// owner Administrators, a protected access list with full control for
// SYSTEM and Administrators and nothing but reading the permissions for the
// owner's implicit rights. Null when the system cannot build it. The caller
// owns it (LocalFree).
UniqueLocalMemory AdministratorsOnlySecurity();
