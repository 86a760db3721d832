// The pieces of start-up that decide before the window exists.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "startup.h"

#include "config.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "perror.h"
#include "plog.h"
#include "ppmsg.h"
#include "pprogramresource.h"
#include "psyscalls.h"
#include "pwindowsversion.h"
#include "uiobjects.h"

HINSTANCE ModuleInstance = nullptr;

bool WindowsVersionRefused(const WindowsVersion& version) {
    if (version.platform < VER_PLATFORM_WIN32_NT)
        return true;  // Win32s and the 95/98/Me family
    if (version.platform == VER_PLATFORM_WIN32_NT)
        return version.major < 5 || (version.major == 5 && version.minor == 0);
    return false;
}

bool WindowsVersionRefused(const OSVERSIONINFOA& version) {
    WindowsVersion asked;
    asked.detailed = true;
    asked.platform = version.dwPlatformId;
    asked.major = version.dwMajorVersion;
    asked.minor = version.dwMinorVersion;
    asked.build = version.dwBuildNumber;
    return WindowsVersionRefused(asked);
}

bool WindowsVersionRefused() {
    const WindowsVersion& version = RunningWindowsVersion();
    return version.detailed && WindowsVersionRefused(version);
}

void ShowStartupNotice(const char* caption, const char* text, int width, int height) {
    HINSTANCE module = ModuleInstance ? ModuleInstance : GetModuleHandleA(nullptr);
    BitmapImage normal, focused, pressed, disabled;
    normal.Load(module, 210);
    focused.Load(module, 211);
    pressed.Load(module, 213);
    disabled.Load(module, 218);
    ButtonSkin skin;
    skin.bitmapWidth = 51;
    skin.height = 34;
    skin.normal = normal.Get();
    // 211 is the face with the focus ring and 213 the pressed one, as in
    // every other small button: the box's only button has the focus.
    skin.pressed = pressed.Get();
    skin.focused = focused.Get();
    skin.disabled = disabled.Get();
    skin.font = nullptr;
    skin.textColor = 0xFFFFFF;
    skin.disabledTextColor = 0xFFFFFF;

    PString ok = MsgString(TXTINS_OK);
    MyMessageBox(nullptr, caption, text, ok.text(), nullptr, skin, skin, nullptr, width, height);
}

PString OwnProgramFileName() {
    PString path;
    PGetModuleFileName(nullptr, path, &PStringXEncoding);
    const char* text = path.text();
    const char* name = text;
    for (const char* c = text; *c; ++c)
        if (*c == '\\' || *c == '/')
            name = c + 1;
    return PString(name);
}

PString BrandDisplayName() {
    // Only the name: the configuration's other effects (the build variant)
    // are the page's and the unattended run's.
    try {
        PProgramResource resource(kConfigurationResourceId);
        if (resource.found()) {
            InstallerConfiguration config;
            ParseConfiguration(resource.data(), resource.size(), config);
            if (!config.displayName.empty())
                return config.displayName;
        }
    } catch (const PError& e) {
        LogLine("Error read configuration: %s", e.why());
    }
    return OwnProgramFileName();
}

void ShowUnsupportedSystemNotice() {
    // No language has been chosen yet: these are the English texts.
    PString text = MsgString(TXTINS_Support_for_your_operating_sys_ELL);
    PString caption = MsgString(TXTINS_Install_Morvandite_Software, BrandDisplayName().text());
    ShowStartupNotice(caption.text(), text.text(), 394, 212);
}

int RunMessageLoop(HWND window) {
    MSG msg;
    for (;;) {
        int result = PGetMessage(&msg, nullptr, 0, 0);
        if (result == 0)
            break;
        if (result == -1) {
            LogLine("%s", PSystemError("MessageLoop", GetLastError()).why());
            continue;
        }
        if (!PIsDialogMessage(window, &msg)) {
            TranslateMessage(&msg);
            PDispatchMessage(&msg);
        }
    }
    return int(msg.wParam);
}
