// Stamping a tracking tag onto an installer, designed so that a server can
// stamp each download as it serves it: the installer is read once into a
// PreparedInstaller (its headers, its certificate table and partial sums
// for the PE checksum), and each tag then gives the stamped file as an
// ordered list of segments, ranges of the original file and small computed
// byte buffers, in time proportional to the tag, never to the file.
//
// Where the tag goes:
//   - a signed installer (its security directory points to a certificate
//     table ending the file, one PKCS#7 entry): one extra certificate in
//     the signature's certificate set carrying the scrambled block
//     (protocols/tagcertificate.h), replacing any tag certificate and any
//     bytes an older tinfo put after the PKCS#7 data; the DER lengths
//     around the set, the entry's length, the directory's size and the PE
//     checksum follow, and only zero padding to 8 bytes follows the PKCS#7
//     data. The signature's hash covers none of these, so it stays valid;
//   - an unsigned installer: the block and its trailer at the end of the
//     file, replacing a block it has (installer/core/tracking.h), as before.
// An empty text gives the installer without a tag.
//
// The prepared image remembers the file's size only: the caller must serve
// or copy the file ranges from the same, unchanged file it prepared from.
// A PreparedInstaller is immutable after Prepare; const calls are
// thread-safe. Failures throw PInternalError with a sentence saying why.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One piece of a stamped file: `length` bytes of the prepared file from
// `fileOffset` when `bytes` is empty, otherwise `bytes` themselves.
struct StampSegment {
    uint64_t fileOffset = 0;
    uint64_t length = 0;
    std::string bytes;
    bool fromFile() const { return bytes.empty(); }
};

class PreparedInstaller {
public:
    // Reads the installer open for binary reading at `file` once, front to
    // back (the headers, the certificate table, and every byte before the
    // table for the checksum's sums, through a 1 MiB buffer); the position
    // is left anywhere and the file is not kept. Throws when a signed
    // installer's table is not at the end of the file, holds more than one
    // entry or more than kMaxTagTableSize bytes, or its PKCS#7 data cannot
    // be laid out; when a file starting with "MZ" has headers that run past
    // its end or its tracking block (the block appended could complete
    // them); or when an unsigned file ends with a damaged tracking trailer.
    // A file that is no Windows program is stamped at its end.
    static PreparedInstaller Prepare(FILE* file);

    bool isSigned() const { return signed_; }
    uint64_t fileSize() const { return fileSize_; }

    // The stamped file for a tag's text (lines "KEY=value\n" that passed
    // the tag grammar, as TagText makes them; empty: no tag), in order:
    // file ranges lie within [0, fileSize()), computed buffers are never
    // empty and take some hundred bytes plus the text; two file ranges may
    // follow each other. The same prepared file and text always give the
    // same segments. Throws when the text is longer than kTagMaxTextBytes
    // or the file would pass 4 GiB.
    std::vector<StampSegment> Segments(const std::string& text) const;

private:
    // A range of the file and its byte sums at even and odd offsets within it.
    struct FileRange {
        uint64_t offset = 0;
        uint64_t length = 0;
        uint64_t evenSum = 0;
        uint64_t oddSum = 0;
    };

    bool signed_ = false;
    uint64_t fileSize_ = 0;
    // Unsigned: the file up to its tracking block.
    FileRange unsignedBody_;
    // Signed: see Segments() for how these and the computed pieces alternate.
    std::vector<FileRange> ranges_;   // [0] to checksum, to directory size, to table,
                                      // content type, SignedData head, certificates kept..., rest
    size_t keptCertificateRanges_ = 0;
    uint64_t keptCertificateBytes_ = 0;
    uint16_t entryRevision_ = 0, entryType_ = 0;
};

// The DER of the certificate that carries a scrambled block: a minimal
// self-issued X.509 v3 structure (subject and issuer "Morvandite tracking
// tag", fixed dates, the P-256 generator as its key, a placeholder
// signature that nothing verifies) with the block in its kTagExtensionOid
// extension. The same block always gives the same bytes.
std::string TagCertificate(const std::string& scrambledBlock);

// Writes the stamped file: the segments in order, file ranges read from
// `file` (the one prepared). Throws when a range cannot be read.
std::string AssembleSegments(FILE* file, const std::vector<StampSegment>& segments);
