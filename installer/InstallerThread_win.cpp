#define PASSERT_SOURCE "InstallerThread"
#include "InstallerThread.h"

#include <objbase.h>

#include <cstring>
#include <exception>
#include <utility>

#include "msgids.h"
#include "payload_resource.h"
#include "payloadfiles.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppmsg.h"
#include "psyscalls.h"

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
}  // namespace

bool CreateFolderWithParents(const char* path) {
    size_t n = std::strlen(path);
    if (n == 0)
        return false;
    if (n == 2 && path[1] == ':')
        return true;
    if (DirectoryExists(path, Paths()))
        return true;
    const char* slash = std::strrchr(path, '\\');
    if (slash && slash != path) {
        PString parent(path, slash);
        if (!CreateFolderWithParents(parent.text()))
            return false;
    }
    try {
        return CreateFolder(path, Paths());
    } catch (const PInternalError&) {
        return false;
    }
}

InstallerWorkerThread::InstallerWorkerThread()
    : window_(nullptr), messageNumber_(0), thread_(nullptr), running_(false), runState_(kRunStateRunning),
      payloadResourceId_(130), lastPercentPosted_(-1) {}

InstallerWorkerThread::~InstallerWorkerThread() {
    Release();
    for (auto& open : openFiles_)
        std::fclose(open.first);
}

bool InstallerWorkerThread::Start(const InstallOptions& settings, HWND window, UINT messageNumber) {
    if (running_.load())
        return false;
    Release();
    settings_ = settings;
    window_ = window;
    messageNumber_ = messageNumber;
    runState_.store(kRunStateRunning);
    // Marked running before the thread exists, so that its own "finished" can
    // never be overwritten by this thread afterwards.
    running_.store(true);
    DWORD id = 0;
    thread_ = CreateThread(nullptr, 0, &InstallerWorkerThread::ThreadMain, this, 0, &id);
    if (!thread_)
        running_.store(false);
    return thread_ != nullptr;
}

void InstallerWorkerThread::Release() {
    if (thread_) {
        CloseHandle(thread_);
        thread_ = nullptr;
    }
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
    CloseProcessLog();
    self->running_.store(false);
    return 0;
}

void InstallerWorkerThread::Post(WPARAM wParam, LPARAM lParam) {
    PPostMessage(window_, messageNumber_, wParam, lParam);
}

void InstallerWorkerThread::Complete(int32_t code, const char* text) {
    if (messageNumber_ == 0)
        return;
    LPARAM lParam = 0;
    if (code == kInstallErrorWithText)
        lParam = reinterpret_cast<LPARAM>(new PString(text));
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
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SetLastError(0);
    try {
        const char* folder = settings_.installFolder.text();
        if (!CreateFolderWithParents(folder))
            throw PSystemError(MsgString(TXTINS_Cannot_create_folder_XN0X, folder).text(), GetLastError());

        PString logPath(folder);
        logPath.append("\\Install.log");
        OpenProcessLog(new PLog(logPath.text(), 0, nullptr));
        LogLine("Log File Path: %s", logPath.text());
        LogLine("OS Version: %x", unsigned(GetVersion()));
        LogLine("isWow64: %x", unsigned(settings_.isWow64 ? 1 : 0));
        LogLine("localAppData: %x", unsigned(settings_.useLocalAppData ? 1 : 0));
        LogLine("Has admin rights: %x", unsigned(settings_.hasAdminRights ? 1 : 0));
        LogLine("Locale: %d", int(settings_.locale));

        if (ExtractFiles(folder) != 0) {
            LogLine("Install failed: archive error");
            Complete(kInstallArchiveError);
        } else if (RegisterInstallation() != 0) {
            LogLine("Registry write error, maybe caused by access right not enough, uninstaller may not "
                    "work properly.");
            Complete(kInstallRegistryError);
        } else {
            WriteTrackingFile();
            WriteUserSettings();
            PauseCheck();
            if (settings_.launchAfterInstall) {
                PString launcher(folder);
                launcher.append("\\MorvanditeUpdate.exe");
                LogLine("Launch main app: '%s'", launcher.text());
                PROCESS_INFORMATION info = {};
                if (PCreateProcess(launcher.text(), nullptr, folder, Paths(), &info)) {
                    CloseHandle(info.hThread);
                    CloseHandle(info.hProcess);
                }
            }
            Complete(kInstallFinished);
        }
        if (SUCCEEDED(com))
            CoUninitialize();
        LogLine("Install finished");
    } catch (const PSystemError& e) {
        LogLine("System error occurred: %s", e.why());
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

namespace {
// Creating and writing files is slower than decoding (a file creation can
// cost a millisecond): the worker's file operations run on a writing thread
// behind a bounded queue, while the per-file report (pause check, log line,
// progress) stays on the decoding thread, in file order.
class QueuedWorkerFiles : public IStatusCallBack {
public:
    explicit QueuedWorkerFiles(InstallerWorkerThread& worker) : worker_(worker), queue_(worker, 1u << 20) {}
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
    const char* slash = std::strrchr(path, '\\');
    if (slash) {
        PString folder(path, slash);
        // Files come folder by folder: the folder made or found for the file
        // before needs no second look (each look is a directory search).
        if (std::strcmp(folder.text(), lastFolder_.text()) != 0) {
            if (!CreateFolderWithParents(folder.text()))
                throw PSystemError(MsgString(TXTINS_Cannot_create_folder_XN0X, folder.text()).text(),
                                   GetLastError());
            lastFolder_ = std::move(folder);
        }
    }
    const char* last = slash ? slash + 1 : path;
    if (std::strcmp(last, "user.ini") == 0) {
        if (FILE* existing = OpenFile(path, "rb", Paths())) {
            std::fclose(existing);
            return nullptr;
        }
    }
    FILE* f = OpenFile(path, "wb", Paths());
    if (!f)
        throw PSystemError(MsgString(TXTINS_Cannot_open_file_XN0X, path).text(), GetLastError());
    // The extraction keeps one file open at a time; should another be open
    // already, the new one gets a buffer of its own.
    if (openFiles_.empty()) {
        outputBuffer_.resize(kOutputBufferSize);
        std::setvbuf(f, outputBuffer_.data(), _IOFBF, outputBuffer_.size());
    } else {
        std::setvbuf(f, nullptr, _IOFBF, kOutputBufferSize);
    }
    openFiles_[f] = PString(path);
    return f;
}

bool InstallerWorkerThread::WriteOutputFile(void* file, const void* data, uint32_t size) {
    if (!file)
        return true;
    FILE* f = static_cast<FILE*>(file);
    if (std::fwrite(data, 1, size, f) < size) {
        DWORD code = GetLastError();
        auto it = openFiles_.find(f);
        const char* path = it != openFiles_.end() ? it->second.text() : "";
        throw PSystemError(MsgString(TXTINS_Cannot_write_to_file_XN0X, path).text(), code);
    }
    return true;
}

void InstallerWorkerThread::CloseOutputFile(void* file) {
    if (!file)
        return;
    FILE* f = static_cast<FILE*>(file);
    PString path;
    auto it = openFiles_.find(f);
    if (it != openFiles_.end()) {
        path = std::move(it->second);
        openFiles_.erase(it);
    }
    // The buffer's last bytes reach the disk here: a failure is a short write
    // too. While an error is already unwinding, that error wins.
    if (std::fclose(f) != 0 && std::uncaught_exceptions() == 0)
        throw PSystemError(MsgString(TXTINS_Cannot_write_to_file_XN0X, path.text()).text(), GetLastError());
}
