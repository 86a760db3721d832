#include "tagstamp.h"

#include <algorithm>
#include <cstring>

#include "inixor.h"
#include "perror.h"
#include "tagcertificate.h"
#include "taggrammar.h"
#include "tracking.h"
#include "trackingkey.h"

namespace {

[[noreturn]] void Refuse(const std::string& why) { throw PInternalError(why.c_str()); }

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char(uint8_t(v >> (8 * i))));
}

bool SeekTo(FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, int64_t(offset), SEEK_SET) == 0;
#else
    return fseeko(file, off_t(offset), SEEK_SET) == 0;
#endif
}

uint64_t SizeOf(FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0)
        Refuse("cannot find the installer's size");
    int64_t size = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        Refuse("cannot find the installer's size");
    int64_t size = ftello(file);
#endif
    if (size < 0)
        Refuse("cannot find the installer's size");
    return uint64_t(size);
}

void ReadExactly(FILE* file, uint64_t offset, void* out, size_t size) {
    if (!SeekTo(file, offset) || std::fread(out, 1, size, file) != size)
        Refuse("cannot read the installer");
}

// DER: a tag and its length in the shortest form, then the content.
std::string DerHeader(uint8_t tag, size_t length) {
    std::string out(1, char(tag));
    if (length < 0x80) {
        out.push_back(char(length));
        return out;
    }
    int bytes = length > 0xFFFFFF ? 4 : length > 0xFFFF ? 3 : length > 0xFF ? 2 : 1;
    out.push_back(char(0x80 | bytes));
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(char(uint8_t(length >> (8 * i))));
    return out;
}

std::string Der(uint8_t tag, const std::string& content) { return DerHeader(tag, content.size()) + content; }

std::string Bytes(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Scrambled(const std::string& text) {
    _PBlock block, key;
    std::memcpy(block.alloc(uint32_t(text.size())), text.data(), text.size());
    BuildTrackingKey(key);
    XorBlock(block, key);
    return std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
}

// The PE checksum's sum, kept as the sums of the bytes at even and at odd
// file offsets: a 16-bit one's-complement sum of little-endian words is,
// modulo 0xFFFF, the even bytes plus 256 times the odd ones. A range that
// moves by an odd count swaps its two sums.
struct ChecksumSum {
    uint64_t value = 0;  // modulo 0xFFFF, reduced now and then
    bool nonzero = false;

    void Add(uint64_t evenSum, uint64_t oddSum, uint64_t outputOffset) {
        uint64_t even = evenSum % 0xFFFF, odd = oddSum % 0xFFFF;
        value += outputOffset % 2 ? even * 256 + odd : even + odd * 256;
        value %= 0xFFFF;
        nonzero = nonzero || evenSum || oddSum;
    }
    // The result of the end-around-carry addition: 0 only for all-zero data.
    uint32_t Folded() const { return value ? uint32_t(value) : nonzero ? 0xFFFF : 0; }
};

void SumBytes(const uint8_t* data, size_t size, uint64_t& evenSum, uint64_t& oddSum) {
    for (size_t i = 0; i < size; ++i)
        (i % 2 ? oddSum : evenSum) += data[i];
}

}  // namespace

std::string TagCertificate(const std::string& scrambledBlock) {
    const std::string ecdsaWithSha256 = Der(0x30, Der(0x06, Bytes({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02})));
    const std::string name =
        Der(0x30, Der(0x31, Der(0x30, Der(0x06, Bytes({0x55, 0x04, 0x03})) + Der(0x0C, "Installer tracking tag"))));
    const std::string validity = Der(0x30, Der(0x17, "260101000000Z") + Der(0x17, "491231235959Z"));
    // A public key that parses everywhere: the P-256 generator point.
    const std::string point = Bytes({0x00, 0x04,  // no unused bits; uncompressed point
        0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6, 0xE5, 0x63, 0xA4, 0x40, 0xF2,
        0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB, 0x33, 0xA0, 0xF4, 0xA1, 0x39, 0x45, 0xD8, 0x98, 0xC2, 0x96,
        0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F, 0x9B, 0x8E, 0xE7, 0xEB, 0x4A, 0x7C, 0x0F, 0x9E, 0x16,
        0x2B, 0xCE, 0x33, 0x57, 0x6B, 0x31, 0x5E, 0xCE, 0xCB, 0xB6, 0x40, 0x68, 0x37, 0xBF, 0x51, 0xF5});
    const std::string key = Der(0x30, Der(0x30, Der(0x06, Bytes({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01})) +
                                                    Der(0x06, Bytes({0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07}))) +
                                          Der(0x03, point));
    const std::string oid(reinterpret_cast<const char*>(kTagExtensionOid), sizeof kTagExtensionOid);
    const std::string extensions =
        Der(0xA3, Der(0x30, Der(0x30, Der(0x06, oid) + Der(0x04, Der(0x04, scrambledBlock)))));
    const std::string tbs = Der(0x30, Der(0xA0, Der(0x02, Bytes({0x02}))) +  // version 3
                                          Der(0x02, Bytes({0x01})) + ecdsaWithSha256 + name + validity + name + key +
                                          extensions);
    // ECDSA-Sig-Value { r 1, s 1 }: well-formed, and verifies against nothing.
    const std::string signature = Der(0x03, std::string(1, '\0') + Der(0x30, Der(0x02, Bytes({1})) + Der(0x02, Bytes({1}))));
    return Der(0x30, tbs + ecdsaWithSha256 + signature);
}

