// Drives a running MorvanditeInstall.exe through its window class and control
// ids, for the headless run (tools/run-headless.sh). One command per call:
//   wait [SECONDS]       until the install window is shown (exit 1 on time-out)
//   rect                 prints the window's screen rectangle: left top width height
//   state                prints the page's state, one "name=value" a line
//   agree                ticks the agreement box (exit 1 when Install stays disabled)
//   language INDEX       picks a catalogue locale in the language list
//   install              presses Install
//   close                presses the window's close box (asks the cancel question)
//   answer 6|7 [SECONDS] presses the first (6) or second (7) button of the open question
//   wait-gone [SECONDS]  until the install window has disappeared
//   folder PATH          types PATH into the location box
//   install-timed [SECONDS]
//                        presses Install and waits until the installer's process
//                        has ended; prints the seconds from the press to the
//                        exit and the exit code (for tools/bench/installer-bench.sh)
//   texts                prints the window's title and each child control's text,
//                        "ID<TAB>text" a line (the title's ID is "title")
//   box-caption [SECONDS] prints the caption of the installer's message box once
//                        one is open (also when no page is shown: -help)
//   run-timed PROGRAM [ARGS...]
//                        runs PROGRAM and prints the seconds from its start to
//                        its exit and its exit code, on the same clock
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "punique.h"

namespace {
const char kClass[] = "MorvanditeInstaller";
const char kBoxClass[] = "MyMsgBox";
const int kLanguageList = 1001, kInstall = 1002, kAgreement = 151, kProgress = 114, kLocation = 133;

HWND Installer() { return FindWindowA(kClass, nullptr); }

bool WaitFor(bool (*condition)(), double seconds) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(seconds * 1000);) {
        if (condition())
            return true;
        Sleep(100);
    }
    return condition();
}

bool Shown() {
    HWND w = Installer();
    return w && IsWindowVisible(w) && GetDlgItem(w, kInstall);
}
bool Gone() { return !Installer(); }

// A question box of the installer's process (owned by its window or not).
HWND QuestionBox() {
    HWND w = Installer();
    DWORD installer = 0;
    if (w)
        GetWindowThreadProcessId(w, &installer);
    for (HWND box = FindWindowExA(nullptr, nullptr, kBoxClass, nullptr); box;
         box = FindWindowExA(nullptr, box, kBoxClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (!installer || owner == installer)
            return box;
    }
    return nullptr;
}
bool QuestionOpen() { return QuestionBox() != nullptr; }

int Usage() {
    std::fprintf(stderr,
                 "usage: installer_driver wait|rect|state|agree|language N|install|close|answer 6|7|wait-gone|"
                 "folder PATH|texts|box-caption|install-timed|run-timed PROGRAM [ARGS]\n");
    return 2;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Waits for a process and prints "SECONDS EXITCODE" measured from start.
int ReportExit(HANDLE process, const LARGE_INTEGER& start, DWORD timeoutMs) {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "installer_driver: the process did not end in time\n");
        return 1;
    }
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    std::printf("%.3f %ld\n", Seconds(start, end), long(code));
    return 0;
}

