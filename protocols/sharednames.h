// Names the installer and the programs it installs both rely on: the
// uninstall entry's key and values, the installer's resource ids, the files
// one side writes and the other reads, and the order of the locale
// catalogue whose index user.ini stores. Both sides, the build tools and the
// tests take them from here, so that they cannot drift apart unnoticed.
//
// Header only, no dependencies: the client's programs include it too. Each
// text comes in both widths (the installer is an ANSI program, the client's
// programs are Unicode): `.narrow` and `.wide` hold the same characters.
#pragma once

#include <cstddef>

struct SharedName {
    const char* narrow;
    const wchar_t* wide;
};

// "text" in both widths from one literal.
#define MORVANDITE_SHARED_NAME(text) SharedName{text, L"" text}

namespace SharedNames {

// The parent of every uninstall entry, under HKEY_LOCAL_MACHINE; the entry's
// own key is the configured key name appended to it.
inline constexpr SharedName kUninstallRoot =
    MORVANDITE_SHARED_NAME("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");

// Values of the uninstall entry that the installer writes and the
// uninstaller reads.
inline constexpr SharedName kDisplayNameValue = MORVANDITE_SHARED_NAME("DisplayName");
inline constexpr SharedName kInstallLocationValue = MORVANDITE_SHARED_NAME("InstallLocation");
inline constexpr SharedName kDesktopLinkValue = MORVANDITE_SHARED_NAME("DTLink");
inline constexpr SharedName kCommonStartMenuLinkValue = MORVANDITE_SHARED_NAME("CSMLink");
inline constexpr SharedName kStartMenuLinkValue = MORVANDITE_SHARED_NAME("SMLink");
inline constexpr SharedName kQuickLaunchLinkValue = MORVANDITE_SHARED_NAME("QLLink");
inline constexpr SharedName kStartMenuGroupValue = MORVANDITE_SHARED_NAME("SMPGroup");
inline constexpr SharedName kCommonStartMenuGroupValue = MORVANDITE_SHARED_NAME("CSMPGroup");
// The browser button's id: Button1 in the user's hive, Button2 in the machine's.
inline constexpr SharedName kUserBrowserButtonValue = MORVANDITE_SHARED_NAME("Button1");
inline constexpr SharedName kMachineBrowserButtonValue = MORVANDITE_SHARED_NAME("Button2");

// The installer's resources of type MV that tools write and the installer reads.
inline constexpr SharedName kInstallerResourceType = MORVANDITE_SHARED_NAME("MV");
constexpr int kPayloadResourceId = 130;        // the client's files, the payload archive
constexpr int kConfigResourceId = 131;         // the "define" configuration section
constexpr int kPayloadDigestResourceId = 132;  // SHA-256 of resource 130, 32 raw bytes
// The installer's digest of its own file and of its message table, a record
// mkinstaller writes last (plib/archive/imagedigest.h says what it covers).
constexpr int kImageDigestResourceId = 133;
constexpr int kMessageTableResourceId = 205;   // the message table (plib/i18n loads it by this number)

// Files in the installation folder (or the user's settings folder).
inline constexpr SharedName kUninstallerFile = MORVANDITE_SHARED_NAME("MorvanditeUninstall.exe");
inline constexpr SharedName kUninstallListFile = MORVANDITE_SHARED_NAME("uninstall.lst");
inline constexpr SharedName kInstallLogFile = MORVANDITE_SHARED_NAME("Install.log");
inline constexpr SharedName kUserSettingsFile = MORVANDITE_SHARED_NAME("user.ini");
inline constexpr SharedName kUserSettingsBackupFile = MORVANDITE_SHARED_NAME("user.ini.bak");
inline constexpr SharedName kTrackingFile = MORVANDITE_SHARED_NAME("tinfo.dat");
// The launcher every shortcut and the browser button start.
inline constexpr SharedName kLauncherFile = MORVANDITE_SHARED_NAME("MorvanditeUpdate.exe");

// Shortcuts the installer makes in the program group, which the uninstaller
// removes: "<display name>.lnk", this one for Network Status, and the
// uninstaller's, kUninstallLinkPrefix + "<display name>.lnk".
inline constexpr SharedName kNetworkStatusLink = MORVANDITE_SHARED_NAME("Network Status.lnk");
inline constexpr SharedName kUninstallLinkPrefix = MORVANDITE_SHARED_NAME("Uninstall ");

// The browser button: a key named by its GUID under kBrowserButtonRoot
// (HKLM's in the product's registry view, registryview.h), whose value Exec
// names the program it starts. Installers before 64-bit systems were handled
// wrote it on 64-bit Windows under the second spelling, in the hive's default
// view of a 32-bit program; the uninstaller still removes such keys.
inline constexpr SharedName kBrowserButtonRoot =
    MORVANDITE_SHARED_NAME("Software\\Microsoft\\Internet Explorer\\Extensions\\");
inline constexpr SharedName kOldBrowserButtonRootWow64 =
    MORVANDITE_SHARED_NAME("Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\");
inline constexpr SharedName kBrowserButtonExecValue = MORVANDITE_SHARED_NAME("Exec");

// The locale catalogue's order: user.ini's [Options] Locale holds an index
// into it, written by the installer and read by the client.
inline constexpr SharedName kLocaleCodes[] = {
    MORVANDITE_SHARED_NAME("en"),     MORVANDITE_SHARED_NAME("en-GB"),  MORVANDITE_SHARED_NAME("en-US"),
    MORVANDITE_SHARED_NAME("fr"),     MORVANDITE_SHARED_NAME("de"),     MORVANDITE_SHARED_NAME("es"),
    MORVANDITE_SHARED_NAME("ru"),     MORVANDITE_SHARED_NAME("pt"),     MORVANDITE_SHARED_NAME("nl"),
    MORVANDITE_SHARED_NAME("it"),     MORVANDITE_SHARED_NAME("pl"),     MORVANDITE_SHARED_NAME("hu"),
    MORVANDITE_SHARED_NAME("da"),     MORVANDITE_SHARED_NAME("sv"),     MORVANDITE_SHARED_NAME("fi"),
    MORVANDITE_SHARED_NAME("no"),     MORVANDITE_SHARED_NAME("ja"),     MORVANDITE_SHARED_NAME("zh-CN"),
    MORVANDITE_SHARED_NAME("zh-TW"),  MORVANDITE_SHARED_NAME("bg"),     MORVANDITE_SHARED_NAME("cs"),
    MORVANDITE_SHARED_NAME("ro"),     MORVANDITE_SHARED_NAME("sl"),     MORVANDITE_SHARED_NAME("uk"),
    MORVANDITE_SHARED_NAME("el"),     MORVANDITE_SHARED_NAME("et"),     MORVANDITE_SHARED_NAME("lt"),
    MORVANDITE_SHARED_NAME("lv"),     MORVANDITE_SHARED_NAME("pt-BR"),  MORVANDITE_SHARED_NAME("hr"),
    MORVANDITE_SHARED_NAME("ko"),     MORVANDITE_SHARED_NAME("es-419"), MORVANDITE_SHARED_NAME("sk"),
};
constexpr std::size_t kLocaleCount = sizeof kLocaleCodes / sizeof kLocaleCodes[0];

}  // namespace SharedNames
