// The page's choices: option defaults, the install folder and its browser,
// the disk-space figures and the licence terms.
#define PASSERT_SOURCE "MorvanditeInstall"
#include <cstring>

#include "diskspace.h"
#include "folderbrowser.h"
#include "installwindow.h"
#include "locales.h"
#include "msgids.h"
#include "payload_resource.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "termsofservice.h"
#include "unattended.h"

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
    GetDiskSpace(installLocation_.text(), freeSpace_, requiredSpace_);
}

bool MorvanditeInstallWindow::UpdateDiskSpace(const char* path) {
    uint64_t freeBytes = 0, requiredBytes = 0;
    const bool ok = GetDiskSpace(path, freeBytes, requiredBytes);
    freeSpace_ = freeBytes;
    requiredSpace_ = requiredBytes;
    if (spaceAvailable_.Handle() && spaceRequired_.Handle()) {
        if (ok) {
            spaceAvailable_.SetText(FormatSize(TXTINS_Space_availableX_N0_N1, freeBytes).text());
            spaceRequired_.SetText(FormatSize(TXTINS_Space_requiredX_N0_N1, requiredBytes).text());
        }
        else {
            spaceAvailable_.SetText("");
            spaceRequired_.SetText("");
        }
    }
    UpdateInstallButton();
    // Blank figures alone would leave the user guessing why Install stays
    // disabled. Posted, so that the notice comes once the page is shown.
    if (!ok && PayloadSizeUnreadable() && !damageNoticePosted_ && window_) {
        damageNoticePosted_ = true;
        PPostMessage(window_, WM_PAYLOAD_DAMAGED, 0, 0);
    }
    return ok;
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
    OpenBrowserWindow(TermsOfServiceAddress(site_.text(), CurrentLocale).text(), &PStringXEncoding);
}