PreparedInstaller PreparedInstaller::Prepare(FILE* file) {
    PreparedInstaller p;
    p.fileSize_ = SizeOf(file);

    // The headers, as the installer reads them (installer/core/tracking.cpp).
    uint32_t tableOffset = 0, tableSize = 0;
    uint64_t checksumOffset = 0, directoryOffset = 0;
    uint8_t dos[64] = {};
    uint8_t headers[4 + 20 + 96 + 8 * 5];
    ReadExactly(file, 0, dos, size_t(std::min<uint64_t>(p.fileSize_, sizeof dos)));
    const bool mz = dos[0] == 'M' && dos[1] == 'Z';
    const uint64_t headersEnd = uint64_t(Le32(dos + 0x3C)) + sizeof headers;
    // Headers cut short by the end of the file (or by a block at its end)
    // could be completed by the block appended there, and read differently.
    const char* const cutShort = "not a complete Windows program: its headers run past the end of the file";
    if (mz) {
        uint32_t pe = Le32(dos + 0x3C);
        if (p.fileSize_ < sizeof dos || pe > 0x10000 || headersEnd > p.fileSize_)
            Refuse(cutShort);
        ReadExactly(file, pe, headers, sizeof headers);
        const uint8_t* optional = headers + 24;
        if (std::memcmp(headers, "PE\0\0", 4) == 0 && (optional[0] | optional[1] << 8) == 0x10B &&
            Le32(optional + 92) > 4) {
            checksumOffset = uint64_t(pe) + 24 + 64;
            directoryOffset = uint64_t(pe) + 24 + 96 + 8 * 4;
            tableOffset = Le32(optional + 96 + 8 * 4);
            tableSize = Le32(optional + 96 + 8 * 4 + 4);
        }
    }

    if (tableSize == 0) {
        // Unsigned: the block goes at the end, replacing one there. Its
        // trailer lies within the last 1,024 bytes.
        size_t tailSize = size_t(std::min<uint64_t>(p.fileSize_, kTrackingMaxDistance));
        std::string tail(tailSize, '\0');
        if (tailSize)
            ReadExactly(file, p.fileSize_ - tailSize, &tail[0], tailSize);
        size_t start = TrackingBlockStart(tail);  // throws on a damaged trailer
        p.unsignedBody_.length = p.fileSize_ - tailSize + start;
        if (mz && headersEnd > p.unsignedBody_.length)
            Refuse(cutShort);
        return p;
    }

    p.signed_ = true;
    if (tableOffset > p.fileSize_ || tableSize != p.fileSize_ - tableOffset)
        Refuse("signature: the certificate table is not at the end of the file");
    if (tableOffset < directoryOffset + 8)
        Refuse("signature: the certificate table overlaps the headers");
    if (tableSize > kMaxTagTableSize)
        Refuse("signature: the certificate table is larger than " + std::to_string(kMaxTagTableSize) + " bytes");
    std::string table(tableSize, '\0');
    ReadExactly(file, tableOffset, &table[0], tableSize);
    const uint8_t* t = reinterpret_cast<const uint8_t*>(table.data());
    uint32_t entryLength = tableSize >= kWinCertHeaderSize ? Le32(t) : 0;
    if (entryLength < kWinCertHeaderSize || entryLength > tableSize)
        Refuse("signature: a certificate entry has a bad length");
    if (((uint64_t(entryLength) + 7) & ~uint64_t(7)) != tableSize)
        Refuse("signature: the certificate table holds more than one entry");
    p.entryRevision_ = uint16_t(t[4] | t[5] << 8);
    p.entryType_ = uint16_t(t[6] | t[7] << 8);
    if (p.entryRevision_ != kWinCertRevision2 || p.entryType_ != kWinCertTypePkcsSignedData)
        Refuse("signature: the certificate entry does not hold PKCS#7 signature data");
    SignatureLayout layout;
    std::string why;
    if (!ParseSignatureLayout(t + kWinCertHeaderSize, entryLength - kWinCertHeaderSize, layout, why))
        Refuse("signature: " + why);

    // The ranges of the file that the stamped file keeps, in order.
    auto range = [](uint64_t begin, uint64_t end) {
        FileRange r;
        r.offset = begin;
        r.length = end - begin;
        return r;
    };
    const uint64_t blob = uint64_t(tableOffset) + kWinCertHeaderSize;
    p.ranges_.push_back(range(0, checksumOffset));
    p.ranges_.push_back(range(checksumOffset + 4, directoryOffset + 4));
    p.ranges_.push_back(range(directoryOffset + 8, tableOffset));
    p.ranges_.push_back(range(blob + layout.contentType.start, blob + layout.contentType.end));
    p.ranges_.push_back(range(blob + layout.signedData.contentStart, blob + layout.certificateSet.start));
    for (size_t i = 0; i < layout.certificates.size(); ++i) {
        if (layout.isTagCertificate[i])
            continue;  // replaced
        const DerItem& c = layout.certificates[i];
        p.keptCertificateBytes_ += c.size();
        FileRange& last = p.ranges_.back();
        if (p.keptCertificateRanges_ && last.offset + last.length == blob + c.start) {
            last.length += c.size();
        } else {
            p.ranges_.push_back(range(blob + c.start, blob + c.end));
            ++p.keptCertificateRanges_;
        }
    }
    p.ranges_.push_back(range(blob + layout.certificateSet.end, blob + layout.signedData.end));

    // The sums of the ranges before the table, read through once; those in
    // the table from the copy in memory.
    std::vector<char> buffer(1 << 20);
    if (!SeekTo(file, 0))
        Refuse("cannot read the installer");
    for (uint64_t at = 0; at < tableOffset;) {
        size_t n = size_t(std::min<uint64_t>(buffer.size(), tableOffset - at));
        if (std::fread(buffer.data(), 1, n, file) != n)
            Refuse("cannot read the installer");
        for (size_t i = 0; i < 3; ++i) {
            FileRange& r = p.ranges_[i];
            uint64_t begin = std::max(at, r.offset), end = std::min(at + n, r.offset + r.length);
            if (begin >= end)
                continue;
            uint64_t even = 0, odd = 0;
            SumBytes(reinterpret_cast<const uint8_t*>(buffer.data()) + (begin - at), size_t(end - begin), even, odd);
            // Parity within the range, not within the buffer.
            bool swapped = (begin - r.offset) % 2;
            r.evenSum += swapped ? odd : even;
            r.oddSum += swapped ? even : odd;
        }
        at += n;
    }
    for (size_t i = 3; i < p.ranges_.size(); ++i) {
        FileRange& r = p.ranges_[i];
        SumBytes(t + (r.offset - tableOffset), size_t(r.length), r.evenSum, r.oddSum);
    }
    return p;
}

