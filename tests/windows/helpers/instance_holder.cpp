// Stands in for a running client in the running-copy tests:
//   instance_holder --mutex NAME READY_EVENT    holds the mutex NAME
//   instance_holder --window CLASS READY_EVENT  shows a window of class CLASS
// It signals the named event READY_EVENT once it holds what it was asked to
// hold, then stays until it is terminated.
#include <windows.h>

#include <cstring>

namespace {
LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

void SignalReady(const char* eventName) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    if (std::strcmp(argv[1], "--mutex") == 0) {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[2]);
        if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS)
            return 3;
        SignalReady(argv[3]);
        Sleep(INFINITE);
        return 0;
    }
    if (std::strcmp(argv[1], "--window") == 0) {
        WNDCLASSA wc;
        std::memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = Procedure;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = argv[2];
        if (!RegisterClassA(&wc))
            return 3;
        HWND window = CreateWindowA(argv[2], "stand-in client", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                    nullptr, wc.hInstance, nullptr);
        if (!window)
            return 4;
        SignalReady(argv[3]);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
        return 0;
    }
    return 2;
}
