#define PASSERT_SOURCE "InstallerThread"
#include "InstallerThread.h"

#include <objbase.h>

#include <cstring>
#include <exception>
#include <memory>
#include <utility>

#include "msgids.h"
#include "payload_resource.h"
#include "payloadfiles.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppathtext.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "punique.h"
#include "previousfiles.h"
#include "pwindowsversion.h"
#include "sharednames.h"
#include "userstart.h"

namespace {
// The worker's stop signal: deliberately not a PError, so that only the
// catch-all of Run turns it into "Install canceled by user.".
struct InstallStopSignal {
    const char* what() const { return "stopped"; }
};

// Large enough that writing the payload's files is never the bottleneck.
// One buffer serves every file (one file is open at a time): a buffer of
// the runtime's own per file would cost an allocation and release of
// fresh memory for each.
constexpr size_t kOutputBufferSize = 256 * 1024;

const PStringEncoding* Paths() { return &PStringXEncoding; }

// In ANSI mode a path with a character the ANSI code page lacks would reach
// the A functions as '?' or a look-alike and name another file: refused with
// the operation's text and ERROR_INVALID_NAME before anything is created.
void RefuseInexpressible(MsgRef operation, const char* path) {
    if (!SystemCanExpress(path, Paths()))
        throw PSystemError(MsgString(operation, path).text(), ERROR_INVALID_NAME);
}
}  // namespace

bool CreateFolderWithParents(const char* path, uint32_t* failureCode) {
    if (*path == 0) {
        if (failureCode)
            *failureCode = ERROR_INVALID_NAME;
        return false;
    }
    // Roots cannot be made: a share's exists as long as the share does
    // (making it would try "\\server", which Windows says already exists).
    if (IsBareDrive(path) || IsNetworkShareRoot(path))
        return true;
    if (DirectoryExists(path, Paths()))
        return true;
    const char* slash = std::strrchr(path, '\\');
    if (slash && slash != path) {
        PString parent(path, slash);
        if (!CreateFolderWithParents(parent.text(), failureCode))
            return false;
    }
    try {
        const bool created = CreateFolder(path, Paths(), failureCode);
        if (created)
            NoteCreatedFolder(path);  // rollback: a folder this run made
        return created;
    } catch (const PInternalError&) {
        return false;
    }
}

InstallerWorkerThread::InstallerWorkerThread()
    : window_(nullptr), messageNumber_(0), running_(false), runState_(kRunStateRunning), lastCompletion_(0),
      lastSystemError_(0),
      payloadResourceId_(SharedNames::kPayloadResourceId),
      payloadCheck_(SharedNames::kPayloadResourceId, SharedNames::kPayloadDigestResourceId),
      desktopShell_(nullptr), lastPercentPosted_(-1) {}

InstallerWorkerThread::~InstallerWorkerThread() = default;

bool InstallerWorkerThread::Start(const InstallOptions& settings, HWND window, UINT messageNumber) {
    if (running_.load())
        return false;
    thread_.reset();  // the handle of an earlier run that has ended
    settings_ = settings;
    window_ = window;
    messageNumber_ = messageNumber;
    runState_.store(kRunStateRunning);
    lastCompletion_.store(0);  // unattended: outcome hook
    lastSystemError_.store(0);
    completionText_.clear();
    // Marked running before the thread exists, so that its own "finished" can
    // never be overwritten by this thread afterwards.
    running_.store(true);
    DWORD id = 0;
    thread_.reset(CreateThread(nullptr, 0, &InstallerWorkerThread::ThreadMain, this, 0, &id));
    if (!thread_)
        running_.store(false);
    return thread_.valid();
}

void InstallerWorkerThread::WaitUntilEnded() {
    // The thread reports its end as its last act; it only posts to the
    // window, so the starting thread may block here without a deadlock.
    while (running_.load())
        Sleep(10);
    thread_.reset();
}

DWORD WINAPI InstallerWorkerThread::ThreadMain(LPVOID param) {
    InstallerWorkerThread* self = static_cast<InstallerWorkerThread*>(param);
    try {
        self->Run();
    } catch (const PError& e) {
        LogLine("Error in installing thread: '%s'", e.why());
    } catch (...) {
        LogLine("Error in installing thread");
    }
    self->rollback_.Finish(self->lastCompletion_.load() == kInstallFinished);  // rollback: commit or undo
    // Reported once the machine is as the outcome says: committed, or put back.
    self->Report();
    CloseProcessLog();
    self->rollback_.AfterLogClosed();  // rollback: the install folder itself
    self->running_.store(false);
    return 0;
}

void InstallerWorkerThread::Post(WPARAM wParam, LPARAM lParam) {
    if (!window_)
        return;  // unattended: no window, and a null one would mean this thread's own queue
    PPostMessage(window_, messageNumber_, wParam, lParam);
}

void InstallerWorkerThread::Complete(int32_t code, const char* text) {
    lastCompletion_.store(code);  // unattended: outcome hook
    completionText_ = text ? PString(text) : PString();
}

