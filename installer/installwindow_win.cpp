#define PASSERT_SOURCE "MorvanditeInstall"
#include "installwindow.h"

#include <cstring>
#include <memory>

#include "buildvariant.h"
#include "config.h"
#include "diskspace.h"
#include "displaydpi.h"
#include "environment.h"
#include "installfailure.h"
#include "locales.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "pagelayout.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "punique.h"
#include "startup.h"
#include "tracking.h"
#include "uifont.h"
#include "unattended.h"

namespace {

constexpr COLORREF kPageColour = 0xF4F4F4;
constexpr COLORREF kBarColour = 0xD0D0D0;
constexpr COLORREF kBarLineColour = 0x999999;
constexpr COLORREF kLinkColour = 0xFF0000;       // blue
constexpr COLORREF kShortSpaceColour = 0x0000C0;  // dark red
constexpr int kBarLeft = 197;
constexpr int kPageRight = 695;
constexpr int kProgressBitmap = 217;
constexpr int kHandCursor = 220;
constexpr DWORD kLinkStyle = SS_NOTIFY;

HINSTANCE Module() { return ModuleInstance ? ModuleInstance : GetModuleHandleA(nullptr); }

void SetControlFont(const MyBaseControl& control, HFONT font) {
    if (control.Handle() && font)
        PSendMessage(control.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void EnsureHeight(RECT& r, int height) {
    if (r.bottom - r.top < height)
        r.bottom = r.top + height;
}

// A child's window rectangle in its parent's client coordinates.
RECT ChildRect(HWND child, HWND parent) {
    RECT r = {0, 0, 0, 0};
    if (child && GetWindowRect(child, &r))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
}  // namespace

// ---- Construction and resources ----------------------------------------------------

MorvanditeInstallWindow::MorvanditeInstallWindow(const wchar_t* className, const wchar_t* title, DWORD style,
                                                 const RECT& rect, HINSTANCE instance, HICON icon,
                                                 int titleFontHeight, const char* commandLine)
    : MyCWnd(titleFontHeight),
      configured_(false),
      damageNoticePosted_(false),
      quitPosted_(false),
      quitCode_(0) {
    commandLine_.Parse(commandLine);

    InstallerConfiguration config;
    if (!LoadInstallerConfiguration(config))
        return;  // logged; nothing to create
    mainWindowClass_ = config.mainWindowClass;
    site_ = config.site;
    ApplyConfiguration(config, options_);

    className_ = className ? className : L"";
    title_ = title ? title : L"";
    rect_ = rect;
    instance_ = instance;
    style_ = style;
    icon_ = icon;

    RECT desktop;
    if (GetWindowRect(GetDesktopWindow(), &desktop)) {
        const LONG dw = desktop.right - desktop.left;
        const LONG dh = desktop.bottom - desktop.top;
        const LONG w = rect.right - rect.left;
        const LONG h = rect.bottom - rect.top;
        rect_.left = (dw - w) / 2;
        rect_.right = (dw + w) / 2;
        rect_.top = (dh - h) / 2;
        rect_.bottom = (dh + h) / 2;
    }

    SetBackgroundBitmap(nullptr);
    try {
        LoadBackgroundPicture(*this, background_);
    } catch (const PError& e) {
        // The page is still usable on its plain background.
        LogLine("Background picture: %s", e.why());
    }
    configured_ = true;
}

MorvanditeInstallWindow::~MorvanditeInstallWindow() {
    // No message may reach a half-destroyed object.
    if (window_ && PGetWindowLong(window_, GWL_USERDATA) == reinterpret_cast<LONG>(this))
        PSetWindowLong(window_, GWL_USERDATA, 0);
    // The worker thread uses its object (a member) to the end: after success
    // it still writes its last log line, so it must be done before we go.
    if (worker_.IsRunning() && worker_.RunState() == kRunStatePaused)
        worker_.SetRunState(kRunStateStopRequested);
    worker_.WaitUntilEnded();
    SetBackgroundBitmap(nullptr);
    background_.bitmap.Reset();
}

void MorvanditeInstallWindow::GetClientSize(SIZE& size) {
    size = LayoutClientSize(InstallLayout, InstallLayoutRowCount);
    size.cx = scale_(size.cx);
    size.cy = scale_(size.cy);
}

void MorvanditeInstallWindow::CreateFonts() {
    // A message box open over the page (a DPI change while it asks) still
    // draws with the fonts it was given: they are kept until the next change.
    AutoDeleteUiObjectFont* current[] = {&headingFont_, &skinFontLarge_, &subHeadingFont_,
                                         &skinFontSmall_, &bodyFont_,    &linkFont_};
    for (size_t i = 0; i < sizeof current / sizeof current[0]; ++i)
        retiredFonts_[i] = static_cast<HFONT>(current[i]->Detach());
    InterfaceFont face = SelectInterfaceFont();
    const int dpi = scale_.Dpi();
    headingFont_ = CreateInterfaceFont(face, 28, 700, false, dpi);
    skinFontLarge_ = CreateInterfaceFont(face, 28, 700, false, dpi);
    face.base.lfQuality = 6;  // CLEARTYPE_NATURAL_QUALITY for everything smaller
    subHeadingFont_ = CreateInterfaceFont(face, 17, 600, false, dpi);
    skinFontSmall_ = CreateInterfaceFont(face, 17, 600, false, dpi);
    bodyFont_ = CreateInterfaceFont(face, 15, 400, false, dpi);
    linkFont_ = CreateInterfaceFont(face, 15, 400, true, dpi);
    // The skins name the fonts; the message boxes take copies of two skins.
    skinA_.font = skinFontSmall_;
    skinB_.font = skinFontSmall_;
    skinC_.font = skinFontLarge_;
    skinD_.font = skinFontLarge_;
    firstSkin_ = skinA_;
    secondSkin_ = skinB_;
}

void MorvanditeInstallWindow::LoadResources() {
    MyCWnd::LoadResources();

    // The window exists: it opened on a monitor whose DPI it now has. The
    // page takes that DPI, or less where that monitor cannot hold it.
    scale_ = DpiScale(PageDpiOn(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), WindowDpi(window_)));
    CreateFonts();

    HINSTANCE module = Module();
    handCursor_.Load(module, kHandCursor);
    pageBrush_ = CreateSolidBrush(kPageColour);
    barBrush_ = CreateSolidBrush(kBarColour);
    backgroundBrush_ = pageBrush_;

    static const int kSkinBitmaps[16] = {210, 213, 211, 218, 214, 216, 215, 219,
                                         221, 223, 222, 224, 225, 227, 226, 228};
    for (int i = 0; i < 16; ++i)
        skinBitmaps_[i].Load(module, kSkinBitmaps[i]);

    auto fill = [this](ButtonSkin& skin, int first, int width, int height, HFONT font) {
        skin.bitmapWidth = width;
        skin.height = height;
        skin.normal = skinBitmaps_[first];
        skin.pressed = skinBitmaps_[first + 1];
        skin.focused = skinBitmaps_[first + 2];
        skin.disabled = skinBitmaps_[first + 3];
        skin.font = font;
        skin.textColor = 0xFFFFFF;
        skin.disabledTextColor = 0xC0C0C0;
    };
    fill(skinA_, 0, 51, 34, skinFontSmall_);
    fill(skinB_, 4, 51, 34, skinFontSmall_);
    fill(skinC_, 8, 47, 46, skinFontLarge_);
    fill(skinD_, 12, 47, 46, skinFontLarge_);

    firstSkin_ = skinA_;
    secondSkin_ = skinB_;
    spareBitmap_.Load(module, kProgressBitmap);
}

HFONT MorvanditeInstallWindow::FontOfRow(int row) const {
    switch (row) {
    case RowTitle:
        return headingFont_;
    case RowLanguagePrompt:
    case RowOptionsHeading:
    case RowLocationHeading:
        return subHeadingFont_;
    case RowSeparator1:
    case RowSeparator2:
    case RowSeparator3:
    case RowProgress:
        return nullptr;
    case RowBrowse:
        return skinA_.font;
    case RowInstall:
        return skinD_.font;
    case RowCancel:
        return skinC_.font;
    case RowAgreementLink:
        return linkFont_;
    default:
        return bodyFont_;
    }
}

MyBaseControl& MorvanditeInstallWindow::ControlOfRow(int row) {
    MyBaseControl* const controls[InstallLayoutRowCount] = {
        &titleLabel_,          &languagePrompt_,  &languageList_,   &languageNote_,     &separator1_,
        &optionsHeading_, &desktopBox_,      &quickLaunchBox_, &startMenuBox_,     &browserButtonBox_,
        &allUsersBox_,    &separator2_,      &locationHeading_, &locationEdit_,    &browseButton_,
        &locationHint_,   &spaceRequired_,   &spaceAvailable_, &separator3_,       &agreementBox_,
        &agreementLink_,  &installButton_,   &cancelButton_,   &installingLabel_,  &progressBar_,
    };
    PASSERT(row >= 0 && row < InstallLayoutRowCount);
    return *controls[row];
}

RECT MorvanditeInstallWindow::PlaceRow(int row) const {
    // Every row is laid out in the client area up to the right margin.
    RECT parent;
    GetClientRect(window_, &parent);
    parent.right = scale_(kPageRight);
    RECT r = LayoutControl(InstallLayout[row], parent, FontOfRow(row), -1, options_.displayName.text(), scale_.Dpi());
    // The smallest heights the controls are usable at.
    switch (row) {
    case RowLanguageList:
        EnsureHeight(r, scale_(21));
        break;
    case RowAgreement:
        EnsureHeight(r, scale_(20));
        break;
    case RowInstall:
    case RowCancel:
        EnsureHeight(r, scale_(46));
        break;
    case RowProgress:
        EnsureHeight(r, scale_(34));
        break;
    default:
        break;
    }
    return r;
}

PString MorvanditeInstallWindow::RowText(int row) const {
    const MsgRef message = InstallLayout[row].message;
    if (!message.table)
        return PString();
    return MsgString(message, options_.displayName.text());
}

bool MorvanditeInstallWindow::IsChecked(const MyBaseControl& box) const {
    return box.Handle() && PSendMessage(box.Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MorvanditeInstallWindow::PostCheck(MyBaseControl& box, bool checked) {
    if (box.Handle())
        PPostMessage(box.Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- The page ---------------------------------------------------------------------------

bool MorvanditeInstallWindow::TakeInstallLock() {
    PWString name;
    ToWide(name, options_.displayName.text(), &PStringXEncoding);
    name.terminate();
    if (installLock_.Acquire(name.wide()))
        return true;
    // Before the page exists: the language -lang names, else the system's.
    int32_t locale = FindLocale(commandLine_.Switches.localeCode.text());
    if (locale < 0)
        locale = FindLocale(DefaultLocaleCode());
    if (locale >= 0)
        CurrentLocale = locale;
    const PString caption = MsgString(TXTINS_Install_N0_Software, options_.displayName.text());
    const PString text = MsgString(TXTINS_Another_N0_installer_is_runni_ELL, options_.displayName.text());
    ShowStartupNotice(caption.text(), text.text(), 394, 212);
    return false;
}

void MorvanditeInstallWindow::BuildPage() {
    const int32_t locale = TakeStartingChoices();
    // Created in this order: it is the order the keyboard moves in.
    CreateHeadings();
    CreateLanguageList(locale);
    CreateSeparators();
    CreateOptionBoxes();
    CreateLocationControls();
    CreateAgreement();
    CreateButtons();
    CreateProgressDisplay();
    ShowPageControls();
    CurrentLocale = -1;  // so that SetLanguage sets every text
    SetLanguage(locale);
    UpdateInstallButton();
    // While the user reads the page: Install then only waits for the answer.
    worker_.BeginPayloadCheck();
}

int32_t MorvanditeInstallWindow::TakeStartingChoices() {
    // A previous installation's folder wins over the default one.
    StartingChoices start = FindStartingChoices(options_);
    installLocation_ = start.installLocation;
    uninstallKey_ = start.uninstallKey;
    localeCode_ = start.localeCode;
    // The command line's switches preset the page.
    const CommandLineSwitches& switches = commandLine_.Switches;
    if (!switches.localeCode.empty())
        localeCode_ = switches.localeCode;
    if (!switches.installFolder.empty())
        installLocation_ = switches.installFolder;
    SetOptionDefaults();
    ApplyCommandLineSwitches(switches, options_);

    const int32_t offered = OfferedLocale(localeCode_.text());
    return offered >= 0 ? offered : CurrentLocale;
}

void MorvanditeInstallWindow::CreateStaticRow(MyStaticBox& box, int row, int id, DWORD style) {
    box.CreateInRect(window_, PlaceRow(row), id, RowText(row).text(), style);
    SetControlFont(box, FontOfRow(row));
}

void MorvanditeInstallWindow::CreateCheckRow(MyCheckBox& box, int row, int id, DWORD style, bool checked) {
    box.CreateInRect(window_, PlaceRow(row), id, RowText(row).text(), style);
    SetControlFont(box, FontOfRow(row));
    PostCheck(box, checked);
}

void MorvanditeInstallWindow::CreateButtonRow(MyButton& button, int row, int id, const ButtonSkin& skin) {
    button.CreateInRect(window_, PlaceRow(row), id, RowText(row).text(), skin);
}

void MorvanditeInstallWindow::CreateHeadings() {
    CreateStaticRow(titleLabel_, RowTitle, 0, 0);
    CreateStaticRow(languagePrompt_, RowLanguagePrompt, 0, 0);
    CreateStaticRow(languageNote_, RowLanguageNote, 0, 0);
    CreateStaticRow(optionsHeading_, RowOptionsHeading, 0, 0);
}

void MorvanditeInstallWindow::CreateLanguageList(int32_t selected) {
    const RECT r = PlaceRow(RowLanguageList);
    languageList_.CreateInRect(window_, r, IdLanguageList);
    SetControlFont(languageList_, FontOfRow(RowLanguageList));
    FillLanguageList(selected);
    NarrowLanguageList(r);
}

void MorvanditeInstallWindow::CreateSeparators() {
    CreateStaticRow(separator1_, RowSeparator1, 0, SS_SUNKEN);
    CreateStaticRow(separator2_, RowSeparator2, 0, SS_SUNKEN);
    CreateStaticRow(separator3_, RowSeparator3, 0, SS_SUNKEN);
}

void MorvanditeInstallWindow::CreateOptionBoxes() {
    const bool administrator = options_.hasAdminRights != 0;
    CreateCheckRow(desktopBox_, RowDesktop, IdDesktop, BS_MULTILINE, options_.desktopShortcut != 0);
    CreateCheckRow(quickLaunchBox_, RowQuickLaunch, IdQuickLaunch, BS_MULTILINE, options_.quickLaunchShortcut != 0);
    CreateCheckRow(startMenuBox_, RowStartMenu, IdStartMenu, BS_MULTILINE, options_.startMenuShortcut != 0);
    CreateCheckRow(browserButtonBox_, RowBrowserButton, IdBrowserButton, BS_MULTILINE, options_.browserButton != 0);
    CreateCheckRow(allUsersBox_, RowAllUsers, IdAllUsers, BS_MULTILINE, administrator && options_.allUsers);
}

void MorvanditeInstallWindow::CreateLocationControls() {
    CreateStaticRow(locationHeading_, RowLocationHeading, 0, 0);
    CreateStaticRow(locationHint_, RowLocationHint, 0, 0);
    locationEdit_.CreateInRect(window_, PlaceRow(RowLocationEdit), IdLocationEdit, false, false, false, true, false);
    SetControlFont(locationEdit_, FontOfRow(RowLocationEdit));
    locationEdit_.SetText(options_.installFolder.text());
    CreateButtonRow(browseButton_, RowBrowse, IdBrowse, skinA_);
    // They show folders, whose '&' is no mnemonic.
    CreateStaticRow(spaceRequired_, RowSpaceRequired, 0, SS_NOPREFIX);
    CreateStaticRow(spaceAvailable_, RowSpaceAvailable, 0, SS_NOPREFIX);
    UpdateDiskSpace(options_.installFolder.text());
}

void MorvanditeInstallWindow::CreateAgreement() {
    CreateCheckRow(agreementBox_, RowAgreement, IdAgreement, BS_TOP, false);
    CreateStaticRow(agreementLink_, RowAgreementLink, IdAgreementLink, kLinkStyle);
}

void MorvanditeInstallWindow::CreateButtons() {
    CreateButtonRow(installButton_, RowInstall, IdInstall, skinD_);
    CreateButtonRow(cancelButton_, RowCancel, IdCancel, skinC_);
}

void MorvanditeInstallWindow::CreateProgressDisplay() {
    CreateStaticRow(installingLabel_, RowInstalling, 0, SS_CENTER);
    ButtonSkin progress;
    progress.bitmapWidth = 13;
    progress.height = 21;
    progress.normal = spareBitmap_.Get();
    progress.textColor = 0;
    progress.disabledTextColor = 0x808080;
    progressBar_.CreateInRect(window_, PlaceRow(RowProgress), IdProgress, nullptr, progress);
    progressBar_.SetPercentage(0);
}

void MorvanditeInstallWindow::ShowPageControls() {
    // The installing label and the progress bar wait for the worker.
    for (int row = 0; row < InstallLayoutRowCount; ++row)
        if (row != RowInstalling && row != RowProgress)
            ControlOfRow(row).SetVisible(true);
    EnableWindow(allUsersBox_.Handle(), options_.hasAdminRights != 0);
    ShowLocationVerdict();  // a refused folder's reason takes both space rows
}

void MorvanditeInstallWindow::FillLanguageList(int32_t selected) {
    HWND list = languageList_.Handle();
    if (!list)
        return;
    for (LocaleIterator it; !it.atEnd(); it.next()) {
        PString name;
        LanguageName(name, it.index());
        LRESULT item = PComboAddString(list, name.text(), &PStringXEncoding);
        if (item < 0)
            continue;
        PSendMessage(list, CB_SETITEMDATA, WPARAM(item), LPARAM(it.index()));
        if (int32_t(it.index()) == selected)
            PSendMessage(list, CB_SETCURSEL, WPARAM(item), 0);
    }
}

void MorvanditeInstallWindow::NarrowLanguageList(const RECT& rect) {
    HWND list = languageList_.Handle();
    if (!list)
        return;
    LONG widest = 0;
    {
        const UniqueWindowDc dc(list);
        const SelectedObject listFont(dc.get(), reinterpret_cast<HFONT>(PSendMessage(list, WM_GETFONT, 0, 0)));
        for (LocaleIterator it; !it.atEnd(); it.next()) {
            PString name;
            LanguageName(name, it.index());
            RECT m = {0, 0, 0, 0};
            PDrawText(dc.get(), name.text(), &PStringXEncoding, &m, DT_CALCRECT | DT_SINGLELINE);
            if (m.right - m.left > widest)
                widest = m.right - m.left;
        }
    }

    // Narrow the list to its longest name. Its client area includes the
    // drop-down button and the frame, which the names must not run under.
    RECT client;
    if (!GetClientRect(list, &client))
        return;
    const int dpi = scale_.Dpi();
    const LONG wanted =
        widest + scale_(8) + SystemMetricForDpi(SM_CXVSCROLL, dpi) + 2 * SystemMetricForDpi(SM_CXEDGE, dpi);
    if (wanted < client.right - client.left) {
        RECT r = ChildRect(list, window_);
        LONG width = (r.right - r.left) - ((client.right - client.left) - wanted);
        // The height given at creation is the dropped-down list's height.
        MoveWindow(list, r.left, r.top, width, rect.bottom - rect.top, TRUE);
    }
}

void MorvanditeInstallWindow::SetLanguage(int32_t locale) {
    if (locale == CurrentLocale)
        return;
    CurrentLocale = locale;

    const char* displayName = options_.displayName.text();
    if (window_)
        PSetWindowText(window_, MsgString(TXTINS_Install_Morvandite, displayName).text(), &PStringXEncoding, false);

    static const int kBeforeSpace[] = {RowTitle,   RowLanguagePrompt, RowLanguageNote,  RowOptionsHeading,
                                       RowDesktop, RowQuickLaunch,    RowStartMenu,     RowBrowserButton,
                                       RowAllUsers, RowLocationHeading, RowLocationHint, RowBrowse};
    for (int row : kBeforeSpace)
        ControlOfRow(row).SetText(RowText(row).text());

    // The figures describe the folder in the edit box, which the user may
    // have changed since the page was built.
    PString path;
    if (locationEdit_.Handle())
        locationEdit_.GetText(path);
    UpdateDiskSpace(path.empty() ? options_.installFolder.text() : path.text());

    agreementBox_.SetText(RowText(RowAgreement).text());
    agreementLink_.SetText(RowText(RowAgreementLink).text());
    LayOutAgreement(locale);
    for (int row : {RowInstall, RowCancel, RowInstalling})
        ControlOfRow(row).SetText(RowText(row).text());
    FitTexts();

    if (window_)
        InvalidateRect(window_, nullptr, TRUE);
}

void MorvanditeInstallWindow::LayOutAgreement(int32_t locale) {
    if (!window_ || !agreementBox_.Handle())
        return;
    RECT parent;
    GetClientRect(window_, &parent);
    parent.top = scale_(15);
    parent.right = scale_(kPageRight);
    RECT r = LayoutControl(InstallLayout[RowAgreement], parent, bodyFont_, locale, options_.displayName.text(),
                           scale_.Dpi());
    int height = r.bottom - r.top;
    if (height < scale_(20))
        height = scale_(20);
    MoveWindow(agreementBox_.Handle(), r.left, r.top, r.right - r.left, height, TRUE);
    RECT r2 = LayoutControl(InstallLayout[RowAgreementLink], parent, linkFont_, locale, nullptr, scale_.Dpi());
    MoveWindow(agreementLink_.Handle(), r2.left, r.top + height + scale_(5), r2.right - r2.left, r2.bottom - r2.top,
               TRUE);
}

namespace {
// The largest size of font's face, at most its own and at least smallest, in
// which text fits into width pixels on one line: font itself when it fits,
// otherwise a new font that the caller owns.
HFONT FittingFont(HWND control, const char* text, HFONT font, int width, int smallest) {
    const UniqueWindowDc dc(control);
    auto measure = [&](HFONT f) {
        const SelectedObject selected(dc.get(), f);
        RECT m = {0, 0, 0, 0};
        PDrawText(dc.get(), text, &PStringXEncoding, &m, DT_CALCRECT | DT_SINGLELINE);
        return int(m.right - m.left);
    };
    const int natural = measure(font);
    HFONT chosen = font;
    LOGFONTA lf;
    if (natural > width && width > 0 && GetObjectA(font, sizeof lf, &lf)) {
        const LONG sign = lf.lfHeight < 0 ? -1 : 1;
        const LONG full = lf.lfHeight * sign;
        // From the proportional size down until it fits.
        LONG height = MulDiv(full, width, natural);
        if (height >= full)
            height = full - 1;
        for (; height >= smallest; --height) {
            lf.lfHeight = height * sign;
            UniqueGdiObject candidate(CreateFontIndirectA(&lf));
            if (!candidate)
                break;
            if (measure(static_cast<HFONT>(candidate.get())) <= width || height == smallest) {
                chosen = static_cast<HFONT>(candidate.release());
                break;
            }
        }
    }
    return chosen;
}

// Takes over a fitted font once the control has stopped using the old one.
void KeepFitted(AutoDeleteUiObjectFont& owner, HFONT chosen, HFONT base) {
    if (chosen == base)
        owner.Reset();
    else
        owner = chosen;
}
}  // namespace

void MorvanditeInstallWindow::FitTexts() {
    struct ButtonFit {
        PageButton* button;
        HFONT base;
    };
    const ButtonFit buttons[] = {{&browseButton_, skinA_.font}, {&installButton_, skinD_.font},
                                 {&cancelButton_, skinC_.font}};
    int slot = 0;
    for (const ButtonFit& b : buttons) {
        AutoDeleteUiObjectFont& owner = fittedFonts_[slot++];
        HWND h = b.button->Handle();
        if (!h || !b.base)
            continue;
        RECT client;
        GetClientRect(h, &client);
        HFONT chosen =
            FittingFont(h, b.button->Text(), b.base, client.right - 2 * scale_(ButtonTextMargin), scale_(8));
        b.button->SetFont(chosen);
        KeepFitted(owner, chosen, b.base);
    }
    // The option boxes have one line of 20 pixels: a longer text would wrap
    // out of sight.
    for (int row : {RowDesktop, RowQuickLaunch, RowStartMenu, RowBrowserButton, RowAllUsers}) {
        AutoDeleteUiObjectFont& owner = fittedFonts_[slot++];
        MyBaseControl& box = ControlOfRow(row);
        if (!box.Handle() || !bodyFont_.Get())
            continue;
        RECT client;
        GetClientRect(box.Handle(), &client);
        PString text;
        box.GetText(text);
        HFONT chosen = FittingFont(box.Handle(), text.text(), bodyFont_,
                                   client.right - SystemMetricForDpi(SM_CXHTHUMB, scale_.Dpi()), scale_(8));
        PSendMessage(box.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
        KeepFitted(owner, chosen, bodyFont_);
    }
}

// ---- Messages -------------------------------------------------------------------------

int MorvanditeInstallWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int notification = HIWORD(wParam);
    switch (id) {
    case IdCancel:
        ConfirmCancel();
        return 1;
    case IdLocationEdit:
        if (notification == EN_CHANGE) {
            PString text;
            locationEdit_.GetText(text);
            // An emptied box keeps what it showed; only Install follows it.
            if (!text.empty())
                UpdateDiskSpace(text.text());
            else
                UpdateInstallButton();
        }
        return 1;
    case IdAgreement:
        UpdateInstallButton();
        return 1;
    case IdLanguageList:
        if (notification == CBN_SELENDOK)
            OnLanguageChange();
        return 1;
    case IdInstall:
        StartInstall();
        return 1;
    case IdBrowse:
        Browse();
        return 1;
    case IdAgreementLink:
        if (notification == STN_CLICKED)
            OpenTermsOfService();
        return 1;
    default:
        return 0;
    }
}

void MorvanditeInstallWindow::OnLanguageChange() {
    HWND list = languageList_.Handle();
    LRESULT item = PSendMessage(list, CB_GETCURSEL, 0, 0);
    if (item < 0)
        return;
    int32_t chosen = int32_t(PSendMessage(list, CB_GETITEMDATA, WPARAM(item), 0));
    if (chosen == CurrentLocale)
        return;
    if (!LanguageSupported(uint32_t(chosen))) {
        PString name;
        LanguageNameIn(name, CurrentLocale, uint32_t(chosen));
        PString caption = MsgString(TXTINS_N0_Language_Support, name.text());
        PString text;
        LanguageSupportText(text, name.text(), uint32_t(chosen));
        int answer = AskBox(caption.text(), text.text(), MsgString(TXTINS_Continue).text(),
                            MsgString(TXTINS_Cancel).text(), FirstButtonSkin(), SecondButtonSkin(), 394, 302);
        if (answer == MyMsgBoxSecondButton) {
            chosen = CurrentLocale;
            LRESULT count = PSendMessage(list, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                if (int32_t(PSendMessage(list, CB_GETITEMDATA, WPARAM(i), 0)) == CurrentLocale) {
                    PSendMessage(list, CB_SETCURSEL, WPARAM(i), 0);
                    break;
                }
            }
        }
    }
    if (chosen != CurrentLocale)
        SetLanguage(chosen);
}

LRESULT MorvanditeInstallWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_DESTROY:
            Quit(kExitClientRunning);
            return 1;
        case WM_CLOSE:
            ConfirmCancel();
            return 1;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == agreementLink_.Handle() && agreementLink_.Handle()) {
                SetCursor(handCursor_);
                return 1;
            }
            return 0;
        case WM_DRAWITEM: {
            const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item && item->hwndItem && (PGetWindowLong(item->hwndItem, GWL_STYLE) & 0x0B))
                PSendMessage(item->hwndItem, WM_DRAWITEM, wParam, lParam);
            return 1;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            HWND control = reinterpret_cast<HWND>(lParam);
            if (control == agreementLink_.Handle())
                SetTextColor(dc, kLinkColour);
            // Short space, and a folder that cannot be used, in dark red.
            if (control == spaceAvailable_.Handle() && plan_.freeBytes < plan_.requiredBytes)
                SetTextColor(dc, kShortSpaceColour);
            if (control == spaceRequired_.Handle() && !plan_.FolderUsable())
                SetTextColor(dc, kShortSpaceColour);
            if (control == installingLabel_.Handle()) {
                SetBkColor(dc, kBarColour);
                return reinterpret_cast<LRESULT>(barBrush_.Get());
            }
            SetBkColor(dc, kPageColour);
            return reinterpret_cast<LRESULT>(pageBrush_.Get());
        }
        case WM_INSTALL_STATUS:
            OnWorkerMessage(wParam, lParam);
            return 1;
        case WM_PAYLOAD_DAMAGED:
            EndAsDamaged();
            return 1;
        case WM_GETDPISCALEDSIZE: {
            // The window's size at the new DPI, so that the rectangle the
            // system then suggests holds exactly the scaled page.
            const int dpi = int(wParam);
            SIZE page = LayoutClientSize(InstallLayout, InstallLayoutRowCount);
            RECT r = {0, 0, ScaleToDpi(page.cx, dpi), ScaleToDpi(page.cy, dpi)};
            if (!lParam || !AdjustWindowRectForDpi(r, DWORD(PGetWindowLong(window_, GWL_STYLE)),
                                                    DWORD(PGetWindowLong(window_, GWL_EXSTYLE)), dpi))
                return 0;  // the system scales the size itself
            reinterpret_cast<SIZE*>(lParam)->cx = r.right - r.left;
            reinterpret_cast<SIZE*>(lParam)->cy = r.bottom - r.top;
            return 1;
        }
        case WM_DPICHANGED:
            if (lParam)
                OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;  // the default procedure has nothing to add
        default:
            return 0;
        }
    } catch (...) {
        LogLine("Error in main loop");
        return 1;
    }
}

void MorvanditeInstallWindow::OnPaint() {
    const PaintScope painting(window_);
    if (HDC dc = painting.dc()) {
        SetBkMode(dc, TRANSPARENT);
        RECT cancel = ChildRect(cancelButton_.Handle(), window_);
        RECT client;
        GetClientRect(window_, &client);
        const int top = cancel.top - scale_(15);
        const int left = scale_(kBarLeft);
        RECT bar = {left, top, client.right, client.bottom};
        FillRect(dc, &bar, barBrush_);
        AutoDeleteUiObjectPen pen;
        pen = CreatePen(PS_SOLID, scale_(1), kBarLineColour);
        const SelectedObject selectedPen(dc, pen.Get());
        MoveToEx(dc, left, top, nullptr);
        LineTo(dc, client.right, top);
    }
}

int MorvanditeInstallWindow::PageDpiOn(HMONITOR monitor, int dpi) const {
    return FittingWindowDpi(monitor, dpi, LayoutClientSize(InstallLayout, InstallLayoutRowCount),
                            DWORD(PGetWindowLong(window_, GWL_STYLE)), DWORD(PGetWindowLong(window_, GWL_EXSTYLE)));
}

void MorvanditeInstallWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0)
        return;
    scale_ = DpiScale(PageDpiOn(MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST), dpi));
    CreateFonts();
    // The suggested size holds the page at the new DPI; where that monitor
    // cannot hold it and the page takes less, the window does too.
    RECT size = suggested;
    if (scale_.Dpi() < dpi) {
        const SIZE page = LayoutClientSize(InstallLayout, InstallLayoutRowCount);
        RECT fitted = {0, 0, scale_(page.cx), scale_(page.cy)};
        if (AdjustWindowRectForDpi(fitted, DWORD(PGetWindowLong(window_, GWL_STYLE)),
                                   DWORD(PGetWindowLong(window_, GWL_EXSTYLE)), dpi))
            size = {suggested.left, suggested.top, suggested.left + fitted.right - fitted.left,
                    suggested.top + fitted.bottom - fitted.top};
    }
    SetWindowPos(window_, nullptr, size.left, size.top, size.right - size.left, size.bottom - size.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutPage();
}

