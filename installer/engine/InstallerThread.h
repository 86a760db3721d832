// The install worker: one installation on a thread of its own, reporting to
// the window by posted messages. Its install script (Run) checks the
// payload, extracts it into the install folder (the files written by
// PayloadFileWriter on the queued writer's thread), removes what an upgrade
// no longer has, registers the installation (registration.h), leaves the
// client's files (clientfiles.h) and starts the client; the run is one
// transaction (rollback.h).
//
// Threads. Three parties touch a worker, and its members are grouped by
// which of them may write them:
//   - the controlling thread (the window's, or the unattended run's), which
//     calls every public function but OnFileStarted: it writes RunSetup
//     only while no run goes, and may read the run's results only after
//     WaitUntilEnded;
//   - the run, on the worker thread, which owns RunOwned and reads RunSetup;
//   - both at any time: Shared, atomics only.
// Errors: see ARCHITECTURE.md "Errors": the script's steps throw the PError
// family (InstallStopSignal for a stop), and CompleteWithCurrentException
// turns what was thrown into the run's completion code.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "installoptions.h"
#include "desktopshell.h"
#include "installfolders.h"
#include "installoutcome.h"
#include "payloadcheck.h"
#include "pstring.h"
#include "punique.h"
#include "rollback.h"

// The window's status message: word parameter 0..100 progress, or a
// completion code (installoutcome.h).
constexpr UINT WM_INSTALL_STATUS = WM_USER + 100;

// Run states, written by the window and read by the worker at each file start.
enum InstallRunState : int32_t { kRunStateRunning = 0, kRunStatePaused = 1, kRunStateStopRequested = 2 };

class InstallerWorkerThread {
public:
    InstallerWorkerThread();
    ~InstallerWorkerThread();
    InstallerWorkerThread(const InstallerWorkerThread&) = delete;
    InstallerWorkerThread& operator=(const InstallerWorkerThread&) = delete;

    // False (and nothing changes) while a thread runs; otherwise starts one
    // with a copy of options.
    bool Start(const InstallOptions& options, HWND window, UINT messageNumber);
    bool IsRunning() const { return shared_.running.load(); }
    // Blocks until a started thread has ended (its last log line written,
    // its end reported), then closes its handle; returns at once when none
    // runs. Called by the thread that started it. A paused run stays paused:
    // the caller asks it to stop first when it must not wait for the user.
    void WaitUntilEnded();

    void SetRunState(int32_t state) { shared_.runState.store(state); }
    // The completion code of the last run (0 until one has ended); how a
    // run without a window (message number 0) learns its outcome.
    int32_t LastCompletion() const { return shared_.lastCompletion.load(); }
    int32_t RunState() const { return shared_.runState.load(); }

    // The system's error code behind the last run's error with text (0: none
    // or not a system error): how the window and the unattended run tell a
    // full disk from other failures.
    uint32_t LastSystemError() const { return shared_.lastSystemError.load(); }
    // The last run's error text (what a -4 or -5 notification carries);
    // read once the run has ended.
    const PString& LastCompletionText() const { return run_.completionText; }
    // After a run that failed or was stopped: the steps its undo could not
    // put back (0 when everything was), and where its log is then.
    int UndoFailures() const { return rollback_.UndoFailures(); }
    PString RunLogPath() const { return rollback_.RunLogPath(); }

    // The install script's steps with this worker's options and journal,
    // called directly by tests while no thread runs. RegisterInstallation
    // returns 0 or -1; on -1 `failure` (when given) names what failed: the
    // operation, the full path or registry value and the system's reason.
    int RegisterInstallation(PString* failure = nullptr);
    void WriteTrackingFile();
    void WriteUserSettings();

    const InstallOptions& Options() const { return setup_.options; }
    // Replaces the options while no thread runs (for calling the steps directly).
    bool SetOptions(const InstallOptions& options) {
        if (shared_.running.load())
            return false;
        setup_.options = options;
        return true;
    }
    // Where the steps called directly (by tests) post their progress; Start
    // sets it for a run. False while a thread runs.
    bool SetStatusWindow(HWND window, UINT messageNumber) {
        if (shared_.running.load())
            return false;
        setup_.window = window;
        setup_.messageNumber = messageNumber;
        return true;
    }
    // The program resource (type MV) holding the payload; 130 unless a test says otherwise.
    void SetPayloadResourceId(int id) {
        setup_.payloadResourceId = id;
        payloadCheck_.SetResourceIds(id, payloadCheck_.DigestResourceId());
    }
    // The resource holding the payload's SHA-256; 132 unless a test says otherwise.
    void SetPayloadDigestResourceId(int id) { payloadCheck_.SetResourceIds(setup_.payloadResourceId, id); }
    // Starts checking the payload against its digest while the page is
    // shown, so that a run only waits for the answer (see PayloadCheck).
    // Optional: a run checks by itself otherwise. Never throws.
    void BeginPayloadCheck() { payloadCheck_.Begin(); }
    // The desktop shell an elevated run starts the launcher through; null
    // (the default) is the real one (ExplorerDesktopShell, made on the
    // worker's thread). Not owned: it must outlive the runs. Set while no
    // thread runs; tests give a stand-in.
    void SetDesktopShell(DesktopShell* shell) { setup_.desktopShell = shell; }

    // The report of each payload file, on the extracting (worker) thread:
    // the pause and stop check, the log line, and the progress posted once
    // per whole percent. Public for the tests of that report.
    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name);

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    // The install script.
    void Run();
    void LogRunFacts(const char* logPath) const;
    void PauseCheck();
    void Post(WPARAM wParam, LPARAM lParam = 0);
    // Keeps the run's outcome; Report posts it once the run is committed or undone.
    void Complete(int32_t code, const char* text = nullptr);
    // The one place a failure thrown out of the script becomes the run's
    // completion code; called inside a catch block.
    void CompleteWithCurrentException();
    void Report();
    // False (logged) when the payload cannot be decoded; throws what the
    // writing thread raised (PSystemError) and a stop.
    bool ExtractFiles(const char* folder);
    // After the payload is in place: the files the earlier installation
    // listed that this one does not have go (recorded for the undo).
    void RemoveFilesNoLongerInstalled(const std::vector<std::wstring>& listedBefore);

    // Written by the controlling thread while no run goes; read by the run.
    struct RunSetup {
        InstallOptions options;
        HWND window = nullptr;
        UINT messageNumber = 0;
        int payloadResourceId;
        DesktopShell* desktopShell = nullptr;  // null: ExplorerDesktopShell
    };
    // Read and written by both threads at any time.
    struct Shared {
        std::atomic<bool> running{false};
        std::atomic<int32_t> runState{kRunStateRunning};
        std::atomic<int32_t> lastCompletion{0};
        std::atomic<uint32_t> lastSystemError{0};
    };
    // The run's own, on the worker thread; the controlling thread resets them
    // in Start and reads them once the run has ended.
    struct RunOwned {
        PString completionText;          // the outcome's text, until Report posts it
        int32_t lastPercentPosted = -1;  // -1: none yet
    };

    RunSetup setup_;
    Shared shared_;
    RunOwned run_;
    UniqueHandle thread_;  // the controlling thread's
    // The run's transaction: the worker thread and the writing thread record
    // in it (it locks); the controlling thread reads its results once the
    // run has ended.
    InstallRollback rollback_;
    PayloadCheck payloadCheck_;  // thread-safe; the payload above against its digest resource
};
