#define PASSERT_SOURCE "InstallerThread"
#include "InstallerThread.h"

#include <objbase.h>

#include <cstring>
#include <utility>

#include "clientfiles.h"
#include "msgids.h"
#include "payloadresource.h"
#include "payloadfiles.h"
#include "payloadfilewriter.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppathtext.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "previousfiles.h"
#include "pwindowsversion.h"
#include "registration.h"
#include "sharednames.h"
#include "userstart.h"

namespace {
// The worker's stop signal: deliberately not a PError, so that no step's
// own handler of the PError family takes a stop for its failure.
struct InstallStopSignal {};

const PStringEncoding* Paths() { return &PStringXEncoding; }

// Creating and writing files is slower than decoding (a file creation can
// cost a millisecond): the payload's files are written on the queued
// writer's thread by a PayloadFileWriter, while the per-file report (pause
// check, log line, progress) stays on the decoding thread, in file order.
class QueuedWorkerFiles : public IStatusCallBack {
public:
    QueuedWorkerFiles(InstallerWorkerThread& worker, InstallRollback& rollback)
        : worker_(worker), writer_(rollback), queue_(writer_, kPayloadWriteQueueBytes) {}
    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) override {
        queue_.OnFileStarted(fileCount, fileIndex, name);  // a writing failure surfaces here
        worker_.OnFileStarted(fileCount, fileIndex, name);
    }
    void* OpenOutputFile(const char* path) override { return queue_.OpenOutputFile(path); }
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override {
        return queue_.WriteOutputFile(handle, data, size);
    }
    void CloseOutputFile(void* handle) override { queue_.CloseOutputFile(handle); }
    // Waits for the last bytes; rethrows the writing thread's error as it was raised.
    void Finish() { queue_.Finish(); }

private:
    InstallerWorkerThread& worker_;
    PayloadFileWriter writer_;   // touched by the writing thread only
    CPayloadQueuedWriter queue_;  // declared last: its thread ends before the writer goes
};
}  // namespace

InstallerWorkerThread::InstallerWorkerThread()
    : payloadCheck_(SharedNames::kPayloadResourceId, SharedNames::kPayloadDigestResourceId) {
    setup_.payloadResourceId = SharedNames::kPayloadResourceId;
}

InstallerWorkerThread::~InstallerWorkerThread() = default;

bool InstallerWorkerThread::Start(const InstallOptions& options, HWND window, UINT messageNumber) {
    if (shared_.running.load())
        return false;
    thread_.reset();  // the handle of an earlier run that has ended
    setup_.options = options;
    setup_.window = window;
    setup_.messageNumber = messageNumber;
    shared_.runState.store(kRunStateRunning);
    shared_.lastCompletion.store(0);  // unattended: outcome hook
    shared_.lastSystemError.store(0);
    run_.completionText.clear();
    // Marked running before the thread exists, so that its own "finished" can
    // never be overwritten by this thread afterwards.
    shared_.running.store(true);
    DWORD id = 0;
    thread_.reset(CreateThread(nullptr, 0, &InstallerWorkerThread::ThreadMain, this, 0, &id));
    if (!thread_)
        shared_.running.store(false);
    return thread_.valid();
}

void InstallerWorkerThread::WaitUntilEnded() {
    // The thread reports its end as its last act; it only posts to the
    // window, so the starting thread may block here without a deadlock.
    while (shared_.running.load())
        Sleep(10);
    thread_.reset();
}

DWORD WINAPI InstallerWorkerThread::ThreadMain(LPVOID param) {
    InstallerWorkerThread* self = static_cast<InstallerWorkerThread*>(param);
    try {
        self->Run();  // its failures are its outcome
    } catch (...) {
        // Only a failure while a failure was being recorded gets here; the
        // thread's boundary, which nothing may cross.
        self->shared_.lastCompletion.store(kInstallGeneralError);
    }
    self->rollback_.Finish(self->shared_.lastCompletion.load() == kInstallFinished);  // rollback: commit or undo
    // Reported once the machine is as the outcome says: committed, or put back.
    self->Report();
    CloseProcessLog();
    self->rollback_.AfterLogClosed();  // rollback: the install folder itself
    self->shared_.running.store(false);
    return 0;
}

