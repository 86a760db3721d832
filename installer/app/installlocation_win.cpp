// The page's choices: option defaults, the install folder and its browser,
// the disk-space figures and the licence terms.
#define PASSERT_SOURCE "MorvanditeInstall"
#include <cstring>
#include <vector>

#include "diskspace.h"
#include "folderbrowser.h"
#include "installplan.h"
#include "installwindow.h"
#include "locales.h"
#include "msgids.h"
#include "pagelayout.h"
#include "payloadresource.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "punique.h"
#include "termsofservice.h"
#include "unattended.h"
#include "userstart.h"

PString TermsOfServiceAddress(const char* site, int32_t locale) {
    PString address;
    AppendText(address, site ? site : "");
    AppendText(address, "/REDIRECTOR/");
    const bool known = locale >= 0 && uint32_t(locale) < InstallerLocaleCount;
    AppendText(address, InstallerLocaleInfo[known ? locale : LocaleEnglish].code);
    AppendText(address, "/_/help_tos");
    return address;
}

// ---- The window's part ---------------------------------------------------------------

void MorvanditeInstallWindow::SetOptionDefaults() {
    ApplyPageDefaults(options_, commandLine_.IsLaunchEnabled, installLocation_.text());
    // The labels do not exist yet: CreateLocationControls shows the verdict.
    plan_ = PlanInstallation(installLocation_.text());
    plannedText_ = installLocation_;
}

bool MorvanditeInstallWindow::UpdateDiskSpace(const char* path) {
    plan_ = PlanInstallation(path);
    plannedText_ = path ? path : "";
    ShowLocationVerdict();
    UpdateInstallButton();
    // Blank figures alone would leave the user guessing why Install stays
    // disabled. Posted, so that the notice comes once the page is shown.
    if (plan_.FolderUsable() && !plan_.spaceKnown && PayloadSizeUnreadable() && !damageNoticePosted_ && window_) {
        damageNoticePosted_ = true;
        PPostMessage(window_, WM_PAYLOAD_DAMAGED, 0, 0);
    }
    return plan_.FolderUsable() && plan_.spaceKnown;
}

void MorvanditeInstallWindow::ShowLocationVerdict() {
    if (!spaceAvailable_.Handle() || !spaceRequired_.Handle())
        return;
    RECT required = PlaceRow(kRowSpaceRequired);
    if (!plan_.FolderUsable()) {
        // Why, where the figures were, in the two rows the figures take.
        required.bottom = PlaceRow(kRowSpaceAvailable).bottom;
        MoveWindow(spaceRequired_.Handle(), required.left, required.top, required.right - required.left,
                   required.bottom - required.top, TRUE);
        spaceRequired_.SetText(FittedRefusalText(required).text());
        spaceAvailable_.SetText("");
        spaceAvailable_.SetVisible(false);
        return;
    }
    MoveWindow(spaceRequired_.Handle(), required.left, required.top, required.right - required.left,
               required.bottom - required.top, TRUE);
    if (plan_.spaceKnown) {
        spaceAvailable_.SetText(FormatSize(TXTINS_Space_availableX_N0_N1, plan_.freeBytes).text());
        spaceRequired_.SetText(FormatSize(TXTINS_Space_requiredX_N0_N1, plan_.requiredBytes).text());
    }
    else {
        spaceAvailable_.SetText("");
        spaceRequired_.SetText("");
    }
    // Shown with the page (ShowPageControls), and again once a folder is usable.
    if (IsWindowVisible(spaceRequired_.Handle()))
        spaceAvailable_.SetVisible(true);
}

PString MorvanditeInstallWindow::FittedRefusalText(const RECT& box) {
    PString text = plan_.RefusalText();
    HWND label = spaceRequired_.Handle();
    const int width = box.right - box.left, height = box.bottom - box.top;
    if (!label || width <= 0)
        return text;
    const UniqueWindowDc dc(label);
    const SelectedObject font(dc.get(), reinterpret_cast<HFONT>(PSendMessage(label, WM_GETFONT, 0, 0)));
    // As the label draws it (SS_LEFT, SS_NOPREFIX): a word wider than a line
    // is not broken but cut, so the width counts as much as the height.
    auto fits = [&](const PString& candidate) {
        RECT m = {0, 0, width, 0};
        PDrawText(dc.get(), candidate.text(), &PStringXEncoding, &m,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        return m.right - m.left <= width && m.bottom - m.top <= height;
    };
    if (fits(text))
        return text;
    // The folder's first and last characters around an ellipsis, fewer each time.
    std::vector<uint32_t> characters;
    {
        PStringEncoding::ParserHolder parser;
        PStringXEncoding.createParser(parser);
        parser->init(plan_.folder.text(), nullptr);
        for (int32_t c = parser->next(); c > 0; c = parser->next())
            characters.push_back(uint32_t(c));
    }
    const PString reason = MsgString(plan_.refusal);
    for (size_t keep = characters.size() / 2; keep > 0; --keep) {
        PString shortened;
        for (size_t i = 0; i < keep; ++i)
            AppendCodePoint(shortened, characters[i]);
        AppendCodePoint(shortened, 0x2026);  // ...
        for (size_t i = characters.size() - keep; i < characters.size(); ++i)
            AppendCodePoint(shortened, characters[i]);
        PString candidate = MsgString(TXTINS_The_folder_XN0X_cannot_be_use_ELL, shortened.text(), reason.text());
        if (fits(candidate))
            return candidate;
    }
    return text;
}

void MorvanditeInstallWindow::Browse() {
    PString current;
    locationEdit_.GetText(current);
    PString prompt = MsgString(TXTINS_Select_the_folder_to_install_N_ELL, options_.displayName.text());
    PString chosen;
    BrowseForFolder(window_, prompt.text(), current.text(), BrowseCallback, reinterpret_cast<LPARAM>(&current),
                    chosen, &PStringXEncoding);
    if (!chosen.empty()) {
        locationEdit_.SetText(chosen.text());
        UpdateDiskSpace(chosen.text());
    }
}

void MorvanditeInstallWindow::OpenTermsOfService() {
    ExplorerDesktopShell explorer;
    OpenAddressForUser(TermsOfServiceAddress(site_.text(), CurrentLocale).text(), options_.runsElevated != 0,
                       desktopShell_ ? *desktopShell_ : explorer);
}
