// Morvandite.exe: the lobby window of the card room client.
//
// The installer and the uninstaller recognise a running client by the window
// class "MorvanditeLobbyClass" and by the named mutex of the same name, so
// both must exist for as long as the client runs. A second start brings the
// running lobby to the front instead of opening another one.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "modulepath.h"
#include <shlobj.h>

#include <string>

#include "client_res.h"
#include "localetext.h"
#include "psystemdll.h"
#include "punique.h"
#include "screenscale.h"
#include "sharednames.h"

namespace {

const wchar_t kClassName[] = L"MorvanditeLobbyClass";
const wchar_t kWindowTitle[] = L"Morvandite";
const wchar_t kWorkFolder[] = L"Morvandite";  // per-user settings folder name

struct LobbyInfo {
    std::wstring installFolder;
    std::wstring settingsFile;  // empty when no user.ini was found
    std::wstring language;      // one line describing the selected language
};

LobbyInfo g_info;
// The fonts wWinMain owns, for the window procedure.
HFONT g_titleFont = nullptr;
HFONT g_labelFont = nullptr;
HFONT g_textFont = nullptr;
HICON g_bigIcon = nullptr;
int g_dpi = 96;  // the system's; the manifest declares the program DPI aware

// A length designed at 96 DPI, at the system's DPI.
int Px(int designed) { return ScaleToDpi(designed, g_dpi); }

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The installer puts user.ini into the per-user local application data
// folder where there is one, otherwise into the install folder.
std::wstring FindSettingsFile(const std::wstring& installFolder) {
    wchar_t localAppData[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                   localAppData)) &&
        localAppData[0]) {
        std::wstring candidate = std::wstring(localAppData) + L"\\" + kWorkFolder + L"\\" +
                                 SharedNames::kUserSettingsFile.wide;
        if (FileExists(candidate)) return candidate;
    }
    std::wstring candidate = installFolder + L"\\" + SharedNames::kUserSettingsFile.wide;
    return FileExists(candidate) ? candidate : std::wstring();
}

std::wstring DescribeLanguage(const std::wstring& settingsFile) {
    if (settingsFile.empty()) return L"not chosen (no user.ini found), English is used";
    wchar_t value[64] = L"";
    GetPrivateProfileStringW(L"Options", L"Locale", L"", value, 64, settingsFile.c_str());
    return DescribeLocaleValue(value);
}

void DrawLine(HDC dc, HFONT font, COLORREF colour, const std::wstring& text, RECT* box) {
    SelectedObject selected(dc, font);
    SetTextColor(dc, colour);
    RECT measure = *box;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure,
              DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), box,
              DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    box->top = measure.bottom + Px(4);
}

void Paint(HWND window) {
    const PaintScope painting(window);
    HDC dc = painting.dc();
    if (!dc) return;
    RECT client;
    GetClientRect(window, &client);

    // A felt-green header band with the product name, the details below.
    RECT header = {0, 0, client.right, Px(72)};
    {
        UniqueGdiObject felt(CreateSolidBrush(RGB(30, 107, 58)));
        FillRect(dc, &header, static_cast<HBRUSH>(felt.get()));
    }
    if (g_bigIcon) DrawIconEx(dc, Px(20), Px(20), g_bigIcon, Px(32), Px(32), 0, nullptr, DI_NORMAL);
    SetBkMode(dc, TRANSPARENT);
    RECT title = {Px(64), Px(18), client.right - Px(16), Px(60)};
    DrawLine(dc, g_titleFont, RGB(255, 255, 255), L"Morvandite lobby", &title);

    RECT box = {Px(20), Px(88), client.right - Px(20), client.bottom - Px(50)};
    DrawLine(dc, g_labelFont, RGB(80, 80, 80), L"Installed in", &box);
    DrawLine(dc, g_textFont, RGB(0, 0, 0), g_info.installFolder, &box);
    box.top += Px(8);
    DrawLine(dc, g_labelFont, RGB(80, 80, 80), L"Settings file", &box);
    DrawLine(dc, g_textFont, RGB(0, 0, 0),
             g_info.settingsFile.empty() ? L"none found" : g_info.settingsFile, &box);
    box.top += Px(8);
    DrawLine(dc, g_labelFont, RGB(80, 80, 80), L"Language", &box);
    DrawLine(dc, g_textFont, RGB(0, 0, 0), g_info.language, &box);
}

void LayoutCloseButton(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    HWND button = GetDlgItem(window, IDC_CLOSE);
    if (button)
        MoveWindow(button, client.right - Px(110), client.bottom - Px(40), Px(90), Px(28), TRUE);
}

LRESULT CALLBACK LobbyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            HWND button = CreateWindowW(L"BUTTON", L"Close",
                                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                                        90, 28, window, reinterpret_cast<HMENU>(IDC_CLOSE),
                                        reinterpret_cast<CREATESTRUCTW*>(lParam)->hInstance, nullptr);
            SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(g_textFont), TRUE);
            LayoutCloseButton(window);
            return 0;
        }
        case WM_SIZE:
            LayoutCloseButton(window);
            InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CLOSE || LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Brings the lobby of the copy that already runs to the front. It may still
// be creating its window, so look for it for a few seconds.
void ActivateRunningLobby() {
    for (int attempt = 0; attempt < 30; ++attempt) {
        HWND other = FindWindowW(kClassName, nullptr);
        if (other) {
            if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
            SetForegroundWindow(other);
            return;
        }
        Sleep(100);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    RestrictDllSearchToSystemFolder();  // before anything can load a DLL by name
    // Held until the program ends: it tells the installer and the uninstaller
    // that the client runs.
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kClassName));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunningLobby();
        return 0;
    }
    if (!mutex) {
        MessageBoxW(nullptr, L"Morvandite could not check whether it is already running.",
                    kWindowTitle, MB_OK | MB_ICONERROR);
        return 1;
    }

    g_info.installFolder = ModuleFolder();
    g_info.settingsFile = FindSettingsFile(g_info.installFolder);
    g_info.language = DescribeLanguage(g_info.settingsFile);

    g_dpi = SystemDpi();
    UniqueGdiObject titleFont = MakeTahoma(24, FW_BOLD, g_dpi);
    UniqueGdiObject labelFont = MakeTahoma(12, FW_BOLD, g_dpi);
    UniqueGdiObject textFont = MakeTahoma(14, FW_NORMAL, g_dpi);
    g_titleFont = static_cast<HFONT>(titleFont.get());
    g_labelFont = static_cast<HFONT>(labelFont.get());
    g_textFont = static_cast<HFONT>(textFont.get());
    g_bigIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_CLIENT), IMAGE_ICON, Px(32), Px(32), 0));

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = LobbyProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = g_bigIcon;
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_CLIENT), IMAGE_ICON, 16, 16, 0));
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) {
        MessageBoxW(nullptr, L"Morvandite could not register its window class.", kWindowTitle,
                    MB_OK | MB_ICONERROR);
        return 1;
    }

    HWND window = CreateWindowExW(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, Px(560), Px(360), nullptr, nullptr, instance, nullptr);
    if (!window) {
        MessageBoxW(nullptr, L"Morvandite could not create its window.", kWindowTitle,
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