// The command line of argv[first..]: each argument quoted.
std::string CommandLine(int argc, char** argv, int first) {
    std::string line;
    for (int i = first; i < argc; ++i) {
        if (!line.empty())
            line += ' ';
        line += '"';
        line += argv[i];
        line += '"';
    }
    return line;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const char* command = argv[1];
    const double seconds = argc > 2 ? std::atof(argv[argc - 1]) : 60;

    if (!std::strcmp(command, "wait"))
        return WaitFor(Shown, argc > 2 ? seconds : 60) ? 0 : 1;
    if (!std::strcmp(command, "wait-gone"))
        return WaitFor(Gone, argc > 2 ? seconds : 60) ? 0 : 1;
    if (!std::strcmp(command, "run-timed")) {
        if (argc < 3)
            return Usage();
        std::string line = CommandLine(argc, argv, 2);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            std::fprintf(stderr, "installer_driver: cannot start %s (error %lu)\n", argv[2], GetLastError());
            return 1;
        }
        UniqueHandle thread(info.hThread), process(info.hProcess);
        return ReportExit(process.get(), start, INFINITE);
    }

    HWND w = Installer();
    if (!std::strcmp(command, "answer")) {
        if (argc < 3)
            return Usage();
        int id = std::atoi(argv[2]);
        if (!WaitFor(QuestionOpen, argc > 3 ? seconds : 30))
            return 1;
        // The box's buttons report their click to the box with their id.
        PostMessageA(QuestionBox(), WM_COMMAND, WPARAM(id), 0);
        return 0;
    }
    if (!std::strcmp(command, "box-caption")) {
        if (!WaitFor(QuestionOpen, argc > 2 ? seconds : 30))
            return 1;
        // Another process's caption reads empty while that process is busy.
        char caption[512] = "";
        for (int tries = 0; tries < 50 && !GetWindowTextA(QuestionBox(), caption, sizeof caption); ++tries)
            Sleep(100);
        std::printf("%s\n", caption);
        return caption[0] ? 0 : 1;
    }
    if (!std::strcmp(command, "texts")) {
        if (!w)
            return 1;
        char text[2048] = "";
        GetWindowTextA(w, text, sizeof text);
        std::printf("title\t%s\n", text);
        for (HWND child = GetWindow(w, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            text[0] = 0;
            if (GetWindowTextA(child, text, sizeof text) > 0)
                std::printf("%d\t%s\n", GetDlgCtrlID(child), text);
        }
        return 0;
    }
    if (!w) {
        std::fprintf(stderr, "installer_driver: no installer window\n");
        return 1;
    }
    if (!std::strcmp(command, "rect")) {
        RECT r;
        GetWindowRect(w, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (!std::strcmp(command, "state")) {
        RECT c;
        GetClientRect(w, &c);
        HWND list = GetDlgItem(w, kLanguageList);
        LRESULT item = SendMessageA(list, CB_GETCURSEL, 0, 0);
        char title[256] = "";
        GetWindowTextA(w, title, sizeof title);
        std::printf("title=%s\nclient=%ldx%ld\nlanguage=%ld\nagreement=%ld\ninstall=%s\nprogress=%s\n", title,
                    c.right, c.bottom, item >= 0 ? long(SendMessageA(list, CB_GETITEMDATA, item, 0)) : -1L,
                    long(SendMessageA(GetDlgItem(w, kAgreement), BM_GETCHECK, 0, 0)),
                    IsWindowEnabled(GetDlgItem(w, kInstall)) ? "enabled" : "disabled",
                    IsWindowVisible(GetDlgItem(w, kProgress)) ? "shown" : "hidden");
        return 0;
    }
    if (!std::strcmp(command, "agree")) {
        HWND box = GetDlgItem(w, kAgreement);
        if (SendMessageA(box, BM_GETCHECK, 0, 0) != BST_CHECKED)
            SendMessageA(box, BM_CLICK, 0, 0);
        return IsWindowEnabled(GetDlgItem(w, kInstall)) ? 0 : 1;
    }
    if (!std::strcmp(command, "language")) {
        if (argc < 3)
            return Usage();
        HWND list = GetDlgItem(w, kLanguageList);
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            if (SendMessageA(list, CB_GETITEMDATA, i, 0) == std::atoi(argv[2])) {
                SendMessageA(list, CB_SETCURSEL, i, 0);
                PostMessageA(w, WM_COMMAND, MAKEWPARAM(kLanguageList, CBN_SELENDOK), LPARAM(list));
                return 0;
            }
        }
        return 1;
    }
    if (!std::strcmp(command, "folder")) {
        if (argc < 3)
            return Usage();
        SendMessageA(GetDlgItem(w, kLocation), WM_SETTEXT, 0, LPARAM(argv[2]));
        return 0;
    }
    if (!std::strcmp(command, "install-timed")) {
        if (!IsWindowEnabled(GetDlgItem(w, kInstall)))
            return 1;
        DWORD id = 0;
        GetWindowThreadProcessId(w, &id);
        UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id));
        if (!process) {
            std::fprintf(stderr, "installer_driver: cannot open the installer's process (error %lu)\n",
                         GetLastError());
            return 1;
        }
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        PostMessageA(w, WM_COMMAND, WPARAM(kInstall), 0);
        return ReportExit(process.get(), start, DWORD((argc > 2 ? seconds : 900) * 1000));
    }
    if (!std::strcmp(command, "install")) {
        if (!IsWindowEnabled(GetDlgItem(w, kInstall)))
            return 1;
        PostMessageA(w, WM_COMMAND, WPARAM(kInstall), 0);
        return 0;
    }
    if (!std::strcmp(command, "close")) {
        PostMessageA(w, WM_CLOSE, 0, 0);
        return 0;
    }
    return Usage();
}