void InstallerWorkerThread::Report() {
    const int32_t code = lastCompletion_.load();
    if (messageNumber_ == 0 || code == 0)
        return;
    // Errors with text carry it; a registration failure does when it named what failed.
    LPARAM lParam = 0;
    if (code == kInstallErrorWithText || (code == kInstallRegistryError && !completionText_.empty()))
        lParam = reinterpret_cast<LPARAM>(new PString(completionText_));
    if (!PPostMessage(window_, messageNumber_, WPARAM(code), lParam) && lParam)
        delete reinterpret_cast<PString*>(lParam);
}

void InstallerWorkerThread::PauseCheck() {
    if (runState_.load() == kRunStateRunning)
        return;
    while (runState_.load() == kRunStatePaused)
        Sleep(100);
    if (runState_.load() == kRunStateStopRequested)
        throw InstallStopSignal();
}

void InstallerWorkerThread::Run() {
    try {
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

        const char* folder = settings_.installFolder.text();
        rollback_.Begin(settings_);  // rollback: journal, and a killed run's leftovers
        RefuseInexpressible(TXTINS_Cannot_create_folder_XN0X, folder);
        uint32_t code = 0;
        if (!CreateFolderWithParents(folder, &code))
            throw PSystemError(MsgString(TXTINS_Cannot_create_folder_XN0X, folder).text(), code);

        PString logPath = JoinPath(folder, SharedNames::kInstallLogFile.narrow);
        OpenProcessLog(new PLog(logPath.text(), 0, Paths()));
        LogLine("Log File Path: %s", logPath.text());
        LogLine("OS Version: %x", unsigned(RunningWindowsVersion().packed));
        LogLine("isWow64: %x", unsigned(settings_.isWow64 ? 1 : 0));
        LogLine("localAppData: %x", unsigned(settings_.useLocalAppData ? 1 : 0));
        LogLine("Has admin rights: %x", unsigned(settings_.hasAdminRights ? 1 : 0));
        LogLine("Elevated: %x", unsigned(settings_.runsElevated ? 1 : 0));
        LogLine("Locale: %d", int(settings_.locale));
        if (!settings_.perUserNote.empty())
            LogLine("%s", settings_.perUserNote.text());
        rollback_.AfterLogOpened();  // rollback: what an interrupted run left, put right

        // An earlier installation's list, before the payload replaces it.
        // An earlier installation's list, before the payload replaces it; only
        // this product's own installation there counts.
        bool hadList = false;
        std::vector<std::wstring> listedBefore;
        if (PreviousInstallationIsIn(settings_.displayName, settings_.installFolder))
            listedBefore = ReadListedFiles(settings_.installFolder, hadList);

        bool failed = false;
        PString registrationFailure;
        if (ExtractFiles(folder) != 0) {
            LogLine("Install failed: archive error");
            Complete(kInstallArchiveError);
            failed = true;
        }
        if (!failed)
            RemoveFilesNoLongerInstalled(listedBefore);
        if (failed) {
            // reported above
        } else if (RegisterInstallation(&registrationFailure) != 0) {
            LogLine("Registry write error, maybe caused by access right not enough, uninstaller may not "
                    "work properly.");
            Complete(kInstallRegistryError, registrationFailure.text());
        } else {
            WriteTrackingFile();
            WriteUserSettings();
            PauseCheck();
            if (settings_.launchAfterInstall) {
                PString launcher(folder);
                launcher.append("\\MorvanditeUpdate.exe");
                LogLine("Launch main app: '%s'", launcher.text());
                // The client is the user's, never the installer's elevated token's.
                ExplorerDesktopShell explorer;
                StartProgramForUser(launcher.text(), folder, settings_.runsElevated != 0,
                                    desktopShell_ ? *desktopShell_ : explorer);
            }
            Complete(kInstallFinished);
        }
        // A failed extraction is not an installation that finished.
        if (!failed)
            LogLine("Install finished");
    } catch (const PSystemError& e) {
        LogLine("System error occurred: %s", e.why());
        lastSystemError_.store(e.code());
        Complete(kInstallErrorWithText, e.why());
    } catch (const PError& e) {
        LogLine("Error occurred: %s", e.why());
        Complete(kInstallErrorWithText, e.why());
    } catch (...) {
        if (runState_.load() == kRunStateStopRequested) {
            LogLine("Install canceled by user.");
            Complete(kInstallStopped);
        } else {
            LogLine("General error occurred.");
            Complete(kInstallGeneralError);
        }
    }
}

void InstallerWorkerThread::RemoveFilesNoLongerInstalled(const std::vector<std::wstring>& listedBefore) {
    if (listedBefore.empty())
        return;
    bool hasList = false;
    const std::vector<std::wstring> listedNow = ReadListedFiles(settings_.installFolder, hasList);
    if (!hasList) {
        // Without a list of its own this payload cannot say what is no longer
        // wanted: the earlier files stay.
        LogLine("No file list in this installation; the earlier installation's files are kept");
        return;
    }
    for (const std::wstring& relative : FilesNoLongerListed(listedBefore, listedNow)) {
        PString name;
        FromWide(name, reinterpret_cast<const uint16_t*>(relative.c_str()), Paths());
        const PString path = JoinPath(settings_.installFolder.text(), name.text());
        if (!FileExists(path.text(), Paths()))
            continue;
        if (rollback_.RemoveOldFile(path))
            LogLine("Removed (no longer installed): %s", name.text());
    }
}

