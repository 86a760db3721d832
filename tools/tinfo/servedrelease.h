// One release of the signed installer as the tag server serves it: the file,
// open for as long as any download of it runs (a release replaced on disk
// by a rename goes on being read through this descriptor), and what is
// prepared once so that a tagged download costs time in proportion to its
// tag, not to the file. Linux only.
//
// Threading: an object is immutable once opened; any number of threads may
// use one at once. Shared by std::shared_ptr: the server's current release
// and each download in flight hold it.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "punique.h"
#include "responsebody.h"
#include "tagstamp.h"

// What tells one file on disk from another: a new release put in place by a
// rename has a new inode; one rewritten in place a new size or time.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNanoseconds == other.modifiedNanoseconds;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The identity of the file at path; false (errno set) when it cannot be had.
bool IdentityOfPath(const std::string& path, FileIdentity& identity);

class ServedRelease {
public:
    // Opens path and prepares it. Throws PError with a sentence saying why
    // when it cannot be read, is not a regular file, is not a signed
    // installer, or changes while it is read.
    static std::shared_ptr<const ServedRelease> Open(const std::string& path);

    ServedRelease(const ServedRelease&) = delete;
    ServedRelease& operator=(const ServedRelease&) = delete;

    // The file's own name: the only path the server answers (/<name>).
    const std::string& name() const { return name_; }
    int fd() const { return file_.get(); }
    const FileIdentity& identity() const { return identity_; }
    // 16 hex digits of the file's SHA-256: the same release gives the same
    // id on every server, so ETags hold behind a load balancer.
    const std::string& id() const { return id_; }

    // The download for a tag's lines, already held to the grammar (none:
    // the file as it is). Throws PError when the stamp cannot be made.
    ResponseBody BodyFor(const std::vector<std::string>& lines) const;
    // A strong ETag (quotes included) for this release and these lines.
    std::string ETagFor(const std::vector<std::string>& lines) const;

private:
    ServedRelease() = default;

    UniqueFd file_;
    std::string name_;
    FileIdentity identity_;
    std::string id_;
    // What stamping needs of the file (tagstamp.h): headers, certificate
    // table, checksum sums; the file's bytes stay on disk.
    std::optional<PreparedInstaller> prepared_;
};
