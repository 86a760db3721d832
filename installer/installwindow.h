// The installer's one window: a fixed-size skinned page on which the user
// picks the language, the shortcut options and the install folder, accepts
// the licence agreement and then watches the worker's progress. Also the
// rules behind the page's options, location and disk-space figures, and the
// start-up pieces WinMain is made of.
#pragma once
#include <windows.h>

#include <cstdint>

#include "InstallOptions.h"
#include "InstallerThread.h"
#include "background.h"
#include "commandline.h"
#include "dpiscale.h"
#include "mycontrols.h"
#include "mywindow.h"
#include "ppmsg.h"
#include "pstring.h"
#include "uiobjects.h"

// The module every resource, window class and window of the installer
// comes from; stored by WinMain before anything else runs.
extern HINSTANCE ModuleInstance;

// ---- Layout ------------------------------------------------------------------

enum LayoutKind : int32_t {
    LayoutLabel = 1,
    LayoutWrappingLabel = 2,
    LayoutEditBox = 3,
    LayoutFramedText = 4,
    LayoutButton = 5,
    LayoutCheckBox = 6,
    LayoutWrappingCheckBox = 7,
    LayoutRadioButton = 8,
    LayoutWrappingRadioButton = 9,
    LayoutDropDownList = 10,
};

// One row of the page: 0 width or height means "measure the text".
struct ControlLayout {
    int32_t kind;
    int32_t x, y, width, height;
    MsgRef message;        // table null: none
    const char* argument;  // %0 when the message is measured
};

constexpr int InstallLayoutRowCount = 25;
extern const ControlLayout InstallLayout[InstallLayoutRowCount];

// Rows of InstallLayout by what they hold.
enum InstallLayoutRow : int {
    RowTitle = 0,
    RowLanguagePrompt = 1,
    RowLanguageList = 2,
    RowLanguageNote = 3,
    RowSeparator1 = 4,
    RowOptionsHeading = 5,
    RowDesktop = 6,
    RowQuickLaunch = 7,
    RowStartMenu = 8,
    RowBrowserButton = 9,
    RowAllUsers = 10,
    RowSeparator2 = 11,
    RowLocationHeading = 12,
    RowLocationEdit = 13,
    RowBrowse = 14,
    RowLocationHint = 15,
    RowSpaceRequired = 16,
    RowSpaceAvailable = 17,
    RowSeparator3 = 18,
    RowAgreement = 19,
    RowAgreementLink = 20,
    RowInstall = 21,
    RowCancel = 22,
    RowInstalling = 23,
    RowProgress = 24,
};

// Control ids of the page (labels without one have 0).
enum InstallControlId : int {
    IdCancel = 105,
    IdProgress = 114,
    IdLocationEdit = 133,
    IdDesktop = 141,
    IdQuickLaunch = 142,
    IdStartMenu = 143,
    IdBrowserButton = 144,
    IdAllUsers = 150,
    IdAgreement = 151,
    IdLanguageList = 1001,
    IdInstall = 1002,
    IdBrowse = 1005,
    IdAgreementLink = 1006,
};

// The page's client size: the largest right and bottom edges of the rows
// that have both a position and a size (at least 200 by 390), plus a
// 20-pixel margin on the right. 715 by 574 for InstallLayout.
SIZE LayoutClientSize(const ControlLayout* rows, int count);

// Where a row's control goes inside parent. A missing width or height is
// measured from the row's message in every offered locale (locale -1, the
// %0 argument being `argument`, or the row's own when null) or in one
// locale, with font (null: the stock GUI font); then clipped to parent. The
// row's pixels are those of 96 DPI, scaled by their edges to dpi; font and
// parent are already at dpi.
RECT LayoutControl(const ControlLayout& row, const RECT& parent, HFONT font, int32_t locale,
                   const char* argument = nullptr, int dpi = DesignDpi);

// ---- Options and location ------------------------------------------------------

// The system calls behind the disk-space figures; replaceable for tests.
struct DiskSpaceQueries {
    using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    using FreeSpace = BOOL(WINAPI*)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
    using Required = uint32_t (*)(uint32_t clusterSize);
    using DriveType = UINT(WINAPI*)(LPCSTR root);
    FreeSpaceEx freeSpaceEx;  // null: the older call is used
    FreeSpace freeSpace;
    Required required;        // the payload's on-disk size for a cluster size
    DriveType driveType;      // of "X:\"; null: GetDriveTypeA
};
// Null: GetDiskFreeSpaceExA resolved from kernel32 at run time,
// GetDiskFreeSpaceA, and the payload resource's estimate. Clears the cache.
void SetDiskSpaceQueries(const DiskSpaceQueries* queries);
// Forgets the one cached drive.
void ResetDiskSpaceCache();