namespace {
// Creating and writing files is slower than decoding (a file creation can
// cost a millisecond): the worker's file operations run on a writing thread
// behind a bounded queue, while the per-file report (pause check, log line,
// progress) stays on the decoding thread, in file order.
class QueuedWorkerFiles : public IStatusCallBack {
public:
    explicit QueuedWorkerFiles(InstallerWorkerThread& worker) : worker_(worker), queue_(worker, kPayloadWriteQueueBytes) {}
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
    CPayloadQueuedWriter queue_;
};
}  // namespace

// The payload is resource 130 of type MV, read through the program's file;
// a missing one is an archive error.
int InstallerWorkerThread::ExtractFiles(const char* folder) {
    PString why;
    // Nothing is known about the folders or the progress of an earlier run.
    lastFolder_.clear();
    lastPercentPosted_ = -1;
    QueuedWorkerFiles files(*this);
    int result = ExtractPayloadResource(payloadResourceId_, folder, &files, &why);
    files.Finish();
    if (result != 0 && !why.empty())
        LogLine("Archive: %s", why.text());
    return result;
}

void InstallerWorkerThread::OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) {
    PauseCheck();
    LogLine("%s", name);
    uint64_t percent = fileCount ? uint64_t(fileIndex) * 100 / fileCount : 100;
    // The window shows whole percents: posting the same one again for each of
    // thousands of files would only cost round trips through the system
    // (under Wine each is a request to its server, which creates the files too).
    if (int32_t(percent) == lastPercentPosted_)
        return;
    lastPercentPosted_ = int32_t(percent);
    Post(WPARAM(percent));
}

void* InstallerWorkerThread::OpenOutputFile(const char* path) {
    RefuseInexpressible(TXTINS_Cannot_open_file_XN0X, path);
    // A backslash is one byte in both PStringX forms and never part of another character.
    const char* slash = std::strrchr(path, '\\');
    if (slash) {
        PString folder(path, slash);
        // Files come folder by folder: the folder made or found for the file
        // before needs no second look (each look is a directory search).
        if (std::strcmp(folder.text(), lastFolder_.text()) != 0) {
            uint32_t code = 0;
            if (!CreateFolderWithParents(folder.text(), &code))
                throw PSystemError(MsgString(TXTINS_Cannot_create_folder_XN0X, folder.text()).text(), code);
            lastFolder_ = std::move(folder);
        }
    }
    const char* last = slash ? slash + 1 : path;
    if (std::strcmp(last, SharedNames::kUserSettingsFile.narrow) == 0) {
        if (const UniqueStdioFile existing{OpenFile(path, "rb", Paths())})
            return nullptr;  // the user's own settings stay
    }
    rollback_.BeforeWriteFile(path);  // rollback: the old file moved aside
    // The system's own calls rather than stdio: a failure keeps its code. The
    // object closed last is reused with its buffer.
    std::unique_ptr<PWriteFile> f(spareFile_ ? spareFile_.release() : new PWriteFile);
    uint32_t code = 0;
    if (!f->Create(path, Paths(), kOutputBufferSize, &code))
        throw PSystemError(MsgString(TXTINS_Cannot_open_file_XN0X, path).text(), code);
    PWriteFile* handle = f.get();
    openFiles_[handle] = OpenOutput{std::move(f), PString(path)};
    return handle;
}

bool InstallerWorkerThread::WriteOutputFile(void* file, const void* data, uint32_t size) {
    if (!file)
        return true;
    PWriteFile* f = static_cast<PWriteFile*>(file);
    // Runs on the writing thread: the code is this thread's, taken at the failing call.
    uint32_t code = 0;
    if (!f->Write(data, size, &code)) {
        auto it = openFiles_.find(f);
        const char* path = it != openFiles_.end() ? it->second.path.text() : "";
        throw PSystemError(MsgString(TXTINS_Cannot_write_to_file_XN0X, path).text(), code);
    }
    return true;
}

void InstallerWorkerThread::CloseOutputFile(void* file) {
    if (!file)
        return;
    std::unique_ptr<PWriteFile> f;
    PString path;
    auto it = openFiles_.find(static_cast<PWriteFile*>(file));
    if (it != openFiles_.end()) {
        f = std::move(it->second.file);
        path = std::move(it->second.path);
        openFiles_.erase(it);
    } else {
        f.reset(static_cast<PWriteFile*>(file));  // not ours to look up, still ours to close
    }
    // The buffer's last bytes reach the disk here: a failure is a short write
    // too. While an error is already unwinding, that error wins.
    uint32_t code = 0;
    const bool closed = f->Close(&code);
    spareFile_ = std::move(f);
    if (!closed && std::uncaught_exceptions() == 0)
        throw PSystemError(MsgString(TXTINS_Cannot_write_to_file_XN0X, path.text()).text(), code);
}
