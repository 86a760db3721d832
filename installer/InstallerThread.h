// The install worker: extracts the payload into the install folder on a thread
// of its own, registers the installation, leaves the client's settings and
// tracking files and starts the client, reporting to the window by posted
// messages.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "InstallOptions.h"
#include "desktopshell.h"
#include "installoutcome.h"
#include "payload.h"
#include "payloadcheck.h"
#include "pfile.h"
#include "pstring.h"
#include "punique.h"
#include "rollback.h"

// The window's status message: word parameter 0..100 progress, or a
// completion code (installoutcome.h).
constexpr UINT WM_INSTALL_STATUS = WM_USER + 100;

// Run states, written by the window and read by the worker at each file start.
enum InstallRunState : int32_t { kRunStateRunning = 0, kRunStatePaused = 1, kRunStateStopRequested = 2 };

class InstallerWorkerThread : public IStatusCallBack {
public:
    InstallerWorkerThread();
    ~InstallerWorkerThread();
    InstallerWorkerThread(const InstallerWorkerThread&) = delete;
    InstallerWorkerThread& operator=(const InstallerWorkerThread&) = delete;

    // False (and nothing changes) while a thread runs; otherwise starts one.
    bool Start(const InstallOptions& settings, HWND window, UINT messageNumber);
    bool IsRunning() const { return running_.load(); }
    // Blocks until a started thread has ended (its last log line written,
    // its end reported), then closes its handle; returns at once when none
    // runs. Called by the thread that started it. A paused run stays paused:
    // the caller asks it to stop first when it must not wait for the user.
    void WaitUntilEnded();

    void SetRunState(int32_t state) { runState_.store(state); }
    // The completion code of the last run (0 until one has ended); how a
    // run without a window (message number 0) learns its outcome.
    int32_t LastCompletion() const { return lastCompletion_.load(); }
    int32_t RunState() const { return runState_.load(); }

    // The system's error code behind the last run's error with text (0: none
    // or not a system error): how the window and the unattended run tell a
    // full disk from other failures.
    uint32_t LastSystemError() const { return lastSystemError_.load(); }
    // The last run's error text (what a -4 or -5 notification carries);
    // read once the run has ended.
    const PString& LastCompletionText() const { return completionText_; }
    // After a run that failed or was stopped: the steps its undo could not
    // put back (0 when everything was), and where its log is then.
    int UndoFailures() const { return rollback_.UndoFailures(); }
    PString RunLogPath() const { return rollback_.RunLogPath(); }

    // Registration with Windows and the files left for the client; public for
    // tests. RegisterInstallation returns 0 or -1; on -1 `failure` (when
    // given) names what failed: the operation, the full path or registry
    // value and the system's reason.
    int RegisterInstallation(PString* failure = nullptr);
    void WriteTrackingFile();
    void WriteUserSettings();

    const InstallOptions& Options() const { return settings_; }
    // Replaces the options while no thread runs (for calling the steps directly).
    bool SetOptions(const InstallOptions& settings) {
        if (running_.load())
            return false;
        settings_ = settings;
        return true;
    }
    // Where the steps called directly (by tests) post their progress; Start
    // sets it for a run. False while a thread runs.
    bool SetStatusWindow(HWND window, UINT messageNumber) {
        if (running_.load())
            return false;
        window_ = window;
        messageNumber_ = messageNumber;
        return true;
    }
    // The program resource (type MV) holding the payload; 130 unless a test says otherwise.
    void SetPayloadResourceId(int id) {
        payloadResourceId_ = id;
        payloadCheck_.SetResourceIds(id, payloadCheck_.DigestResourceId());
    }
    // The resource holding the payload's SHA-256; 132 unless a test says otherwise.
    void SetPayloadDigestResourceId(int id) { payloadCheck_.SetResourceIds(payloadResourceId_, id); }
    // Starts checking the payload against its digest while the page is
    // shown, so that a run only waits for the answer (see PayloadCheck).
    // Optional: a run checks by itself otherwise. Never throws.
    void BeginPayloadCheck() { payloadCheck_.Begin(); }
    // The desktop shell an elevated run starts the launcher through; null
    // (the default) is the real one (ExplorerDesktopShell, made on the
    // worker's thread). Not owned: it must outlive the runs. Set while no
    // thread runs; tests give a stand-in.
    void SetDesktopShell(DesktopShell* shell) { desktopShell_ = shell; }

    // IStatusCallBack
    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) override;
    void* OpenOutputFile(const char* path) override;
    bool WriteOutputFile(void* file, const void* data, uint32_t size) override;
    void CloseOutputFile(void* file) override;

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    void PauseCheck();
    void Post(WPARAM wParam, LPARAM lParam = 0);
    // Keeps the run's outcome; Report posts it once the run is committed or undone.
    void Complete(int32_t code, const char* text = nullptr);
    void Report();
    int ExtractFiles(const char* folder);
    // After the payload is in place: the files the earlier installation
    // listed that this one does not have go (recorded for the undo).
    void RemoveFilesNoLongerInstalled(const std::vector<std::wstring>& listedBefore);

    InstallOptions settings_;
    HWND window_;
    UINT messageNumber_;
    UniqueHandle thread_;
    std::atomic<bool> running_;
    std::atomic<int32_t> runState_;
    std::atomic<int32_t> lastCompletion_;
    std::atomic<uint32_t> lastSystemError_;
    PString completionText_;  // the outcome's text, until Report posts it
    // The payload's files being written, keyed by the pointer the
    // extraction holds, each with its full path.
    struct OpenOutput {
        std::unique_ptr<PWriteFile> file;
        PString path;
    };
    std::map<PWriteFile*, OpenOutput> openFiles_;
    InstallRollback rollback_;  // undoes a cancelled or failed run
    int payloadResourceId_;
    PayloadCheck payloadCheck_;  // the payload above against its digest resource
    DesktopShell* desktopShell_;  // null: ExplorerDesktopShell
    // The payload's files, on the writing thread: the folder of the file
    // opened last (known to exist), and a closed file object kept for the
    // next file so that its write buffer is not allocated again per file.
    PString lastFolder_;
    std::unique_ptr<PWriteFile> spareFile_;
    // The progress posted last (-1: none yet), on the extracting thread.
    int32_t lastPercentPosted_;
};

// Creates a folder and every missing parent; a bare drive ("C:"), a network
// share's root ("\\server\share") and an existing folder count as success
// (a missing share then fails at the first folder below it). On failure
// returns false with *failureCode (when given) holding the Windows error code
// of the call that failed. A path running through an existing file throws the
// existence test's PInternalError.
bool CreateFolderWithParents(const char* path, uint32_t* failureCode = nullptr);
