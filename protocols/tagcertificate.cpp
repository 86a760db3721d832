#include "tagcertificate.h"

#include <cstring>

// 1.3.6.1.4.1.61529.1.1: 61529 = 3 * 128^2 + 96 * 128 + 89.
const uint8_t kTagExtensionOid[10] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x83, 0xE0, 0x59, 0x01, 0x01};

namespace {

// 1.2.840.113549.1.7.2, PKCS#7 signedData.
const uint8_t kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

constexpr uint8_t kDerBoolean = 0x01, kDerInteger = 0x02, kDerOctetString = 0x04, kDerOid = 0x06,
                  kDerSequence = 0x30, kDerSet = 0x31, kDerContext0 = 0xA0, kDerContext3 = 0xA3;

bool Expect(const uint8_t* data, size_t at, size_t limit, uint8_t tag, DerItem& item) {
    return ReadDerItem(data, at, limit, item) && item.tag == tag;
}

bool SameContent(const uint8_t* data, const DerItem& item, const uint8_t* bytes, size_t size) {
    return item.end - item.contentStart == size && std::memcmp(data + item.contentStart, bytes, size) == 0;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool ReadDerItem(const uint8_t* data, size_t at, size_t limit, DerItem& item) {
    if (at >= limit || limit - at < 2)
        return false;
    uint8_t tag = data[at];
    if ((tag & 0x1F) == 0x1F)
        return false;  // high tag numbers: nothing here uses them
    size_t header = 2, length = data[at + 1];
    if (length & 0x80) {
        size_t count = length & 0x7F;
        // 0x80 is the indefinite form, which DER forbids.
        if (count == 0 || count > 4 || limit - at - 2 < count)
            return false;
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = length << 8 | data[at + 2 + i];
        header += count;
    }
    if (length > limit - at - header)
        return false;
    item.tag = tag;
    item.start = at;
    item.contentStart = at + header;
    item.end = at + header + length;
    return true;
}

bool FindTagExtension(const uint8_t* cert, size_t size, std::string& block, bool& malformed) {
    malformed = false;
    DerItem whole, tbs;
    if (!Expect(cert, 0, size, kDerSequence, whole) || !Expect(cert, whole.contentStart, whole.end, kDerSequence, tbs))
        return false;
    // The extensions are the tbsCertificate's [3], after the fields before it.
    DerItem field;
    for (size_t at = tbs.contentStart; at < tbs.end; at = field.end) {
        if (!ReadDerItem(cert, at, tbs.end, field))
            return false;
        if (field.tag != kDerContext3)
            continue;
        DerItem list, extension;
        if (!Expect(cert, field.contentStart, field.end, kDerSequence, list))
            return false;
        for (size_t e = list.contentStart; e < list.end; e = extension.end) {
            DerItem oid, value;
            if (!Expect(cert, e, list.end, kDerSequence, extension) ||
                !Expect(cert, extension.contentStart, extension.end, kDerOid, oid))
                return false;
            if (!SameContent(cert, oid, kTagExtensionOid, sizeof kTagExtensionOid))
                continue;
            malformed = true;
            size_t next = oid.end;
            DerItem critical;
            if (ReadDerItem(cert, next, extension.end, critical) && critical.tag == kDerBoolean)
                next = critical.end;
            DerItem inner;
            if (!Expect(cert, next, extension.end, kDerOctetString, value) || value.end != extension.end ||
                !Expect(cert, value.contentStart, value.end, kDerOctetString, inner) || inner.end != value.end ||
                inner.end - inner.contentStart > kMaxTagBlockSize)
                return true;
            block.assign(reinterpret_cast<const char*>(cert + inner.contentStart), inner.end - inner.contentStart);
            malformed = false;
            return true;
        }
        return false;
    }
    return false;
}

bool ParseSignatureLayout(const uint8_t* blob, size_t size, SignatureLayout& layout, std::string& why) {
    SignatureLayout l;
    if (!Expect(blob, 0, size, kDerSequence, l.contentInfo)) {
        why = "the signature data is not a DER SEQUENCE";
        return false;
    }
    if (!Expect(blob, l.contentInfo.contentStart, l.contentInfo.end, kDerOid, l.contentType) ||
        !SameContent(blob, l.contentType, kSignedDataOid, sizeof kSignedDataOid)) {
        why = "the signature data is not PKCS#7 signedData";
        return false;
    }
    if (!Expect(blob, l.contentType.end, l.contentInfo.end, kDerContext0, l.explicitContent) ||
        l.explicitContent.end != l.contentInfo.end ||
        !Expect(blob, l.explicitContent.contentStart, l.explicitContent.end, kDerSequence, l.signedData) ||
        l.signedData.end != l.explicitContent.end) {
        why = "the signature data's SignedData cannot be read";
        return false;
    }
    DerItem version, digests, content;
    const size_t end = l.signedData.end;
    if (!Expect(blob, l.signedData.contentStart, end, kDerInteger, version) ||
        !Expect(blob, version.end, end, kDerSet, digests) || !Expect(blob, digests.end, end, kDerSequence, content)) {
        why = "the signature data's SignedData cannot be read";
        return false;
    }
    if (!Expect(blob, content.end, end, kDerContext0, l.certificateSet)) {
        why = "the signature data carries no certificate set";
        return false;
    }
    DerItem cert;
    for (size_t at = l.certificateSet.contentStart; at < l.certificateSet.end; at = cert.end) {
        if (!Expect(blob, at, l.certificateSet.end, kDerSequence, cert)) {
            why = "a certificate of the signature cannot be read";
            return false;
        }
        if (l.certificates.size() == kMaxSetCertificates) {
            why = "the signature carries more than " + std::to_string(kMaxSetCertificates) + " certificates";
            return false;
        }
        std::string block;
        bool malformed = false;
        bool tagged = FindTagExtension(blob + cert.start, cert.size(), block, malformed);
        if (malformed) {
            why = "a tag certificate's extension is not an OCTET STRING of at most " +
                  std::to_string(kMaxTagBlockSize) + " bytes";
            return false;
        }
        l.certificates.push_back(cert);
        l.isTagCertificate.push_back(tagged);
    }
    // What follows the set (revocation lists, the signer infos) must be items too.
    DerItem rest;
    size_t after = 0;
    for (size_t at = l.certificateSet.end; at < end; at = rest.end, ++after)
        if (!ReadDerItem(blob, at, end, rest)) {
            why = "the signature data's signer information cannot be read";
            return false;
        }
    if (after == 0) {
        why = "the signature data has no signer information";
        return false;
    }
    layout = std::move(l);
    return true;
}

CertificateTagStatus FindTagInCertificateTable(const uint8_t* table, size_t size, std::string& block,
                                               std::string& why) {
    if (size < kWinCertHeaderSize)
        return CertificateTagStatus::NoTag;
    if (size > kMaxTagTableSize) {
        why = "the certificate table is larger than " + std::to_string(kMaxTagTableSize) + " bytes";
        return CertificateTagStatus::Malformed;
    }
    uint32_t length = ReadLe32(table);
    uint16_t revision = uint16_t(table[4] | table[5] << 8), type = uint16_t(table[6] | table[7] << 8);
    if (length < kWinCertHeaderSize || length > size) {
        why = "the certificate table's first entry has a bad length";
        return CertificateTagStatus::Malformed;
    }
    if (revision != kWinCertRevision2 || type != kWinCertTypePkcsSignedData)
        return CertificateTagStatus::NoTag;
    SignatureLayout layout;
    const uint8_t* blob = table + kWinCertHeaderSize;
    if (!ParseSignatureLayout(blob, length - kWinCertHeaderSize, layout, why))
        return CertificateTagStatus::Malformed;
    size_t found = 0;
    for (size_t i = 0; i < layout.certificates.size(); ++i) {
        if (!layout.isTagCertificate[i])
            continue;
        if (++found > 1) {
            why = "the signature carries more than one tag certificate";
            return CertificateTagStatus::Malformed;
        }
        bool malformed = false;
        FindTagExtension(blob + layout.certificates[i].start, layout.certificates[i].size(), block, malformed);
    }
    return found ? CertificateTagStatus::Found : CertificateTagStatus::NoTag;
}
