// This system's folders that an installation must keep away from, in the
// form the folder rules take them (installfolderrules.h): each normalized
// (FolderRules::NormalizeAbsolute) and in FolderRules::LowerPath form.
// Folders the system cannot name are left out. Windows only; asked of the
// shell and the environment at each call (no state), from any thread.
#pragma once

#include <string>
#include <vector>

// The folders that must never be removed or taken for an installation: the
// shell's folders (menus, desktop, profile, documents, application data,
// Windows, Program Files, ...), the folders the environment names, the
// temporary folder and the folder of the profiles. A folder below one of them
// (C:\Program Files\Morvandite) is fine; the folder itself or one that holds
// it is not (FolderRules::IsUnsafeFolder).
std::vector<std::wstring> ProtectedFolders();

// Windows' own folders (the Windows folder and its system folders), nothing
// below which may be installed either: the system's files live there, and
// it is no place for a program's.
std::vector<std::wstring> SystemFolders();