void MorvanditeInstallWindow::LayOutPage() {
    if (!window_)
        return;
    for (int row = 0; row < InstallLayoutRowCount; ++row) {
        MyBaseControl& control = ControlOfRow(row);
        if (!control.Handle())
            continue;
        // Buttons draw with their skin's font, which FitTexts gives them.
        if (InstallLayout[row].kind != LayoutButton)
            SetControlFont(control, FontOfRow(row));
        // The agreement box and its link follow the language's text.
        if (row == RowAgreement || row == RowAgreementLink)
            continue;
        RECT r = PlaceRow(row);
        MoveWindow(control.Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
        if (row == RowLanguageList)
            NarrowLanguageList(r);
    }
    LayOutAgreement(CurrentLocale);
    FitTexts();
    ShowLocationVerdict();  // a refusal spans both space rows, fitted to the new font
    InvalidateRect(window_, nullptr, TRUE);
}

void MorvanditeInstallWindow::UpdateInstallButton() {
    if (!installButton_.Handle())
        return;
    // The plan must be the box's: an emptied box keeps the last plan (and its
    // figures) on show, but never with Install enabled.
    PString folder;
    locationEdit_.GetText(folder);
    const bool planned = std::strcmp(folder.text(), plannedText_.text()) == 0;
    const bool allowed = IsChecked(agreementBox_) && planned && plan_.CanInstall() && !worker_.IsRunning();
    installButton_.SetEnabled(allowed);
}

void MorvanditeInstallWindow::UpdateControlState() {
    const bool running = worker_.IsRunning();
    const bool administrator = options_.hasAdminRights != 0;
    for (MyBaseControl* c : {static_cast<MyBaseControl*>(&languageList_), static_cast<MyBaseControl*>(&desktopBox_),
                             static_cast<MyBaseControl*>(&quickLaunchBox_), static_cast<MyBaseControl*>(&startMenuBox_),
                             static_cast<MyBaseControl*>(&browserButtonBox_),
                             static_cast<MyBaseControl*>(&locationEdit_), static_cast<MyBaseControl*>(&browseButton_),
                             static_cast<MyBaseControl*>(&agreementBox_)})
        c->SetEnabled(!running);
    allUsersBox_.SetEnabled(!running && administrator);
    installButton_.SetVisible(!running);
    installingLabel_.SetVisible(running);
    progressBar_.SetVisible(running);
    // Whether a worker runs is part of Install's rule: a run that ended must
    // not leave the button as it found it (disabled by a notification that
    // came while the worker ran).
    UpdateInstallButton();
}

void MorvanditeInstallWindow::StartInstall() {
    const bool administrator = options_.hasAdminRights != 0;
    options_.desktopShortcut = IsChecked(desktopBox_);
    options_.quickLaunchShortcut = IsChecked(quickLaunchBox_);
    options_.startMenuShortcut = IsChecked(startMenuBox_);
    options_.browserButton = IsChecked(browserButtonBox_);
    options_.allUsers = administrator && IsChecked(allUsersBox_);
    PString folder;
    locationEdit_.GetText(folder);
    // The figures on the page may be stale (the disk may have filled up since
    // they were computed): plan again, and refuse to start when the folder
    // cannot be used (the page shows why) or the payload does not fit.
    ResetDiskSpaceCache();
    if (!UpdateDiskSpace(folder.text()))
        return;  // refused or no figures: the page says so and Install is disabled
    if (!plan_.SpaceSuffices()) {
        ShowErrorBox(TXTINS_Not_enough_disk_spaceX_Please__ELL);
        return;
    }
    // As it is created and recorded: the worker and the registration append
    // "\name" to it.
    options_.installFolder = plan_.folder;

    const char* displayName = options_.displayName.text();
    QuestionBox ask = [this](const PString& caption, const PString& text, const PString& first,
                             const PString& second) {
        return AskBox(caption.text(), text.text(), first.text(), second.text(), FirstButtonSkin(),
                      SecondButtonSkin(), 394, 212);
    };
    if (CheckRunningInstance(mainWindowClass_.text(), displayName, ask) == 1) {
        DestroyWindow(window_);  // WM_DESTROY posts the quit code 18
        return;
    }
    RemoveSiblingBrands(options_.productName.text(), displayName, ask, options_.runsElevated != 0);

    options_.locale = CurrentLocale;
    if (!worker_.IsRunning()) {
        if (!worker_.Start(options_, window_, WM_INSTALL_STATUS))
            ShowErrorBox(TXTINS_Disk_write_errorX_Check_if_the_ELL);
    }
    UpdateControlState();
}

void MorvanditeInstallWindow::ConfirmCancel() {
    if (worker_.IsRunning())
        worker_.SetRunState(kRunStatePaused);

    PString text = MsgString(TXTINS_Are_you_sure_you_wish_to_cance_ELL_1);
    AppendChar(text, '\n');
    AppendChar(text, '\n');
    AppendMsg(text, TXTINS_Click_XResumeX_to_continue_ins_ELL);
    PString caption = MsgString(TXTINS_Installing_N0, options_.displayName.text());
    int answer = AskBox(caption.text(), text.text(), MsgString(TXTINS_Resume).text(), MsgString(TXTINS_Cancel).text(),
                        FirstButtonSkin(), SecondButtonSkin(), 394, 212);

    if (answer == MyMsgBoxSecondButton) {
        if (worker_.IsRunning())
            worker_.SetRunState(kRunStateStopRequested);
        worker_.WaitUntilEnded();
        Quit(kExitCanceled);
    }
    else if (worker_.IsRunning()) {
        worker_.SetRunState(kRunStateRunning);
    }
    UpdateControlState();
}

void MorvanditeInstallWindow::OnWorkerMessage(WPARAM wParam, LPARAM lParam) {
    const int32_t code = int32_t(wParam);
    if (code >= 0 && code != kInstallFinished) {
        // Progress comes once per whole percent (the worker posts only when
        // its figure moves); a repeated figure repaints nothing.
        const int percentage = code > 100 ? 100 : code;
        if (percentage == progressBar_.Percentage())
            return;
        progressBar_.SetPercentage(percentage);
        if (progressBar_.Handle())
            InvalidateRect(progressBar_.Handle(), nullptr, TRUE);
        return;
    }
    // The worker posts its code just before it ends: after an error the page
    // waits for that end before it lets the user choose again.
    switch (code) {
    case kInstallFinished:
        Quit(ExitCodeForCompletion(code));
        break;
    case kInstallGeneralError:
    case kInstallRegistryError:
    case kInstallErrorWithText: {
        std::unique_ptr<PString> detail(reinterpret_cast<PString*>(lParam));
        PASSERT(code != kInstallErrorWithText || lParam);
        // The run has put the machine back by now; its end (the log closed
        // and, after an undo, moved) follows at once.
        worker_.WaitUntilEnded();
        const PString text = InstallFailureText(code, detail.get(), worker_);
        PString caption = MsgString(TXTINS_Installing_N0, options_.displayName.text());
        if (code == kInstallErrorWithText)
            PMessageBox(window_, text.text(), caption.text(), &PStringXEncoding, MB_ICONERROR);
        else
            AskBox(caption.text(), text.text(), MsgString(TXTINS_OK).text(), nullptr, FirstButtonSkin(),
                   FirstButtonSkin(), 394, 212);
        UpdateControlState();
        break;
    }
    case kInstallStopped:
        break;
    case kInstallArchiveError:
        // Not a disk problem: this copy of the installer cannot install
        // anything, so the page has nothing left to offer.
        worker_.WaitUntilEnded();
        EndAsDamaged();
        break;
    default:
        break;
    }
}

int MorvanditeInstallWindow::AskBox(const char* caption, const char* text, const char* first, const char* second,
                                    const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, int width,
                                    int height) {
    int answer =
        MyMessageBox(window_, caption, text, first, second, secondSkin, firstSkin, bodyFont_, width, height);
    // The box's own loop ends on WM_QUIT without posting it again; the
    // process must still end with the code we chose.
    if (answer == MyMsgBoxNoAnswer && quitPosted_)
        PostQuitMessage(quitCode_);
    return answer;
}

void MorvanditeInstallWindow::ShowErrorBox(MsgRef text) {
    PString caption = MsgString(TXTINS_Installing_N0, options_.displayName.text());
    AskBox(caption.text(), MsgString(text).text(), MsgString(TXTINS_OK).text(), nullptr, FirstButtonSkin(),
           FirstButtonSkin(), 394, 212);
}

void MorvanditeInstallWindow::EndAsDamaged() {
    if (quitPosted_)
        return;
    // The system's error box, as for the worker's errors with text; its
    // other errors get the page's skinned box (OnWorkerMessage).
    PString caption = MsgString(TXTINS_Installing_N0, options_.displayName.text());
    PMessageBox(window_, MsgString(TXTINS_This_installer_is_damagedX_Ple_ELL).text(), caption.text(),
                &PStringXEncoding, MB_ICONERROR);
    Quit(kExitDamaged);
}

void MorvanditeInstallWindow::Quit(int code) {
    quitPosted_ = true;
    quitCode_ = code;
    PostQuitMessage(code);
}