// Bytes free on the path's drive and bytes the installation needs there
// (the payload's size rounded down to a whole MiB, plus 5 MiB). The figures
// of one drive letter (as typed) are asked once and kept. A path that does
// not start with a letter and a colon gives 0 and 0 and the success of the
// last real computation.
bool GetDiskSpace(const char* path, uint64_t& freeBytes, uint64_t& requiredBytes);
// True when the last computation failed because the payload's size could not
// be read from its header: the installer itself is damaged.
bool PayloadSizeUnreadable();

// message formatted in the current locale with %0 = the size as a whole
// number and %1 = its unit: MB up to 1024 MiB, GB above, Bytes below 1 MiB.
PString FormatSize(MsgRef message, uint64_t bytes);

// A folder the installation may go to: a folder below a drive's root
// ("C:\Games"), on a fixed drive. A drive root, a drive-relative ("C:",
// "C:Games"), relative, rooted or network path is never one.
bool IsUsableInstallFolder(const char* path);

// site + "/REDIRECTOR/" + the locale's code + "/_/help_tos".
PString TermsOfServiceAddress(const char* site, int32_t locale);

// ---- Start-up --------------------------------------------------------------------

// Windows older than XP: the 9x family, NT 4 and earlier, and Windows 2000.
bool WindowsVersionRefused(const OSVERSIONINFOA& version);
// GetVersionExA and the rule above; a failing query lets the system pass.
bool WindowsVersionRefused();
// The English notice on a refused system: one OK button, 394 by 212.
void ShowUnsupportedSystemNotice();
// The main thread's loop until WM_QUIT, offering each message to the
// window's keyboard navigation first; returns the quit code. A GetMessage
// failure is logged ("MessageLoop") and the loop goes on.
int RunMessageLoop(HWND window);
// A box with one OK button in the current locale, before any window exists
// (no owner, the small buttons' skin, the box's own font).
void ShowStartupNotice(const char* caption, const char* text, int width, int height);

// Process exit codes.
enum InstallerExitCode : int {
    ExitInstalled = 0,        // the worker reported success
    ExitSystemRefused = 1,    // Windows older than XP
    ExitNotStarted = 2,       // no message table, or no window could be made
    ExitClientRunning = 18,   // Abort at the running-copy question
    ExitCanceled = -1,        // cancel confirmed
    ExitArchiveError = 3,     // the installer's payload is damaged; nothing was written
};

// Posted by the page to itself when the payload turns out damaged while the
// page is built, so that the notice comes once the page is on screen.
constexpr UINT WM_PAYLOAD_DAMAGED = WM_USER + 101;

// ---- The window ------------------------------------------------------------------

// A skinned button whose text font can be replaced: a translation too long
// for the button is drawn in a smaller size of the skin's face.
class PageButton : public MyButton {
public:
    void SetFont(HFONT font) {
        skin_.font = font;
        if (control_)
            InvalidateRect(control_, nullptr, TRUE);
    }
    HFONT Font() const { return skin_.font; }
};

// Pixels kept free between a button's text and each of its sides.
constexpr int ButtonTextMargin = 6;

class MorvanditeInstallWindow : public MyCWnd {
public:
    MorvanditeInstallWindow(const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect,
                            HINSTANCE instance, HICON icon, int titleFontHeight, const char* commandLine);
    ~MorvanditeInstallWindow() override;

    // False when the configuration could not be read: there is nothing to create.
    bool IsConfigured() const { return configured_; }

    // The layout table's size scaled to the window's DPI.
    void GetClientSize(SIZE& size) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    int OnCommand(WPARAM wParam, LPARAM lParam) override;
    void LoadResources() override;

    // Fills the defaults, reads the tracking block, picks the language and
    // creates the controls; once, after Create.
    void BuildPage();
    void SetLanguage(int32_t locale);
    void UpdateInstallButton();
    void UpdateControlState();
    void StartInstall();
    void ConfirmCancel();
    void OnWorkerMessage(WPARAM code, LPARAM text);

    // Refreshes the figures and the Install button; false when they could
    // not be computed.
    bool UpdateDiskSpace(const char* path);
    void Browse();
    void OpenTermsOfService();

