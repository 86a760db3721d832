// The page of the install window: its controls built row by row from the
// layout table (pagelayout.h), placed at the page's DPI, laid out again when
// the DPI changes, and enabled as the worker and the user's choices allow.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "installwindow.h"

#include <cstring>

#include "displaydpi.h"
#include "pagelayout.h"
#include "perror.h"
#include "psyscalls.h"
#include "unattended.h"

namespace {
constexpr int kPageRight = 695;
constexpr DWORD kLinkStyle = SS_NOTIFY;

void EnsureHeight(RECT& r, int height) {
    if (r.bottom - r.top < height)
        r.bottom = r.top + height;
}
}  // namespace

HFONT MorvanditeInstallWindow::FontOfRow(int row) const {
    switch (row) {
    case kRowTitle:
        return headingFont_;
    case kRowLanguagePrompt:
    case kRowOptionsHeading:
    case kRowLocationHeading:
        return subHeadingFont_;
    case kRowSeparator1:
    case kRowSeparator2:
    case kRowSeparator3:
    case kRowProgress:
        return nullptr;
    case kRowBrowse:
        return skinA_.font;
    case kRowInstall:
        return skinD_.font;
    case kRowCancel:
        return skinC_.font;
    case kRowAgreementLink:
        return linkFont_;
    default:
        return bodyFont_;
    }
}

MyBaseControl& MorvanditeInstallWindow::ControlOfRow(int row) {
    MyBaseControl* const controls[kInstallLayoutRowCount] = {
        &titleLabel_,          &languagePrompt_,  &languageList_,   &languageNote_,     &separator1_,
        &optionsHeading_, &desktopBox_,      &quickLaunchBox_, &startMenuBox_,     &browserButtonBox_,
        &allUsersBox_,    &separator2_,      &locationHeading_, &locationEdit_,    &browseButton_,
        &locationHint_,   &spaceRequired_,   &spaceAvailable_, &separator3_,       &agreementBox_,
        &agreementLink_,  &installButton_,   &cancelButton_,   &installingLabel_,  &progressBar_,
    };
    PASSERT(row >= 0 && row < kInstallLayoutRowCount);
    return *controls[row];
}

RECT MorvanditeInstallWindow::PlaceRow(int row) const {
    // Every row is laid out in the client area up to the right margin.
    RECT parent;
    GetClientRect(window_, &parent);
    parent.right = scale_(kPageRight);
    RECT r = LayoutControl(kInstallLayout[row], parent, FontOfRow(row), -1, options_.displayName.text(), scale_.Dpi());
    // The smallest heights the controls are usable at.
    switch (row) {
    case kRowLanguageList:
        EnsureHeight(r, scale_(21));
        break;
    case kRowAgreement:
        EnsureHeight(r, scale_(20));
        break;
    case kRowInstall:
    case kRowCancel:
        EnsureHeight(r, scale_(46));
        break;
    case kRowProgress:
        EnsureHeight(r, scale_(34));
        break;
    default:
        break;
    }
    return r;
}

