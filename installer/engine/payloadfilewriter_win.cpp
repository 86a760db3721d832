#include "payloadfilewriter.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <utility>

#include "installfolders.h"
#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "ppmsg.h"
#include "punique.h"
#include "rollback.h"
#include "sharednames.h"

namespace {
// Large enough that writing the payload's files is never the bottleneck.
// One buffer serves every file (one file is open at a time): a buffer of
// the runtime's own per file would cost an allocation and release of
// fresh memory for each.
constexpr size_t kOutputBufferSize = 256 * 1024;

const PStringEncoding* Paths() { return &PStringXEncoding; }
}  // namespace

PayloadFileWriter::PayloadFileWriter(InstallRollback& rollback) : rollback_(rollback) {}

PayloadFileWriter::~PayloadFileWriter() = default;

void* PayloadFileWriter::OpenOutputFile(const char* path) {
    RefuseInexpressiblePath(TXTINS_Cannot_open_file_XN0X, path);
    // A backslash is one byte in both PStringX forms and never part of another character.
    const char* slash = std::strrchr(path, '\\');
    if (slash) {
        PString folder(path, slash);
        if (std::strcmp(folder.text(), lastFolder_.text()) != 0) {
            uint32_t code = 0;
            if (!CreateFolderWithParents(folder.text(), &code, &rollback_))
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

bool PayloadFileWriter::WriteOutputFile(void* file, const void* data, uint32_t size) {
    if (!file)
        return true;
    PWriteFile* f = static_cast<PWriteFile*>(file);
    // The code is this thread's, taken at the failing call.
    uint32_t code = 0;
    if (!f->Write(data, size, &code)) {
        auto it = openFiles_.find(f);
        const char* path = it != openFiles_.end() ? it->second.path.text() : "";
        throw PSystemError(MsgString(TXTINS_Cannot_write_to_file_XN0X, path).text(), code);
    }
    return true;
}

void PayloadFileWriter::CloseOutputFile(void* file) {
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
