// The tracking tag of a signed installer, carried in a "superfluous"
// certificate: one more certificate in the certificate set of the
// signature's PKCS#7 SignedData, which the signature does not cover and
// which leaves nothing but zero padding after the PKCS#7 data (what
// Windows' strict signature check, EnableCertPaddingCheck, demands).
//
// The certificate carries the tracking block (the tag's text scrambled with
// the tracking key, as at the end of an unsigned installer) in an extension
// under the project's object identifier kTagExtensionOid,
// 1.3.6.1.4.1.61529.1.1 (a private-enterprise-style arc):
//   extnValue = OCTET STRING wrapping the DER OCTET STRING of the block.
//
// Here: reading the certificate table (the WIN_CERTIFICATE entries the
// security directory points to) as the installer must, from untrusted
// bytes, with no crypto library: definite DER lengths only, every item
// within its parent, at most kMaxTagTableSize bytes, kMaxSetCertificates
// certificates, a block of at most kMaxTagBlockSize bytes. The layout it
// finds is also what tinfo's stamping rewrites (tools/tinfo/tagstamp.h).
// Plain functions on caller-owned bytes; thread-safe; no exceptions but
// std::bad_alloc.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// DER of 1.3.6.1.4.1.61529.1.1, without tag and length.
extern const uint8_t kTagExtensionOid[10];

// A certificate table larger than this is not read (a signature with its
// chain and a time stamp takes some 10 KB).
constexpr size_t kMaxTagTableSize = 512 * 1024;
constexpr size_t kMaxSetCertificates = 64;
// The scrambled block: at most the tag grammar's text.
constexpr size_t kMaxTagBlockSize = 1012;

constexpr uint16_t kWinCertRevision2 = 0x0200;
constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;
constexpr size_t kWinCertHeaderSize = 8;  // dwLength, wRevision, wCertificateType

// One DER item: [start, contentStart) is its tag and length, [contentStart, end) its content.
struct DerItem {
    uint8_t tag = 0;
    size_t start = 0;
    size_t contentStart = 0;
    size_t end = 0;
    size_t headerSize() const { return contentStart - start; }
    size_t size() const { return end - start; }
};

// Reads the item at data[at], which must end by `limit`: one-byte tags only
// (no high tag numbers), definite lengths of up to four bytes. False when
// it does not.
bool ReadDerItem(const uint8_t* data, size_t at, size_t limit, DerItem& item);

// Where the parts of a PKCS#7 SignedData blob lie (offsets into the blob).
// ContentInfo ::= SEQUENCE { OID signedData, [0] EXPLICIT SignedData }
// SignedData ::= SEQUENCE { version, digestAlgorithms, contentInfo,
//                [0] IMPLICIT certificates, [1] crls OPTIONAL, signerInfos }
struct SignatureLayout {
    DerItem contentInfo;       // the whole blob's outer SEQUENCE; its end is the PKCS#7 data's end
    DerItem contentType;       // the signedData OID
    DerItem explicitContent;   // [0]
    DerItem signedData;        // SEQUENCE
    DerItem certificateSet;    // [0] IMPLICIT SET OF Certificate
    std::vector<DerItem> certificates;  // in set order
    std::vector<bool> isTagCertificate; // per certificate: it carries kTagExtensionOid
};

// Lays out a PKCS#7 SignedData blob (bytes after its end are not looked at).
// False, why saying what is wrong, when it is not one as above (no
// certificate set included).
bool ParseSignatureLayout(const uint8_t* blob, size_t size, SignatureLayout& layout, std::string& why);

// The certificate's extension under kTagExtensionOid, as the block it
// holds. False when the certificate has none; true with `malformed` set
// when it has one that is not an OCTET STRING of at most kMaxTagBlockSize.
bool FindTagExtension(const uint8_t* cert, size_t size, std::string& block, bool& malformed);

enum class CertificateTagStatus {
    Found,      // block holds the scrambled tag
    NoTag,      // no PKCS#7 entry first in the table, or no tag certificate in it
    Malformed,  // the table, its signature data or a tag certificate cannot be read; why says what
};

// Looks in a certificate table (the bytes the security directory points to)
// for the tag: its first entry must be a PKCS#7 SignedData entry; more than
// one tag certificate is malformed.
CertificateTagStatus FindTagInCertificateTable(const uint8_t* table, size_t size, std::string& block,
                                               std::string& why);
