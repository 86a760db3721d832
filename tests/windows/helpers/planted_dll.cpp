// A stand-in for a DLL an attacker leaves beside a downloaded program: it
// loads cleanly and can be recognised by its one export.
#include <windows.h>

extern "C" __declspec(dllexport) int MorvanditePlantedMarker() { return 1; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
