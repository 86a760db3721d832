#include "environment.h"

#include <shlobj.h>
#include <sys/stat.h>

#include <cstring>

#include "adminonlycopy.h"
#include "buildvariant.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "punique.h"
#include "pwindowsversion.h"
#include "sharednames.h"

namespace {


// ---- Wine ----

bool HasStatMode(const char* path, unsigned mode) {
    struct _stat st;
    return _stat(path, &st) == 0 && (st.st_mode & mode) != 0;
}

bool WineRegistryValue() {
    UniqueRegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Wine\\Fonts", 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    BYTE value[100];
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExA(key.get(), "Locale", nullptr, nullptr, value, &size);
    return rc == ERROR_SUCCESS && size >= 1 && size <= sizeof value;
}

bool WineFiles(const char* windows) {
    for (const char* name : {"\\winebrowser.exe", "\\inf\\wine.inf", "\\System\\cxnative.exe"}) {
        PString path(windows);
        path.append(name);
        if (HasStatMode(path.text(), 0x8000))
            return true;
    }
    return false;
}

// ---- Folders ----

// An ANSI text from the system as PStringX.
PString FromAnsi(const char* text) {
    PWString wide;
    AnsiToWide(wide, text);
    PString out;
    FromWide(out, wide.wide(), &PStringXEncoding);
    return out;
}

PString ShellFolder(int csidl) {
    PString out;
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list)
        return out;
    if (UseWideApi()) {
        wchar_t path[MAX_PATH];
        if (SHGetPathFromIDListW(list, path))
            FromWide(out, path, &PStringXEncoding);
    } else {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(list, path))
            out = FromAnsi(path);
    }
    IMalloc* shellAllocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellAllocator)) && shellAllocator) {
        shellAllocator->Free(list);
        shellAllocator->Release();
    }
    return out;
}

PString TempFolder() {
    PString out;
    if (UseWideApi()) {
        wchar_t path[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, path);
        if (n > 0 && n <= MAX_PATH)
            FromWide(out, path, &PStringXEncoding);
    } else {
        char path[260];
        DWORD n = GetTempPathA(sizeof path, path);
        if (n > 0 && n < sizeof path)
            out = FromAnsi(path);
    }
    return out;
}

}  // namespace

bool DetectWine() {
    static const char* const kUnixFolders[3] = {"/etc", "/bin", "/usr"};
    return DetectWine(kUnixFolders);
}

bool DetectWine(const char* const (&unixFolders)[3]) {
    bool evidence = false;
    try {
        const WindowsVersion& version = RunningWindowsVersion();
        if (!version.detailed || version.major < 4)
            return false;
    } catch (const PError& e) {
        LogLine("Error in detect Linux: %s", e.why());
    }
    try {
        char windows[1024];
        UINT n = GetWindowsDirectoryA(windows, sizeof windows);
        if (n == 0 || n >= sizeof windows)
            return false;
        evidence = WineRegistryValue() || WineFiles(windows);
        if (!evidence)
            return false;
    } catch (const PError& e) {
        LogLine("Error in detect Linux 2: %s", e.why());
    }
    try {
        // Wine reaches the Unix side through such paths; Windows has no such folders.
        for (const char* folder : unixFolders)
            if (!HasStatMode(folder, 0x4000))
                return false;
        if (evidence) {
            SetWideApiMode(-1);
            return true;
        }
    } catch (const PError& e) {
        LogLine("Error in detect Linux 3: %s", e.why());
    }
    return false;
}

PString ProgramFilesFolder() {
    PString folder;
    if (!ReadMachineString("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", folder) ||
        folder.empty())
        folder = "C:\\Program Files";
    return folder;
}

DefaultFolders FindDefaultFolders(const char* productName, bool administrator) {
    DefaultFolders f;
    f.installLocation = ProgramFilesFolder();
    AppendText(f.installLocation, "\\");
    AppendText(f.installLocation, productName ? productName : "");
    f.desktopFolder = ShellFolder(CSIDL_DESKTOP);
    f.programsFolder = ShellFolder(CSIDL_PROGRAMS);
    f.startMenuFolder = ShellFolder(CSIDL_STARTMENU);
    if (administrator) {
        f.commonDesktopFolder = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
        f.commonProgramsFolder = ShellFolder(CSIDL_COMMON_PROGRAMS);
        f.commonStartMenuFolder = ShellFolder(CSIDL_COMMON_STARTMENU);
    }
    f.quickLaunchFolder = QuickLaunchFolderIn(ShellFolder(CSIDL_APPDATA));
    return f;
}

PString QuickLaunchFolderIn(const PString& appData) {
    PString folder(appData);
    if (!folder.empty())
        AppendText(folder, "\\Microsoft\\Internet Explorer\\Quick Launch");
    return folder;
}

void ApplyDefaultFolders(const DefaultFolders& folders, InstallOptions& options) {
    options.programsFolder = folders.programsFolder;
    options.commonProgramsFolder = folders.commonProgramsFolder;
    options.desktopFolder = folders.desktopFolder;
    options.commonDesktopFolder = folders.commonDesktopFolder;
    options.startMenuFolder = folders.startMenuFolder;
    options.commonStartMenuFolder = folders.commonStartMenuFolder;
    options.quickLaunchFolder = folders.quickLaunchFolder;
}

QuestionBox SkinnedQuestionBox(const MessageBoxLook& look) {
    return [look](const PString& caption, const PString& text, const PString& first, const PString& second) {
        return MyMessageBox(look.owner, caption.text(), text.text(), first.text(), second.text(), look.secondSkin,
                            look.firstSkin, look.font, 394, 212);
    };
}

