// The install window and its worker: starting a run with the page's
// choices, pausing it for the cancel question, and the worker's reports
// (progress and the one completion code) turned into the page's answer.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "installwindow.h"

#include <memory>

#include "diskspace.h"
#include "environment.h"
#include "installfailure.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "pencoding.h"
#include "perror.h"
#include "psyscalls.h"
#include "startup.h"

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

    if (answer == kMyMsgBoxSecondButton) {
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
