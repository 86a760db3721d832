#include "process_windows.h"

bool WaitUntil(const std::function<bool()>& condition, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
        if (condition())
            return true;
    return condition();
}

HWND FindProcessWindow(const char* cls, DWORD pid) {
    for (HWND w = FindWindowExA(nullptr, nullptr, cls, nullptr); w; w = FindWindowExA(nullptr, w, cls, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if ((pid == 0 || owner == pid) && IsWindowVisible(w))
            return w;
    }
    return nullptr;
}
