// Loading Windows' own DLLs without letting a planted copy in. A program
// started from a Downloads folder finds whatever lies beside it first when it
// loads a DLL by bare name; these functions make such loads come from the
// system folder only. Windows only; no other part of plib is needed (the
// client's programs build this file on its own).
#pragma once
#include <windows.h>

#include "punique.h"

// Makes the system folder the only folder that later loads by bare name
// search, process-wide (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)).
// Call it first thing in the entry point, before any other thread exists.
// Returns false, changing nothing, where kernel32 lacks the function
// (Windows XP, and Vista/7 without update KB2533623): those systems are
// covered by LoadSystemLibrary's full-path route.
bool RestrictDllSearchToSystemFolder();

// Loads the system DLL `name`, a bare file name such as "shell32.dll", from
// the system folder only: LoadLibraryEx with LOAD_LIBRARY_SEARCH_SYSTEM32
// where the system understands that flag, otherwise by full path
// (LoadSystemLibraryByFullPath). Returns the module, or nullptr with the
// system's error in GetLastError(); a name with a path in it is refused with
// ERROR_INVALID_PARAMETER. The caller owns one reference (FreeLibrary, or
// hold it in a PSystemLibrary). Any thread.
HMODULE LoadSystemLibrary(const char* name);

// The route for systems without the search flags: "<GetSystemDirectory>\name".
// Same contract as LoadSystemLibrary; exposed so that tests reach it on
// systems that have the flags.
HMODULE LoadSystemLibraryByFullPath(const char* name);

// Owns one reference to a system DLL loaded by LoadSystemLibrary and frees it
// on destruction. Move-only; not shared between threads.
class PSystemLibrary {
public:
    explicit PSystemLibrary(const char* name) : module_(LoadSystemLibrary(name)) {}

    explicit operator bool() const { return bool(module_); }
    HMODULE get() const { return module_.get(); }
    // The exported function `function` cast to the pointer type F, or nullptr
    // when the DLL is not loaded or lacks it.
    template <typename F>
    F Function(const char* function) const {
        return module_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_.get(), function)))
                       : nullptr;
    }
    // Gives up ownership: the module stays loaded for the rest of the process.
    HMODULE release() { return module_.release(); }

private:
    UniqueModule module_;
};
