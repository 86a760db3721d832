// The installer's one window: a fixed-size skinned page on which the user
// picks the language, the shortcut options and the install folder, accepts
// the licence agreement and then watches the worker's progress. Windows
// only. The window, its controls and its GDI objects belong to the main
// thread, which creates it (after Create, BuildPage once) and runs its
// message loop; the worker thread only posts its codes to it
// (OnWorkerMessage). The window owns the worker and waits for it before it
// goes. Failures are logged and, where the user must act, shown in a box.
//
// One class, its definitions by concern: installwindow_win.cpp (creation,
// fonts and skins, messages, painting, boxes), installpage_win.cpp (the
// controls built from the layout table, placed, and laid out again at a new
// DPI with ui/displaydpi.h), installtexts_win.cpp (language and texts, fonts
// fitted to long translations), installreports_win.cpp (starting the worker,
// the cancel question, the worker's reports); the folder and its space in
// diskspace_win.cpp and installlocation_win.cpp.
#pragma once
#include <windows.h>

#include <cstdint>

#include "installoptions.h"
#include "InstallerThread.h"
#include "installjournal_win.h"
#include "background.h"
#include "commandline.h"
#include "desktopshell.h"
#include "dpiscale.h"
#include "installplan.h"
#include "mycontrols.h"
#include "mywindow.h"
#include "ppmsg.h"
#include "pstring.h"
#include "uiobjects.h"

// Posted by the page to itself when the payload turns out damaged while the
// page is built, so that the notice comes once the page is on screen.
constexpr UINT WM_PAYLOAD_DAMAGED = WM_USER + 101;

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
constexpr int kButtonTextMargin = 6;

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
    // One installer of a product at a time: takes the product's lock, or
    // tells the user (in -lang's language or the system's) that another
    // installer runs and returns false; the process then ends with
    // kExitAnotherInstaller. Before Create, so that no page is shown.
    bool TakeInstallLock();
    void SetLanguage(int32_t locale);
    void UpdateInstallButton();
    void UpdateControlState();
    void StartInstall();
    void ConfirmCancel();
    void OnWorkerMessage(WPARAM code, LPARAM text);

    // Plans the installation into path (installplan.h) and shows the
    // verdict: the space figures for a usable folder, or instead of them, in
    // both rows, why the folder cannot be used; then the Install button.
    // False when the folder is refused or its figures could not be computed.
    bool UpdateDiskSpace(const char* path);
    void Browse();
    // Opens the licence terms in the user's browser: through the desktop's
    // shell when the run is elevated (userstart.h).
    void OpenTermsOfService();
    // The desktop shell the page and its worker start things through; null
    // (the default) is the real one. Not owned; tests give a stand-in.
    void SetDesktopShell(DesktopShell* shell) {
        desktopShell_ = shell;
        worker_.SetDesktopShell(shell);
    }

    // For the tests that drive the page in process.
    InstallOptions& Options() { return options_; }
    InstallerWorkerThread& Worker() { return worker_; }
    const PString& InstallLocation() const { return installLocation_; }
    const PString& LocaleCode() const { return localeCode_; }
    uint64_t FreeSpace() const { return plan_.freeBytes; }
    uint64_t RequiredSpace() const { return plan_.requiredBytes; }
    const InstallPlan& Plan() const { return plan_; }
    HFONT FontOfRow(int row) const;
    // The DPI the page is laid out and drawn at: the window's, or less where
    // the monitor's work area cannot hold the page at the window's DPI.
    int Dpi() const { return scale_.Dpi(); }
    // Where a row's control goes at the page's DPI (every language measured).
    RECT PlaceRow(int row) const;
    // The control of a layout row.
    MyBaseControl& ControlOfRow(int row);

private:
    // The page's fonts at its DPI; the skins take the new ones.
    void CreateFonts();
    // Moved to a monitor with another DPI: new fonts, the suggested window
    // rectangle's position with the page's size, every control laid out again.
    void OnDpiChanged(int dpi, const RECT& suggested);
    // The page's DPI on monitor for a window drawn at dpi (see Dpi()).
    int PageDpiOn(HMONITOR monitor, int dpi) const;
    // Every control to its place at the page's DPI, with its font.
    void LayOutPage();
    // The steps of BuildPage. The folders, tracking block and language the
    // page starts with, preset by the command line; returns the locale.
    int32_t TakeStartingChoices();
    void CreateStaticRow(MyStaticBox& box, int row, int id, DWORD style);
    void CreateCheckRow(MyCheckBox& box, int row, int id, DWORD style, bool checked);
    void CreateButtonRow(MyButton& button, int row, int id, const ButtonSkin& skin);
    void CreateHeadings();
    void CreateLanguageList(int32_t selected);
    void CreateSeparators();
    void CreateOptionBoxes();
    void CreateLocationControls();
    void CreateAgreement();
    void CreateButtons();
    void CreateProgressDisplay();
    void ShowPageControls();
    void SetOptionDefaults();
    // The plan's verdict in the space rows: their texts, places and colours.
    void ShowLocationVerdict();
    // The plan's refusal as the label at box can show it whole, the folder
    // shortened in its middle where it is too long for that.
    PString FittedRefusalText(const RECT& box);
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
    // then the process ends with kExitDamaged, as nothing can be installed.
    void EndAsDamaged();
    void Quit(int code);

    InstallOptions options_;
    DesktopShell* desktopShell_ = nullptr;  // null: ExplorerDesktopShell
    InstallLock installLock_;  // held for the window's life
    InstallerWorkerThread worker_;
    InstallerCommandLineParser commandLine_;
    PString mainWindowClass_;
    PString site_;
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
    // The plan for the location box's text as it was last planned
    // (plannedText_): Install follows it only while the box still holds that text.
    InstallPlan plan_;
    PString plannedText_;

    BackgroundPicture background_;
    DpiScale scale_;
    bool configured_;
    bool damageNoticePosted_;
    bool quitPosted_;
    int quitCode_;
};