bool MorvanditeInstallWindow::IsChecked(const MyBaseControl& box) const {
    return box.Handle() && PSendMessage(box.Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MorvanditeInstallWindow::PostCheck(MyBaseControl& box, bool checked) {
    if (box.Handle())
        PPostMessage(box.Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
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
    CreateStaticRow(titleLabel_, kRowTitle, 0, 0);
    CreateStaticRow(languagePrompt_, kRowLanguagePrompt, 0, 0);
    CreateStaticRow(languageNote_, kRowLanguageNote, 0, 0);
    CreateStaticRow(optionsHeading_, kRowOptionsHeading, 0, 0);
}

void MorvanditeInstallWindow::CreateLanguageList(int32_t selected) {
    const RECT r = PlaceRow(kRowLanguageList);
    languageList_.CreateInRect(window_, r, kIdLanguageList);
    SetControlFont(languageList_, FontOfRow(kRowLanguageList));
    FillLanguageList(selected);
    NarrowLanguageList(r);
}

void MorvanditeInstallWindow::CreateSeparators() {
    CreateStaticRow(separator1_, kRowSeparator1, 0, SS_SUNKEN);
    CreateStaticRow(separator2_, kRowSeparator2, 0, SS_SUNKEN);
    CreateStaticRow(separator3_, kRowSeparator3, 0, SS_SUNKEN);
}

void MorvanditeInstallWindow::CreateOptionBoxes() {
    const bool administrator = options_.hasAdminRights != 0;
    CreateCheckRow(desktopBox_, kRowDesktop, kIdDesktop, BS_MULTILINE, options_.desktopShortcut != 0);
    CreateCheckRow(quickLaunchBox_, kRowQuickLaunch, kIdQuickLaunch, BS_MULTILINE, options_.quickLaunchShortcut != 0);
    CreateCheckRow(startMenuBox_, kRowStartMenu, kIdStartMenu, BS_MULTILINE, options_.startMenuShortcut != 0);
    CreateCheckRow(browserButtonBox_, kRowBrowserButton, kIdBrowserButton, BS_MULTILINE, options_.browserButton != 0);
    CreateCheckRow(allUsersBox_, kRowAllUsers, kIdAllUsers, BS_MULTILINE, administrator && options_.allUsers);
}

void MorvanditeInstallWindow::CreateLocationControls() {
    CreateStaticRow(locationHeading_, kRowLocationHeading, 0, 0);
    CreateStaticRow(locationHint_, kRowLocationHint, 0, 0);
    locationEdit_.CreateInRect(window_, PlaceRow(kRowLocationEdit), kIdLocationEdit, false, false, false, true, false);
    SetControlFont(locationEdit_, FontOfRow(kRowLocationEdit));
    locationEdit_.SetText(options_.installFolder.text());
    CreateButtonRow(browseButton_, kRowBrowse, kIdBrowse, skinA_);
    // They show folders, whose '&' is no mnemonic.
    CreateStaticRow(spaceRequired_, kRowSpaceRequired, 0, SS_NOPREFIX);
    CreateStaticRow(spaceAvailable_, kRowSpaceAvailable, 0, SS_NOPREFIX);
    UpdateDiskSpace(options_.installFolder.text());
}

void MorvanditeInstallWindow::CreateAgreement() {
    CreateCheckRow(agreementBox_, kRowAgreement, kIdAgreement, BS_TOP, false);
    CreateStaticRow(agreementLink_, kRowAgreementLink, kIdAgreementLink, kLinkStyle);
}

void MorvanditeInstallWindow::CreateButtons() {
    CreateButtonRow(installButton_, kRowInstall, kIdInstall, skinD_);
    CreateButtonRow(cancelButton_, kRowCancel, kIdCancel, skinC_);
}

void MorvanditeInstallWindow::CreateProgressDisplay() {
    CreateStaticRow(installingLabel_, kRowInstalling, 0, SS_CENTER);
    ButtonSkin progress;
    progress.bitmapWidth = 13;
    progress.height = 21;
    progress.normal = spareBitmap_.Get();
    progress.textColor = 0;
    progress.disabledTextColor = 0x808080;
    progressBar_.CreateInRect(window_, PlaceRow(kRowProgress), kIdProgress, nullptr, progress);
    progressBar_.SetPercentage(0);
}

void MorvanditeInstallWindow::ShowPageControls() {
    // The installing label and the progress bar wait for the worker.
    for (int row = 0; row < kInstallLayoutRowCount; ++row)
        if (row != kRowInstalling && row != kRowProgress)
            ControlOfRow(row).SetVisible(true);
    EnableWindow(allUsersBox_.Handle(), options_.hasAdminRights != 0);
    ShowLocationVerdict();  // a refused folder's reason takes both space rows
}

void MorvanditeInstallWindow::LayOutAgreement(int32_t locale) {
    if (!window_ || !agreementBox_.Handle())
        return;
    RECT parent;
    GetClientRect(window_, &parent);
    parent.top = scale_(15);
    parent.right = scale_(kPageRight);
    RECT r = LayoutControl(kInstallLayout[kRowAgreement], parent, bodyFont_, locale, options_.displayName.text(),
                           scale_.Dpi());
    int height = r.bottom - r.top;
    if (height < scale_(20))
        height = scale_(20);
    MoveWindow(agreementBox_.Handle(), r.left, r.top, r.right - r.left, height, TRUE);
    RECT r2 = LayoutControl(kInstallLayout[kRowAgreementLink], parent, linkFont_, locale, nullptr, scale_.Dpi());
    MoveWindow(agreementLink_.Handle(), r2.left, r.top + height + scale_(5), r2.right - r2.left, r2.bottom - r2.top,
               TRUE);
}

int MorvanditeInstallWindow::PageDpiOn(HMONITOR monitor, int dpi) const {
    return FittingWindowDpi(monitor, dpi, LayoutClientSize(kInstallLayout, kInstallLayoutRowCount),
                            DWORD(PGetWindowLong(window_, GWL_STYLE)), DWORD(PGetWindowLong(window_, GWL_EXSTYLE)));
}

void MorvanditeInstallWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0)
        return;
    scale_ = DpiScale(PageDpiOn(MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST), dpi));
    CreateFonts();
    // The suggested size holds the page at the new DPI; where that monitor
    // cannot hold it and the page takes less, the window does too.
    const SIZE page = LayoutClientSize(kInstallLayout, kInstallLayoutRowCount);
    const RECT size = DpiChangedWindowRect(window_, page, dpi, scale_.Dpi(), suggested);
    SetWindowPos(window_, nullptr, size.left, size.top, size.right - size.left, size.bottom - size.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutPage();
}

void MorvanditeInstallWindow::LayOutPage() {
    if (!window_)
        return;
    for (int row = 0; row < kInstallLayoutRowCount; ++row) {
        MyBaseControl& control = ControlOfRow(row);
        if (!control.Handle())
            continue;
        // Buttons draw with their skin's font, which FitTexts gives them.
        if (kInstallLayout[row].kind != kLayoutButton)
            SetControlFont(control, FontOfRow(row));
        // The agreement box and its link follow the language's text.
        if (row == kRowAgreement || row == kRowAgreementLink)
            continue;
        RECT r = PlaceRow(row);
        MoveWindow(control.Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
        if (row == kRowLanguageList)
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