bool InstanceRunning(const char* mainWindowClass) {
    // Without a class name there is no client to look for (and FindWindowA
    // would take a null class for "any window").
    if (!mainWindowClass || !*mainWindowClass)
        return false;
    if (FindWindowA(mainWindowClass, nullptr))
        return true;
    const UniqueHandle mutex(CreateMutexA(nullptr, FALSE, mainWindowClass));
    if (!mutex)
        return true;
    DWORD wait = WaitForSingleObject(mutex.get(), 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        ReleaseMutex(mutex.get());
    return wait == WAIT_TIMEOUT;
}

int CheckRunningInstance(const char* mainWindowClass, const char* displayName, const QuestionBox& ask) {
    while (InstanceRunning(mainWindowClass)) {
        int answer = ask(MsgString(TXTINS_Installing_N0, displayName),
                         MsgString(TXTINS_The_N0_Installer_has_detected__ELL, displayName), MsgString(TXTINS_Retry),
                         MsgString(TXTINS_Abort));
        // Without an answer (no box, or the application is quitting) asking
        // again would spin for ever; installing over a running client is no option.
        if (answer == kMyMsgBoxSecondButton || answer == kMyMsgBoxNoAnswer)
            return 1;
    }
    return 0;
}

bool SiblingUninstaller(const char* keyName, PString& path) {
    path.clear();
    if (!keyName || !*keyName)
        return false;
    PString subkey(SharedNames::kUninstallRoot.narrow);
    subkey.append(keyName);
    PString value;
    if (!ReadMachineString(subkey.text(), "UninstallString", value))
        return false;
    // The value is PStringX: look at its characters after any UTF-8 marker.
    const char* text = value.text();
    bool utf8 = IsPStringXUtf8(text);
    if (utf8)
        ++text;
    size_t length = std::strlen(text);
    size_t keyLength = std::strlen(keyName);
    size_t tail = keyLength + 5;  // the closing quote, " /u:" and the key
    if (length < 2 + tail || text[0] != '"')
        return false;
    const char* end = text + length - tail;
    if (PCompareNoCaseN(end, "\" /u:", 5) != 0 || PCompareNoCaseN(end + 5, keyName, keyLength) != 0)
        return false;
    if (utf8)
        path.append(char(PSTRINGX_UTF8_MARKER));
    path.append(text + 1, int(end - text - 1));
    return true;
}

bool OfferSiblingRemoval(const char* keyName, const char* productShown, const char* productName,
                         const char* displayName, const QuestionBox& ask) {
    PString path;
    if (!SiblingUninstaller(keyName, path))
        return false;
    int answer = ask(MsgString(TXTINS_Installing_N0, displayName),
                     MsgString(TXTINS_We_have_detected_a_version_of__ELL, productShown, productName),
                     MsgString(TXTINS_Yes), MsgString(TXTINS_No));
    return answer == kMyMsgBoxFirstButton;
}

namespace {
// Starts the copy with "/u:<keyName>" and waits for it to end.
void RunAndWait(const PString& copy, const char* keyName) {
    // The path is quoted: a temporary folder with blanks (as on XP) would
    // otherwise split it and push "/u:" out of the first argument.
    PString commandLine;
    AppendText(commandLine, "\"");
    AppendText(commandLine, copy.text());
    AppendText(commandLine, "\" /u:");
    AppendText(commandLine, keyName);
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!PCreateProcess(copy.text(), commandLine.text(), nullptr, &PStringXEncoding, &process))
        return;
    const UniqueHandle thread(process.hThread);
    const UniqueHandle sibling(process.hProcess);
    WaitForSingleObject(sibling.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(sibling.get(), &exitCode);
}

// Elevated: the copy goes where no unelevated process can replace it
// before it starts, and is deleted once it has ended.
void RunAdministratorsOnlyCopy(const PString& uninstaller, const char* keyName) {
    PWString source;
    ToWide(source, uninstaller.text(), &PStringXEncoding);
    source.terminate();
    DWORD error = 0;
    const AdministratorsOnlyCopy copy = AdministratorsOnlyCopy::Make(
        source.wide(), AdministratorsOnlyParent(), L"_unps.exe", &error);
    if (!copy.valid()) {
        LogLine("The uninstaller '%s' cannot be copied where only administrators can change it (error %lu); "
                "it is not started",
                uninstaller.text(), static_cast<unsigned long>(error));
        return;
    }
    PString path;
    FromWide(path, copy.Path().c_str(), &PStringXEncoding);
    RunAndWait(path, keyName);
}
}  // namespace

void RunSiblingUninstaller(const char* keyName, bool elevated) {
    try {
        PString uninstaller;
        if (!SiblingUninstaller(keyName, uninstaller))
            return;
        if (elevated) {
            RunAdministratorsOnlyCopy(uninstaller, keyName);
            return;
        }
        PString copy = TempFolder();
        if (copy.empty())
            return;
        AppendText(copy, "_unps.exe");
        CopyFile(uninstaller.text(), copy.text(), &PStringXEncoding);
        RunAndWait(copy, keyName);
    } catch (const PError& e) {
        // A sibling that cannot be removed does not stop this installation.
        LogLine("Sibling brand not removed: %s", e.why());
    }
}

void RemoveSiblingBrands(const char* productName, const char* displayName, const QuestionBox& ask, bool elevated) {
    const BuildVariant* variant = BuildOptions::current();
    if (!variant || !variant->offersSiblingRemoval)
        return;
    for (BuildIterator it(true); it.valid(); it.next()) {
        const BuildVariant& sibling = it.current();
        if (!sibling.uninstallKeyName)
            continue;
        const char* shown = sibling.productNameShown ? sibling.productNameShown : sibling.uninstallKeyName;
        if (OfferSiblingRemoval(sibling.uninstallKeyName, shown, productName, displayName, ask))
            RunSiblingUninstaller(sibling.uninstallKeyName, elevated);
    }
}
