#include "servedrelease.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "certtable.h"
#include "peimage.h"
#include "perror.h"
#include "sha256.h"
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

std::string TagText(const std::vector<std::string>& lines) {
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

    std::string& image = release->image_;
    image.resize(size_t(before.st_size));
    Sha256Hasher hasher;
    size_t done = 0;
    while (done < image.size()) {
        ssize_t n = pread(release->fd(), &image[done], image.size() - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Refuse(path, n == 0 ? "the file got shorter while it was read" : std::strerror(errno));
        hasher.Update(reinterpret_cast<const uint8_t*>(&image[done]), size_t(n));
        done += size_t(n);
    }
    Sha256Digest digest = hasher.Final();
    release->id_ = Hex(digest.data(), 8);

    try {
        PeImage pe(image);
        if (!HasCertificateTable(pe))
            Refuse(path, "not a signed installer (no certificate table); sign it first (tools/sign.sh)");
    } catch (const PError& e) {
        Refuse(path, e.why());
    }

    struct stat after;
    if (fstat(release->fd(), &after) != 0 || IdentityOf(after) != release->identity_)
        Refuse(path, "the file changed while it was read; put a new release in place with a rename");
    return release;
}

ResponseBody ServedRelease::BodyFor(const std::vector<std::string>& lines) const {
    if (lines.empty())
        return {BodyPiece::File(0, identity_.size)};
    return {BodyPiece::Bytes(WithCertificateTableTail(PeImage(image_), EncodeTrackingBlock(TagText(lines))))};
}

std::string ServedRelease::ETagFor(const std::vector<std::string>& lines) const {
    if (lines.empty())
        return "\"" + id_ + "\"";
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return "\"" + id_ + "-" + Hex(digest.data(), 8) + "\"";
}
