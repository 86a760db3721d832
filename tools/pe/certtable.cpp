#include "certtable.h"

#include "peimage.h"
#include "perror.h"

namespace {

constexpr size_t kEntryHeaderSize = 8;  // dwLength, wRevision, wCertificateType

[[noreturn]] void Refuse(const std::string& why) { throw PInternalError(("signature: " + why).c_str()); }

size_t Align8(size_t v) { return (v + 7) & ~size_t(7); }

// The length of the DER value (a SEQUENCE) at data[at], header included.
size_t DerLength(const std::string& data, size_t at, size_t end) {
    if (at + 2 > end || uint8_t(data[at]) != 0x30)
        Refuse("the last certificate entry does not hold PKCS#7 data");
    uint8_t first = uint8_t(data[at + 1]);
    size_t header = 2, length = first;
    if (first & 0x80) {
        size_t count = first & 0x7F;
        if (count == 0 || count > 4 || at + 2 + count > end)
            Refuse("the signature data has a malformed length");
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = length << 8 | uint8_t(data[at + 2 + i]);
        header += count;
    }
    if (length > end - at - header)
        Refuse("the signature data runs past its entry");
    return header + length;
}

}  // namespace

bool HasCertificateTable(const PeImage& image) { return image.directory(kPeDirSecurity).size != 0; }

std::string WithCertificateTableTail(const PeImage& image, const std::string& tail) {
    const std::string& bytes = image.bytes();
    PeDataDirectory table = image.directory(kPeDirSecurity);
    if (!table.size)
        Refuse("the image is not signed");
    if (table.address > bytes.size() || table.size != bytes.size() - table.address)
        Refuse("the certificate table is not at the end of the file");
    size_t tableEnd = bytes.size();
    size_t entry = table.address, last = 0;
    while (entry < tableEnd) {
        uint32_t length = PeRead32(bytes, entry);
        if (length < kEntryHeaderSize || length > tableEnd - entry)
            Refuse("a certificate entry has a bad length");
        last = entry;
        entry = Align8(entry + length);
    }
    size_t content = kEntryHeaderSize + DerLength(bytes, last + kEntryHeaderSize, tableEnd);
    size_t padding = (8 - (content + tail.size()) % 8) % 8;
    std::string out = bytes.substr(0, last + content);
    out.append(padding, '\0');
    out += tail;
    size_t entryLength = out.size() - last;
    if (entryLength > 0xFFFFFFFFu || out.size() - table.address > 0xFFFFFFFFu)
        Refuse("the certificate table would exceed 4 GiB");
    PeWrite32(out, last, uint32_t(entryLength));
    PeWrite32(out, image.directoryOffset(kPeDirSecurity) + 4, uint32_t(out.size() - table.address));
    PeWrite32(out, image.checksumOffset(), PeChecksum(out, image.checksumOffset()));
    return out;
}
