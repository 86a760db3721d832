// Loads one DLL by bare name the way its first argument says and reports,
// through its exit code, which copy it got:
//   dll_plant_probe plain|system|fullpath|restricted NAME
//     plain       LoadLibraryA(NAME): the ordinary search, the planted copy's chance
//     system      LoadSystemLibrary(NAME)
//     fullpath    LoadSystemLibraryByFullPath(NAME) (the route for Windows XP)
//     restricted  RestrictDllSearchToSystemFolder(), then LoadLibraryA(NAME)
// Exit 0: a copy without the planted marker; 1: the planted copy (it exports
// MorvanditePlantedMarker); 2: nothing loaded; 3: bad arguments; 4: the
// restriction was not available. It imports nothing but kernel32 and the C
// runtime, so no DLL a test plants is in the process before the probe loads it.
#include <windows.h>

#include <cstring>

#include "psystemdll.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 3;
    const char* mode = argv[1];
    const char* name = argv[2];
    HMODULE module = nullptr;
    if (std::strcmp(mode, "plain") == 0) {
        module = LoadLibraryA(name);
    } else if (std::strcmp(mode, "system") == 0) {
        module = LoadSystemLibrary(name);
    } else if (std::strcmp(mode, "fullpath") == 0) {
        module = LoadSystemLibraryByFullPath(name);
    } else if (std::strcmp(mode, "restricted") == 0) {
        if (!RestrictDllSearchToSystemFolder())
            return 4;
        module = LoadLibraryA(name);
    } else {
        return 3;
    }
    if (!module)
        return 2;
    return GetProcAddress(module, "MorvanditePlantedMarker") ? 1 : 0;
}
