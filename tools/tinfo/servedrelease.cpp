#include "servedrelease.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "perror.h"
#include "sha256.h"
#include "tagstamp.h"
#include "tracking.h"

namespace {

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw PInternalError((path + ": " + why).c_str());
}

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = uint64_t(st.st_size);
    identity.modifiedNanoseconds = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return identity;
}

std::string Hex(const uint8_t* bytes, size_t count) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

// The tag's text exactly as tinfo stamp makes it from a file of these lines.
std::string StampText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return TrackingTextFromLines(text);
}

}  // namespace

bool IdentityOfPath(const std::string& path, FileIdentity& identity) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    identity = IdentityOf(st);
    return true;
}

std::shared_ptr<const ServedRelease> ServedRelease::Open(const std::string& path) {
    std::shared_ptr<ServedRelease> release(new ServedRelease);
    release->file_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!release->file_)
        Refuse(path, std::string("cannot open it: ") + std::strerror(errno));
    struct stat before;
    if (fstat(release->fd(), &before) != 0 || !S_ISREG(before.st_mode))
        Refuse(path, "not a regular file");
    release->identity_ = IdentityOf(before);
    size_t slash = path.rfind('/');
    release->name_ = slash == std::string::npos ? path : path.substr(slash + 1);

    // The release id: the digest of every byte, read once here.
    Sha256Hasher hasher;
    std::vector<uint8_t> chunk(1 << 20);
    for (uint64_t done = 0; done < release->identity_.size;) {
        ssize_t n = pread(release->fd(), chunk.data(), chunk.size(), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Refuse(path, n == 0 ? "the file got shorter while it was read" : std::strerror(errno));
        hasher.Update(chunk.data(), size_t(n));
        done += uint64_t(n);
    }
    Sha256Digest digest = hasher.Final();
    release->id_ = Hex(digest.data(), 8);

    // The stamping input, read through a descriptor of the same open file.
    UniqueStdioFile stream(fdopen(dup(release->fd()), "rb"));
    if (!stream)
        Refuse(path, std::string("cannot read it: ") + std::strerror(errno));
    try {
        release->prepared_.emplace(PreparedInstaller::Prepare(stream.get()));
    } catch (const PError& e) {
        Refuse(path, e.why());
    }
    if (!release->prepared_->isSigned())
        Refuse(path, "not a signed installer (no certificate table); sign it first (tools/sign.sh)");
    if (release->prepared_->fileSize() != release->identity_.size)
        Refuse(path, "the file changed while it was read; put a new release in place with a rename");

    struct stat after;
    if (fstat(release->fd(), &after) != 0 || IdentityOf(after) != release->identity_)
        Refuse(path, "the file changed while it was read; put a new release in place with a rename");
    return release;
}

ResponseBody ServedRelease::BodyFor(const std::vector<std::string>& lines) const {
    ResponseBody body;
    for (StampSegment& segment : prepared_->Segments(lines.empty() ? std::string() : StampText(lines))) {
        if (segment.fromFile())
            body.push_back(BodyPiece::File(segment.fileOffset, segment.length));
        else
            body.push_back(BodyPiece::Bytes(std::move(segment.bytes)));
    }
    return body;
}

std::string ServedRelease::ETagFor(const std::vector<std::string>& lines) const {
    if (lines.empty())
        return "\"" + id_ + "\"";
    std::string text = StampText(lines);
    Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return "\"" + id_ + "-" + Hex(digest.data(), 8) + "\"";
}
