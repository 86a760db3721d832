// The installer's reading of a signed installer's certificate table and of
// the tag in it (protocols/tagcertificate.h, ReadInstallerTrackingBlock,
// the tag grammar), on arbitrary bytes: as a certificate table; as a whole
// installer file, read as the installer reads its own and, when that gives
// a block, applied as it applies it; and, when the file can be prepared for
// stamping (tools/tinfo/tagstamp.h), stamped and read back. Aborts when a
// block passes the bounds, when applied lines could break tinfo.dat or
// user.ini, when a stamped tag does not read back as its text, or when
// stamping with no tag and again with one disagree with stamping once.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "perror.h"
#include "tagcertificate.h"
#include "taggrammar.h"
#include "tagstamp.h"
#include "tracking.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

FILE* Open(std::string& bytes) { return fmemopen(&bytes[0], bytes.size(), "rb"); }

void ReadAsTable(const uint8_t* data, size_t size) {
    std::string block, why;
    CertificateTagStatus status = FindTagInCertificateTable(data, size, block, why);
    Check(status != CertificateTagStatus::Found || block.size() <= kMaxTagBlockSize);
    Check(status != CertificateTagStatus::Malformed || !why.empty());
}

// Applied as the installer applies a block: what is kept is "[TInfo]\n" and
// lines no INI reader can take for anything but KEY=value.
void Apply(const _PBlock& block) {
    TrackingInfo info;
    std::string why = ApplyTrackingLines(block, info);
    if (!why.empty()) {
        Check(info.trackingInfo.empty());
        return;
    }
    const std::string text(info.trackingInfo.text(), size_t(info.trackingInfo.length()));
    Check(text.rfind("[TInfo]\n", 0) == 0);
    for (size_t i = 8; i < text.size(); ++i) {
        const char c = text[i];
        Check(c != '\r' && c != '[' && c != ']' && c != '\0' && (c == '\n' || (c >= 0x20 && c <= 0x7E)));
    }
    Check(TagValueError(info.themeId.text()).empty());
}

void ReadAsInstaller(std::string file) {
    if (file.empty())
        return;
    FILE* f = Open(file);
    Check(f != nullptr);
    _PBlock block;
    std::string why;
    TrackingBlockStatus status = ReadInstallerTrackingBlock(f, block, why);
    std::fclose(f);
    Check(status != TrackingBlockStatus::Rejected || !why.empty());
    if (status == TrackingBlockStatus::Found)
        Apply(block);
}

std::string Stamp(std::string& file, const std::string& text, bool* isSigned = nullptr) {
    FILE* f = Open(file);
    Check(f != nullptr);
    std::string out;
    try {
        PreparedInstaller prepared = PreparedInstaller::Prepare(f);
        out = AssembleSegments(f, prepared.Segments(text));
        if (isSigned)
            *isSigned = prepared.isSigned();
    } catch (const PInternalError&) {
        out.clear();
    }
    std::fclose(f);
    return out;
}

void StampAndReadBack(std::string file) {
    if (file.empty())
        return;
    const std::string text = "SRC=fuzz\nTHM=night\n";
    bool isSigned = false;
    std::string stamped = Stamp(file, text, &isSigned);
    if (stamped.empty())
        return;  // refused
    FILE* f = Open(stamped);
    _PBlock block;
    std::string why;
    Check(ReadInstallerTrackingBlock(f, block, why) == TrackingBlockStatus::Found);
    std::fclose(f);
    Check(std::string(reinterpret_cast<const char*>(block.ptr()), block.size()) == text);
    // Signed: untagged, then tagged again, the same file as tagged once. (An
    // unsigned file may hold blocks within blocks; only the last goes.)
    if (!isSigned)
        return;
    std::string untagged = Stamp(file, "");
    Check(!untagged.empty());
    Check(Stamp(untagged, text) == stamped);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    ReadAsTable(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ReadAsInstaller(bytes);
    StampAndReadBack(bytes);
    return 0;
}