void InstallerWorkerThread::Post(WPARAM wParam, LPARAM lParam) {
    if (!setup_.window)
        return;  // unattended: no window, and a null one would mean this thread's own queue
    PPostMessage(setup_.window, setup_.messageNumber, wParam, lParam);
}

void InstallerWorkerThread::Complete(int32_t code, const char* text) {
    shared_.lastCompletion.store(code);  // unattended: outcome hook
    run_.completionText = text ? PString(text) : PString();
}

void InstallerWorkerThread::CompleteWithCurrentException() {
    try {
        throw;
    } catch (const PSystemError& e) {
        LogLine("System error occurred: %s", e.why());
        shared_.lastSystemError.store(e.code());
        Complete(kInstallErrorWithText, e.why());
    } catch (const PError& e) {
        LogLine("Error occurred: %s", e.why());
        Complete(kInstallErrorWithText, e.why());
    } catch (...) {
        // The stop signal, or anything else while a stop was asked for, is
        // the user's cancel; the rest is a general error.
        if (shared_.runState.load() == kRunStateStopRequested) {
            LogLine("Install canceled by user.");
            Complete(kInstallStopped);
        } else {
            LogLine("General error occurred.");
            Complete(kInstallGeneralError);
        }
    }
}

void InstallerWorkerThread::Report() {
    const int32_t code = shared_.lastCompletion.load();
    if (setup_.messageNumber == 0 || code == 0)
        return;
    // Errors with text carry it; a registration failure does when it named what failed.
    LPARAM lParam = 0;
    if (code == kInstallErrorWithText || (code == kInstallRegistryError && !run_.completionText.empty()))
        lParam = reinterpret_cast<LPARAM>(new PString(run_.completionText));
    if (!PPostMessage(setup_.window, setup_.messageNumber, WPARAM(code), lParam) && lParam)
        delete reinterpret_cast<PString*>(lParam);
}

void InstallerWorkerThread::PauseCheck() {
    if (shared_.runState.load() == kRunStateRunning)
        return;
    while (shared_.runState.load() == kRunStatePaused)
        Sleep(100);
    if (shared_.runState.load() == kRunStateStopRequested)
        throw InstallStopSignal();
}

void InstallerWorkerThread::LogRunFacts(const char* logPath) const {
    const InstallOptions& o = setup_.options;
    LogLine("Log File Path: %s", logPath);
    LogLine("OS Version: %x", unsigned(RunningWindowsVersion().packed));
    LogLine("isWow64: %x", unsigned(o.isWow64 ? 1 : 0));
    LogLine("localAppData: %x", unsigned(o.useLocalAppData ? 1 : 0));
    LogLine("Has admin rights: %x", unsigned(o.hasAdminRights ? 1 : 0));
    LogLine("Elevated: %x", unsigned(o.runsElevated ? 1 : 0));
    LogLine("Locale: %d", int(o.locale));
    if (!o.perUserNote.empty())
        LogLine("%s", o.perUserNote.text());
}