std::vector<StampSegment> PreparedInstaller::Segments(const std::string& text) const {
    if (text.size() > kTagMaxTextBytes)
        Refuse("the tag takes " + std::to_string(text.size()) + " bytes; a tag holds at most " +
               std::to_string(kTagMaxTextBytes));
    std::vector<StampSegment> out;
    auto fromFile = [&out](uint64_t offset, uint64_t length) {
        StampSegment s;
        s.fileOffset = offset;
        s.length = length;
        out.push_back(std::move(s));
    };
    auto computed = [&out](std::string bytes) {
        StampSegment s;
        s.length = bytes.size();
        s.bytes = std::move(bytes);
        out.push_back(std::move(s));
    };

    if (!signed_) {
        if (unsignedBody_.length)
            fromFile(0, unsignedBody_.length);
        if (!text.empty())
            computed(EncodeTrackingBlock(text));
        return out;
    }

    // New DER lengths, from the inside out.
    const std::string certificate = text.empty() ? std::string() : TagCertificate(Scrambled(text));
    const FileRange& contentType = ranges_[3];
    const FileRange& head = ranges_[4];
    const FileRange& rest = ranges_.back();
    const uint64_t setContent = keptCertificateBytes_ + certificate.size();
    const std::string setHeader = DerHeader(0xA0, size_t(setContent));
    const uint64_t signedDataContent = head.length + setHeader.size() + setContent + rest.length;
    const std::string signedDataHeader = DerHeader(0x30, size_t(signedDataContent));
    const uint64_t explicitContent = signedDataHeader.size() + signedDataContent;
    const std::string explicitHeader = DerHeader(0xA0, size_t(explicitContent));
    const uint64_t contentInfoContent = contentType.length + explicitHeader.size() + explicitContent;
    const std::string contentInfoHeader = DerHeader(0x30, size_t(contentInfoContent));
    const uint64_t blobLength = contentInfoHeader.size() + contentInfoContent;
    const uint64_t padding = (8 - blobLength % 8) % 8;
    const uint64_t entryLength = kWinCertHeaderSize + blobLength + padding;
    const uint64_t tableOffset = ranges_[2].offset + ranges_[2].length;
    if (entryLength > 0xFFFFFFFFu || tableOffset + entryLength > 0xFFFFFFFFu)
        Refuse("the stamped installer would pass 4 GiB");

    std::string entryHeader;
    PutLe32(entryHeader, uint32_t(entryLength));
    entryHeader.push_back(char(entryRevision_ & 0xFF));
    entryHeader.push_back(char(entryRevision_ >> 8));
    entryHeader.push_back(char(entryType_ & 0xFF));
    entryHeader.push_back(char(entryType_ >> 8));
    std::string directorySize;
    PutLe32(directorySize, uint32_t(entryLength));

    // The file in order; the checksum's place is zeros until the sum is known.
    fromFile(ranges_[0].offset, ranges_[0].length);
    computed(std::string(4, '\0'));
    const size_t checksumSegment = out.size() - 1;
    fromFile(ranges_[1].offset, ranges_[1].length);
    computed(directorySize);
    fromFile(ranges_[2].offset, ranges_[2].length);
    computed(entryHeader + contentInfoHeader);
    fromFile(contentType.offset, contentType.length);
    computed(explicitHeader + signedDataHeader);
    fromFile(head.offset, head.length);
    computed(setHeader);
    for (size_t i = 0; i < keptCertificateRanges_; ++i)
        fromFile(ranges_[5 + i].offset, ranges_[5 + i].length);
    if (!certificate.empty())
        computed(certificate);
    fromFile(rest.offset, rest.length);
    if (padding)
        computed(std::string(size_t(padding), '\0'));

    // The checksum: the prepared sums of the file's ranges, each where it
    // lands now, and the sums of the computed bytes.
    ChecksumSum sum;
    uint64_t position = 0;
    size_t nextRange = 0;
    for (const StampSegment& s : out) {
        if (s.fromFile()) {
            const FileRange& r = ranges_[nextRange++];  // file segments follow ranges_' order
            sum.Add(r.evenSum, r.oddSum, position);
        } else {
            uint64_t even = 0, odd = 0;
            SumBytes(reinterpret_cast<const uint8_t*>(s.bytes.data()), s.bytes.size(), even, odd);
            sum.Add(even, odd, position);
        }
        position += s.length;
    }
    std::string checksum;
    PutLe32(checksum, uint32_t(sum.Folded() + position));
    out[checksumSegment].bytes = checksum;
    return out;
}

std::string AssembleSegments(FILE* file, const std::vector<StampSegment>& segments) {
    uint64_t total = 0;
    for (const StampSegment& s : segments)
        total += s.length;
    std::string out;
    out.reserve(size_t(total));
    for (const StampSegment& s : segments) {
        if (!s.fromFile()) {
            out += s.bytes;
            continue;
        }
        size_t at = out.size();
        out.resize(at + size_t(s.length));
        if (s.length)
            ReadExactly(file, s.fileOffset, &out[at], size_t(s.length));
    }
    return out;
}
