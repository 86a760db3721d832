// Which registry view this product's keys are read and written in, so that
// the installer, its journal and the uninstaller all reach the same keys.
// Header only (the uninstaller compiles it in); Windows only.
//
// On 64-bit Windows HKLM\Software has two views. The product is 32-bit and
// its machine keys (the uninstall entry, the all-users browser button) live
// in the 32-bit view, where the 32-bit browser and "add or remove programs"
// read them. The view is named by its flag, never by spelling Wow6432Node in
// a path: a 32-bit program that spells it reaches a key no reader uses (and
// under Wine a doubled ...\Wow6432Node\Wow6432Node\...).
// HKCU\Software is one key for 32- and 64-bit programs alike; its user keys
// are opened in the 64-bit view, which names that key as it is: the same as
// the default on Windows, and still the right key under Wine once a stray
// HKCU\Software\Wow6432Node key (which earlier installers made) has Wine
// redirect a 32-bit program's default view into it. A 32-bit Windows ignores
// both flags.
#pragma once
#include <windows.h>

// The view flag to add to the access mask of every open or create of this
// product's keys under `hive` (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER).
inline REGSAM ProductRegistryView(HKEY hive) {
    return hive == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}
