// The payload's files as they are written into the install folder: the
// target the extraction's queued writer (CPayloadQueuedWriter,
// payloadfiles.h) hands each file's opening, bytes and closing to.
//
// Threads: made, owned and destroyed by the worker thread for one
// extraction; every call of the IStatusCallBack below comes on the queued
// writer's thread, which alone touches the members. The worker reads
// nothing of it and waits for the writer (CPayloadQueuedWriter::Finish)
// before it destroys it. Windows only.
//
// Errors: each failure throws PSystemError with the operation's message text
// (the folder or file named) and the system's code; the queued writer
// rethrows it on the worker thread as it was raised.
#pragma once
#include <cstdint>
#include <map>
#include <memory>

#include "payload.h"
#include "pfile.h"
#include "pstring.h"

class InstallRollback;

class PayloadFileWriter : public IStatusCallBack {
public:
    // Every file and folder it makes or replaces is recorded in rollback,
    // which must outlive it.
    explicit PayloadFileWriter(InstallRollback& rollback);
    ~PayloadFileWriter();
    PayloadFileWriter(const PayloadFileWriter&) = delete;
    PayloadFileWriter& operator=(const PayloadFileWriter&) = delete;

    // The report of each file is the worker's; nothing to do here.
    void OnFileStarted(uint32_t, uint32_t, const char*) override {}
    // Makes the file's folder as needed and opens the file, an existing one
    // moved aside first (rollback); null for the user's own settings file,
    // which stays as it is.
    void* OpenOutputFile(const char* path) override;
    bool WriteOutputFile(void* file, const void* data, uint32_t size) override;
    // A close is the last write: its failure throws too, unless an error is
    // already on its way.
    void CloseOutputFile(void* file) override;

private:
    InstallRollback& rollback_;
    // The files being written, keyed by the pointer the extraction holds,
    // each with its full path.
    struct OpenOutput {
        std::unique_ptr<PWriteFile> file;
        PString path;
    };
    std::map<PWriteFile*, OpenOutput> openFiles_;
    // The folder of the file opened last (known to exist): files come folder
    // by folder, and each look at a folder is a directory search.
    PString lastFolder_;
    // A closed file object kept for the next file, so that its write buffer
    // is not allocated again per file.
    std::unique_ptr<PWriteFile> spareFile_;
};