    // For the tests that drive the page in process.
    InstallOptions& Options() { return options_; }
    InstallerWorkerThread& Worker() { return worker_; }
    const PString& InstallLocation() const { return installLocation_; }
    const PString& LocaleCode() const { return localeCode_; }
    uint64_t FreeSpace() const { return freeSpace_; }
    uint64_t RequiredSpace() const { return requiredSpace_; }
    HFONT FontOfRow(int row) const;
    // The DPI the page is laid out and drawn at.
    int Dpi() const { return scale_.Dpi(); }
    // Where a row's control goes at the page's DPI (every language measured).
    RECT PlaceRow(int row) const;
    // The control of a layout row.
    MyBaseControl& ControlOfRow(int row);

private:
    // The page's fonts at its DPI; the skins take the new ones.
    void CreateFonts();
    // Moved to a monitor with another DPI: new fonts, the suggested window
    // rectangle, every control laid out again.
    void OnDpiChanged(int dpi, const RECT& suggested);
    // Every control to its place at the page's DPI, with its font.
    void LayOutPage();
    void SetOptionDefaults();
    void FillLanguageList(int32_t selected);
    // Narrows the list (placed at rect) to its longest language name.
    void NarrowLanguageList(const RECT& rect);
    void OnLanguageChange();
    void LayOutAgreement(int32_t locale);
    // Gives the buttons and the one-line option boxes a smaller size of their
    // font where the current language's text would not fit.
    void FitTexts();
    // The text of a row's message in the current locale (%0 = display name).
    PString RowText(int row) const;
    bool IsChecked(const MyBaseControl& box) const;
    void PostCheck(MyBaseControl& box, bool checked);
    // Message boxes of the page; a quit swallowed by the box's loop is
    // posted again.
    int AskBox(const char* caption, const char* text, const char* first, const char* second,
               const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, int width, int height);
    void ShowErrorBox(MsgRef text);
    // The notice that the installer is damaged and must be downloaded again;
    // then the process ends with ExitArchiveError, as nothing can be installed.
    void EndAsDamaged();
    void Quit(int code);
    // Waits for a worker that has reported its end to finish its last lines.
    void WaitForWorker();

    InstallOptions options_;
    InstallerWorkerThread worker_;
    InstallerCommandLineParser commandLine_;
    PString mainWindowClass_;
    PString site_;
    PString uninstallKey_;
    PString installLocation_;
    PString localeCode_;
    AutoDeleteUiObjectBrush pageBrush_;
    AutoDeleteUiObjectBrush barBrush_;
    AutoDeleteUiObjectFont headingFont_;
    AutoDeleteUiObjectFont subHeadingFont_;
    AutoDeleteUiObjectFont bodyFont_;
    AutoDeleteUiObjectFont linkFont_;
    AutoDeleteUiObjectFont skinFontSmall_;
    AutoDeleteUiObjectFont skinFontLarge_;
    AutoDeleteUiObjectCursor handCursor_;

    MyStaticBox titleLabel_;
    MyStaticBox languagePrompt_;
    MyStaticBox languageNote_;
    MyStaticBox optionsHeading_;
    MyComboBox languageList_;
    MyStaticBox separator1_;
    MyStaticBox separator2_;
    MyStaticBox separator3_;
    MyCheckBox desktopBox_;
    MyCheckBox quickLaunchBox_;
    MyCheckBox startMenuBox_;
    MyCheckBox browserButtonBox_;
    MyCheckBox allUsersBox_;
    MyStaticBox locationHeading_;
    MyStaticBox locationHint_;
    MyEditBox locationEdit_;
    PageButton browseButton_;
    MyStaticBox spaceRequired_;
    MyStaticBox spaceAvailable_;
    MyCheckBox agreementBox_;
    MyStaticBox agreementLink_;
    PageButton installButton_;
    PageButton cancelButton_;
    MyStaticBox installingLabel_;
    MyProgressBar progressBar_;

    AutoDeleteUiObjectBitmap skinBitmaps_[16];
    // Smaller sizes for translations too long for their control: Browse,
    // Install, Cancel and the five option boxes.
    AutoDeleteUiObjectFont fittedFonts_[8];
    // The six fonts of the DPI before the last change.
    AutoDeleteUiObjectFont retiredFonts_[6];
    ButtonSkin skinA_;
    ButtonSkin skinB_;
    ButtonSkin skinC_;
    ButtonSkin skinD_;
    uint64_t freeSpace_;
    uint64_t requiredSpace_;

    BackgroundPicture background_;
    DpiScale scale_;
    bool configured_;
    bool damageNoticePosted_;
    bool quitPosted_;
    int quitCode_;
};
