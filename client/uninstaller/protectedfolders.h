// The folders of this system that must never be removed or taken for an
// installation: the shell's folders (menus, desktop, profile, documents,
// application data, Windows, Program Files, ...), the folders the
// environment names, the temporary folder and the folder of the profiles.
// Windows only.
#pragma once

#include <string>
#include <vector>

// Each normalized (UninstallPaths::NormalizeAbsolute) and in
// UninstallPaths::LowerPath form, ready for UninstallPaths::IsUnsafeFolder.
// Folders the system cannot name are left out.
std::vector<std::wstring> ProtectedFolders();
