// Tracer.exe ("Network Status"): tells a player whether the machine has a
// network connection and whether the card room's site name resolves, the two
// things to look at first when the lobby cannot connect.
//
// Both checks run on a worker thread: name resolution can block for many
// seconds when the network is down, and the window must stay responsive.
#ifndef UNICODE
#define UNICODE
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include "modulepath.h"

#include <memory>
#include <string>
#include <vector>
#include "psystemdll.h"
#include "punique.h"
#include "screenscale.h"

namespace {

const wchar_t kClassName[] = L"MorvanditeTracerClass";
const wchar_t kWindowTitle[] = L"Network Status";
const wchar_t kDefaultSite[] = L"www.morvandite.com";

enum {
    IDC_NETWORK = 1001,
    IDC_SITE_LABEL,
    IDC_SITE,
    IDC_SOURCE,
    IDC_CHECKED,
    IDC_REFRESH,
};
const UINT WM_CHECK_DONE = WM_APP + 1;

enum class Verdict { Pending, Good, Bad };

struct CheckResult {
    unsigned generation = 0;
    bool connected = false;
    std::wstring networkText;
    bool resolved = false;
    std::wstring siteText;
};

struct CheckRequest {
    HWND window;
    unsigned generation;
    std::string host;  // empty: the configured site is unusable, skip resolving
};

struct SiteSetting {
    std::wstring host;    // valid host name or address, empty when unusable
    std::wstring source;  // where it came from, or what is wrong with it
};

struct TracerState {
    SiteSetting site;
    unsigned generation = 0;
    bool checking = false;
    Verdict network = Verdict::Pending;
    Verdict resolution = Verdict::Pending;
    HFONT font = nullptr;  // owned by RunWindow
    HFONT boldFont = nullptr;  // owned by RunWindow
    HBRUSH background = nullptr;
};

TracerState g_state;
int g_dpi = 96;  // the system's; the manifest declares the program DPI aware

// A length designed at 96 DPI, at the system's DPI.
int Px(int designed) { return ScaleToDpi(designed, g_dpi); }

std::wstring Trim(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

// Accepts a bare host name or a web address ("https://host:443/path") and
// returns the host part, or an empty string when it is not a usable name.
std::wstring HostFromSite(const std::wstring& value) {
    std::wstring host = Trim(value);
    size_t scheme = host.find(L"://");
    if (scheme != std::wstring::npos) host = host.substr(scheme + 3);
    size_t end = host.find_first_of(L"/?#");
    if (end != std::wstring::npos) host = host.substr(0, end);
    size_t at = host.rfind(L'@');
    if (at != std::wstring::npos) host = host.substr(at + 1);
    if (!host.empty() && host[0] == L'[') {  // [IPv6 literal] with optional port
        size_t close = host.find(L']');
        if (close == std::wstring::npos) return std::wstring();
        host = host.substr(1, close - 1);
    } else if (host.find(L':') == host.rfind(L':') && host.find(L':') != std::wstring::npos) {
        host = host.substr(0, host.find(L':'));  // one colon: a port
    }
    if (host.empty() || host.size() > 253) return std::wstring();
    for (wchar_t c : host) {
        bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                  (c >= L'0' && c <= L'9') || c == L'-' || c == L'.' || c == L':';
        if (!ok) return std::wstring();
    }
    return host;
}

SiteSetting ReadSiteSetting() {
    SiteSetting setting;
    std::wstring ini = ModuleFolder() + L"\\Tracer.ini";
    DWORD attributes = GetFileAttributesW(ini.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        setting.host = kDefaultSite;
        setting.source = L"Default site (Tracer.ini not found)";
        return setting;
    }
    wchar_t value[512] = L"";
    GetPrivateProfileStringW(L"Tracer", L"site", L"", value, 512, ini.c_str());
    if (!value[0]) {
        setting.host = kDefaultSite;
        setting.source = L"Default site (no site= in Tracer.ini)";
        return setting;
    }
    setting.host = HostFromSite(value);
    if (setting.host.empty())
        setting.source = L"Tracer.ini: site=" + std::wstring(value) +
                         L" is not a host name or web address";
    else
        setting.source = L"Site from Tracer.ini";
    return setting;
}

std::wstring Widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(n - 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    return wide;
}

void CheckNetwork(CheckResult* result) {
    // Resolved from the system folder at run time: iphlpapi.dll is not one of
    // the DLLs Windows always takes from there, so a static import would load
    // a copy planted beside Tracer.exe in the install folder.
    using GetAdaptersAddressesFunction = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
    const PSystemLibrary ipHelper("iphlpapi.dll");
    const auto getAdaptersAddresses = ipHelper.Function<GetAdaptersAddressesFunction>("GetAdaptersAddresses");
    if (!getAdaptersAddresses) {
        result->networkText = L"Unknown: the system's IP helper (iphlpapi.dll) could not be loaded (error " +
                              std::to_wstring(GetLastError()) + L")";
        return;
    }
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = getAdaptersAddresses(
            AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
            nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status == ERROR_NO_DATA) {
        result->networkText = L"Not connected: no network adapter";
        return;
    }
    if (status != ERROR_SUCCESS) {
        result->networkText = L"Unknown: the adapter list could not be read (error " +
                              std::to_wstring(status) + L")";
        return;
    }
    std::wstring names;
    int count = 0;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
         adapter = adapter->Next) {
        if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
        if (adapter->OperStatus != IfOperStatusUp || !adapter->FirstUnicastAddress) continue;
        if (count++ < 2) {
            if (!names.empty()) names += L", ";
            names += adapter->FriendlyName && adapter->FriendlyName[0] ? adapter->FriendlyName
                                                                       : Widen(adapter->AdapterName);
        }
    }
    result->connected = count > 0;
    if (count == 0)
        result->networkText = L"Not connected: no network adapter is up";
    else
        result->networkText = L"Connected (" + names + (count > 2 ? L", ..." : L"") + L")";
}

void ResolveSite(const std::string& host, CheckResult* result) {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    const std::unique_ptr<addrinfo, void(WSAAPI*)(addrinfo*)> list(found, freeaddrinfo);
    if (error != 0) {
        std::wstring reason = Widen(gai_strerrorA(error));
        while (!reason.empty() && (reason.back() == L' ' || reason.back() == L'.' ||
                                   reason.back() == L'\r' || reason.back() == L'\n'))
            reason.pop_back();
        result->siteText = L"Cannot be resolved: " + reason + L" (error " +
                           std::to_wstring(error) + L")";
        return;
    }
    std::wstring addresses;
    int shown = 0;
    for (addrinfo* entry = list.get(); entry && shown < 3; entry = entry->ai_next) {
        char text[NI_MAXHOST] = "";
        if (getnameinfo(entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen), text,
                        sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        std::wstring address = Widen(text);
        if (addresses.find(address) != std::wstring::npos) continue;
        if (!addresses.empty()) addresses += L", ";
        addresses += address;
        ++shown;
    }
    result->resolved = true;
    result->siteText = L"Resolves to " + (addresses.empty() ? L"an address" : addresses);
}

DWORD WINAPI CheckThread(void* parameter) {
    CheckRequest* request = static_cast<CheckRequest*>(parameter);
    CheckResult* result = new CheckResult;
    result->generation = request->generation;
    CheckNetwork(result);
    if (request->host.empty())
        result->siteText = L"Not checked: no usable site in Tracer.ini";
    else
        ResolveSite(request->host, result);
    if (!PostMessageW(request->window, WM_CHECK_DONE, 0, reinterpret_cast<LPARAM>(result)))
        delete result;  // the window is gone
    delete request;
    return 0;
}

void SetItemText(HWND window, int id, const std::wstring& text) {
    SetDlgItemTextW(window, id, text.c_str());
}

void StartCheck(HWND window) {
    if (g_state.checking) return;
    g_state.site = ReadSiteSetting();
    ++g_state.generation;
    g_state.checking = true;
    g_state.network = Verdict::Pending;
    g_state.resolution = Verdict::Pending;
    std::wstring siteLabel =
        L"Site " + (g_state.site.host.empty() ? std::wstring(L"(not set)") : g_state.site.host);
    SetItemText(window, IDC_SITE_LABEL, siteLabel);
    SetItemText(window, IDC_SOURCE, g_state.site.source);
    SetItemText(window, IDC_NETWORK, L"Checking...");
    SetItemText(window, IDC_SITE, L"Checking...");
    EnableWindow(GetDlgItem(window, IDC_REFRESH), FALSE);

    CheckRequest* request = new CheckRequest;
    request->window = window;
    request->generation = g_state.generation;
    // The host is validated to plain ASCII, so a byte-wise copy is exact.
    for (wchar_t c : g_state.site.host) request->host += static_cast<char>(c);
    // Never waited for, only closed: a stuck lookup must not block closing.
    UniqueHandle thread(CreateThread(nullptr, 0, CheckThread, request, 0, nullptr));
    if (!thread) {
        delete request;
        g_state.checking = false;
        SetItemText(window, IDC_NETWORK, L"The check could not be started (error " +
                                             std::to_wstring(GetLastError()) + L")");
        SetItemText(window, IDC_SITE, L"Not checked");
        EnableWindow(GetDlgItem(window, IDC_REFRESH), TRUE);
    }
}

void FinishCheck(HWND window, CheckResult* result) {
    if (result->generation == g_state.generation) {
        g_state.checking = false;
        g_state.network = result->connected ? Verdict::Good : Verdict::Bad;
        g_state.resolution = result->resolved ? Verdict::Good : Verdict::Bad;
        SetItemText(window, IDC_NETWORK, result->networkText);
        SetItemText(window, IDC_SITE, result->siteText);
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t stamp[64];
        wsprintfW(stamp, L"Last checked at %02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
        SetItemText(window, IDC_CHECKED, stamp);
        EnableWindow(GetDlgItem(window, IDC_REFRESH), TRUE);
    }
    delete result;
}

// Position and size in pixels at 96 DPI.
HWND AddControl(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id, int x,
                int y, int width, int height, HFONT font) {
    HWND control = CreateWindowW(kind, text, WS_CHILD | WS_VISIBLE | style, Px(x), Px(y),
                                 Px(width), Px(height), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

// Each check gets a heading line and a full-width value below it, so long
// adapter names and error texts fit.
void CreateControls(HWND window) {
    const DWORD label = SS_LEFT | SS_NOPREFIX;
    AddControl(window, L"STATIC", L"Network connection", label, 0, 16, 14, 444, 18,
               g_state.boldFont);
    AddControl(window, L"STATIC", L"", label | SS_ENDELLIPSIS, IDC_NETWORK, 16, 34, 444, 18,
               g_state.font);
    AddControl(window, L"STATIC", L"Site", label | SS_ENDELLIPSIS, IDC_SITE_LABEL, 16, 62, 444,
               18, g_state.boldFont);
    AddControl(window, L"STATIC", L"", label, IDC_SITE, 16, 82, 444, 34, g_state.font);
    AddControl(window, L"STATIC", L"", label | SS_ENDELLIPSIS, IDC_SOURCE, 16, 122, 444, 18,
               g_state.font);
    AddControl(window, L"STATIC", L"", label, IDC_CHECKED, 16, 152, 300, 18, g_state.font);
    AddControl(window, L"BUTTON", L"&Refresh", WS_TABSTOP | BS_DEFPUSHBUTTON, IDC_REFRESH, 370,
               146, 90, 26, g_state.font);
}

LRESULT CALLBACK TracerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateControls(window);
            StartCheck(window);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_REFRESH) {
                StartCheck(window);
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_CHECK_DONE:
            FinishCheck(window, reinterpret_cast<CheckResult*>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            Verdict verdict = id == IDC_NETWORK ? g_state.network
                              : id == IDC_SITE  ? g_state.resolution
                                                : Verdict::Pending;
            COLORREF colour = verdict == Verdict::Good  ? RGB(0, 120, 40)
                              : verdict == Verdict::Bad ? RGB(190, 20, 20)
                                                        : GetSysColor(COLOR_WINDOWTEXT);
            if (id == IDC_SOURCE && g_state.site.host.empty()) colour = RGB(190, 20, 20);
            SetTextColor(dc, colour);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(g_state.background);
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window from start to close; returns the exit code. The fonts live as
// long as the window.
int RunWindow(HINSTANCE instance, int show) {
    g_dpi = SystemDpi();
    UniqueGdiObject font = MakeTahoma(13, FW_NORMAL, g_dpi);
    UniqueGdiObject boldFont = MakeTahoma(13, FW_BOLD, g_dpi);
    g_state.font = static_cast<HFONT>(font.get());
    g_state.boldFont = static_cast<HFONT>(boldFont.get());
    g_state.background = GetSysColorBrush(COLOR_BTNFACE);

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = TracerProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) {
        MessageBoxW(nullptr, L"Network Status could not register its window class.", kWindowTitle,
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    RECT frame = {0, 0, Px(476), Px(186)};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowExW(0, kClassName, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        MessageBoxW(nullptr, L"Network Status could not create its window.", kWindowTitle,
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    RestrictDllSearchToSystemFolder();  // before anything can load a DLL by name
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        MessageBoxW(nullptr, L"Network Status could not start the Windows network functions.",
                    kWindowTitle, MB_OK | MB_ICONERROR);
        return 1;
    }
    int exitCode = RunWindow(instance, show);
    // Leave without waiting for a lookup that may still be stuck in the system.
    ExitProcess(static_cast<UINT>(exitCode));
}
