// The files the build-machine tools write (installers, payloads, tracked
// copies): never half written, never over something that is not a file.
// POSIX on the build machine, the CRT and Win32 in the tools' Windows build
// (UTF-8 paths both); one thread per output.
#pragma once
#include <sys/types.h>

#include <string>

// Refuses a target that exists and is not a regular file (a folder, a device
// such as /dev/full, a pipe, a symbolic link): renaming over it would replace
// it with the output. Throws PInternalError naming the target and what it is.
void CheckOutputTarget(const std::string& target);

// True when path (existing or not) lies inside folder, or is the folder;
// links and ".." are resolved as far as the path exists.
bool IsInsideFolder(const std::string& path, const std::string& folder);

// An output being written: a temporary file beside the target (same folder,
// so the final rename is atomic), renamed over the target by Commit. Until
// then the target is as it was; a PendingOutputFile destroyed uncommitted
// removes its temporary file. Move-only owner of the temporary file.
class PendingOutputFile {
public:
    // Checks the target (CheckOutputTarget) and creates the temporary file.
    // Throws PInternalError with the system's reason when it cannot.
    explicit PendingOutputFile(const std::string& target);
    ~PendingOutputFile();
    PendingOutputFile(PendingOutputFile&& other) noexcept;
    PendingOutputFile& operator=(PendingOutputFile&&) = delete;
    PendingOutputFile(const PendingOutputFile&) = delete;
    PendingOutputFile& operator=(const PendingOutputFile&) = delete;

    // Appends bytes; overwrites bytes already written at offset.
    void Write(const void* data, size_t size);
    void WriteAt(uint64_t offset, const void* data, size_t size);
    // Flushes to the disk, gives the file mode (POSIX only) and renames it over the
    // target, which is checked again first. Throws PInternalError with the
    // reason (the temporary file is then removed and the target unchanged).
    void Commit(mode_t mode);

    const std::string& target() const { return target_; }
    // The file being written, for reading back what was written; gone after Commit.
    const std::string& temporary() const { return temporary_; }

private:
    [[noreturn]] void Fail(const std::string& what, int error);

    std::string target_, temporary_;
    int fd_ = -1;
};

// A whole output at once: PendingOutputFile, Write, Commit.
void WriteOutputFile(const std::string& target, const std::string& bytes, mode_t mode);