void InstallerWorkerThread::Run() {
    try {
        const InstallOptions& o = setup_.options;
        // Uninitialised however this block is left, an exception included.
        const ComInitialization com;
        SetLastError(0);
        // A damaged installer writes nothing: the check comes before the
        // install folder and its log exist (so its reason has no log to go to).
        PString damage;
        if (!payloadCheck_.Intact(damage)) {
            // Reaches only a log opened before this run (the unattended copy).
            LogLine("Install refused: %s", damage.text());
            Complete(kInstallArchiveError);
            return;
        }

        const char* folder = o.installFolder.text();
        rollback_.Begin(o);  // rollback: journal, and a killed run's leftovers
        RefuseInexpressiblePath(TXTINS_Cannot_create_folder_XN0X, folder);
        uint32_t code = 0;
        if (!CreateFolderWithParents(folder, &code, &rollback_))
            throw PSystemError(MsgString(TXTINS_Cannot_create_folder_XN0X, folder).text(), code);

        PString logPath = JoinPath(folder, SharedNames::kInstallLogFile.narrow);
        OpenProcessLog(new PLog(logPath.text(), 0, Paths()));
        LogRunFacts(logPath.text());
        rollback_.AfterLogOpened();  // rollback: what an interrupted run left, put right

        // An earlier installation's list, before the payload replaces it; only
        // this product's own installation there counts.
        bool hadList = false;
        std::vector<std::wstring> listedBefore;
        if (PreviousInstallationIsIn(o.displayName, o.installFolder))
            listedBefore = ReadListedFiles(o.installFolder, hadList);

        if (!ExtractFiles(folder)) {
            LogLine("Install failed: archive error");
            Complete(kInstallArchiveError);
            return;  // a failed extraction is not an installation that finished
        }
        RemoveFilesNoLongerInstalled(listedBefore);
        PString registrationFailure;
        if (!::RegisterInstallation(o, setup_.payloadResourceId, rollback_, &registrationFailure)) {
            LogLine("Registry write error, maybe caused by access right not enough, uninstaller may not "
                    "work properly.");
            Complete(kInstallRegistryError, registrationFailure.text());
        } else {
            ::WriteTrackingFile(o, rollback_);
            ::WriteUserSettings(o, rollback_);
            PauseCheck();
            if (o.launchAfterInstall) {
                PString launcher(folder);
                launcher.append("\\MorvanditeUpdate.exe");
                LogLine("Launch main app: '%s'", launcher.text());
                // The client is the user's, never the installer's elevated token's.
                ExplorerDesktopShell explorer;
                StartProgramForUser(launcher.text(), folder, o.runsElevated != 0,
                                    setup_.desktopShell ? *setup_.desktopShell : explorer);
            }
            Complete(kInstallFinished);
        }
        LogLine("Install finished");
    } catch (...) {
        CompleteWithCurrentException();
    }
}

void InstallerWorkerThread::RemoveFilesNoLongerInstalled(const std::vector<std::wstring>& listedBefore) {
    if (listedBefore.empty())
        return;
    const PString& installFolder = setup_.options.installFolder;
    bool hasList = false;
    const std::vector<std::wstring> listedNow = ReadListedFiles(installFolder, hasList);
    if (!hasList) {
        // Without a list of its own this payload cannot say what is no longer
        // wanted: the earlier files stay.
        LogLine("No file list in this installation; the earlier installation's files are kept");
        return;
    }
    for (const std::wstring& relative : FilesNoLongerListed(listedBefore, listedNow)) {
        PString name;
        FromWide(name, reinterpret_cast<const uint16_t*>(relative.c_str()), Paths());
        const PString path = JoinPath(installFolder.text(), name.text());
        if (!FileExists(path.text(), Paths()))
            continue;
        if (rollback_.RemoveOldFile(path))
            LogLine("Removed (no longer installed): %s", name.text());
    }
}

// The payload is resource 130 of type MV, read through the program's file;
// a missing one is an archive error.
bool InstallerWorkerThread::ExtractFiles(const char* folder) {
    PString why;
    run_.lastPercentPosted = -1;  // nothing is known of an earlier run's progress
    QueuedWorkerFiles files(*this, rollback_);
    int result = ExtractPayloadResource(setup_.payloadResourceId, folder, &files, &why);
    files.Finish();
    if (result != 0 && !why.empty())
        LogLine("Archive: %s", why.text());
    return result == 0;
}

void InstallerWorkerThread::OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) {
    PauseCheck();
    LogLine("%s", name);
    uint64_t percent = fileCount ? uint64_t(fileIndex) * 100 / fileCount : 100;
    // The window shows whole percents: posting the same one again for each of
    // thousands of files would only cost round trips through the system
    // (under Wine each is a request to its server, which creates the files too).
    if (int32_t(percent) == run_.lastPercentPosted)
        return;
    run_.lastPercentPosted = int32_t(percent);
    Post(WPARAM(percent));
}

int InstallerWorkerThread::RegisterInstallation(PString* failure) {
    return ::RegisterInstallation(setup_.options, setup_.payloadResourceId, rollback_, failure) ? 0 : -1;
}

void InstallerWorkerThread::WriteTrackingFile() { ::WriteTrackingFile(setup_.options, rollback_); }

void InstallerWorkerThread::WriteUserSettings() { ::WriteUserSettings(setup_.options, rollback_); }
