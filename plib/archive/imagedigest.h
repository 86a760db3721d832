// The installer's digest of its own file. mkinstaller writes it into a
// record resource of the finished installer; the installer checks it at
// start-up, before it trusts anything else its resources say.
//
// SHA-256 over every byte of the file but these ranges, left out because
// something changes them after the digest is written, or because a digest of
// their own covers them:
//   - the optional header's CheckSum (every tool that touches the file rewrites it);
//   - the security data-directory entry (signing points it at the certificate table);
//   - the payload resource's data (its own SHA-256 covers it, and so the
//     check at start-up reads the ~700 KB of program and resources, not the payload);
//   - the record's image-digest field (a digest cannot cover itself);
//   - everything after the raw data of the last section (where a signature's
//     certificate table and a tracking block are appended).
// The rest is covered: DOS and PE headers, section table, code and data, the
// whole resource tree, every other resource, and the rest of the record.
//
// The record, kImageDigestRecordSize bytes: "MVID", version 1 (u32, little
// endian), the SHA-256 of the message-table resource's data, the image digest.
// The message table's own digest lets a failed check still show its notice in
// the user's language when the table itself is intact.
//
// Reading is bounded by the file: damaged headers, a section or resource entry
// pointing outside the file or a file cut short are reported as damage, never
// read past. Plain functions; thread-safe as long as each call has its own source.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "payload.h"
#include "pstring.h"
#include "sha256.h"

constexpr size_t kImageDigestRecordSize = 72;
// Where the image digest lies inside the record, the one part the digest leaves out.
constexpr size_t kImageDigestFieldOffset = 40;
constexpr uint32_t kImageDigestRecordVersion = 1;

using ImageDigestRecordBytes = std::array<uint8_t, kImageDigestRecordSize>;

struct ImageDigestRecord {
    Sha256Digest messageTable{};  // SHA-256 of the message-table resource's data
    Sha256Digest image{};         // the digest of the file, as described above
};

ImageDigestRecordBytes EncodeImageDigestRecord(const ImageDigestRecord& record);
// False when size is not the record's, or the magic or version differ.
bool DecodeImageDigestRecord(const uint8_t* bytes, size_t size, ImageDigestRecord& record);

// The resources the layout is found by: both of type `type` (ASCII, e.g.
// "MV"), each in exactly one language. The payload may be absent (nothing
// to leave out); the record must be present.
struct ImageDigestResources {
    const char* type;
    uint16_t payloadId;
    uint16_t recordId;
};

struct ImageByteRange {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t end() const { return offset + size; }
};

struct ImageDigestLayout {
    // The ranges left out, ascending and disjoint, none empty; the tail
    // after the last section is the last of them when the file has one.
    std::vector<ImageByteRange> excluded;
    uint32_t recordOffset = 0;  // the record's data in the file
    uint32_t coveredEnd = 0;    // end of the last section's raw data
};

// Finds the record and the ranges left out in a PE32 image. False, why
// saying what is damaged, when the headers, the section table or the
// resource tree cannot be read within the file, when a section's raw data
// overlaps the headers, when the record is missing, has another size or
// sits in more than one language, or when the payload and the record
// overlap. Throws PayloadReadError when the source cannot be read.
bool FindImageDigestLayout(IPayloadSource& image, const ImageDigestResources& resources, ImageDigestLayout& layout,
                           PString* why = nullptr);

// SHA-256 over [0, layout.coveredEnd) but the excluded ranges. Throws
// PayloadReadError when the source cannot be read.
Sha256Digest ComputeImageDigest(IPayloadSource& image, const ImageDigestLayout& layout,
                                Sha256Engine engine = Sha256FastestEngine());

// The answer of the whole check.
struct ImageDigestCheck {
    bool intact = false;      // the image's digest matches its record's
    bool recordRead = false;  // record holds the decoded record (also when it does not match)
    ImageDigestRecord record;
    PString why;              // when not intact: damaged, no record, a malformed one, a mismatch, unreadable
};
// Finds the layout, reads the record and compares. Never throws: a source
// that cannot be read is an answer like the others.
ImageDigestCheck CheckImageDigest(IPayloadSource& image, const ImageDigestResources& resources);

// Writes the image digest into the record of an image in memory: a record
// EncodeImageDigestRecord made, with any digest as a placeholder. False, with
// why, when the layout cannot be found or the record is malformed; the image
// is then unchanged.
// The PE checksum is not touched (the digest leaves it out; the caller
// rewrites it after the last change).
bool SealImageDigest(uint8_t* image, size_t size, const ImageDigestResources& resources, PString* why = nullptr);
