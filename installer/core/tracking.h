// The tracking block a distributor appends to the installer's own file: the
// scrambled text of KEY=value lines, followed by a 12-byte trailer of three
// little-endian words: distance D from the end of the file to the block's
// first byte (1 to 1024), block length L, and the magic 0xFFFEFFFE.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "pblock.h"
#include "pstring.h"

constexpr uint32_t kTrackingMagic = 0xFFFEFFFEu;
constexpr uint32_t kTrackingTrailerSize = 12;
constexpr uint32_t kTrackingMaxDistance = 1024;
// A block and its trailer must fit within the last 1,024 bytes.
constexpr uint32_t kTrackingMaxBlock = kTrackingMaxDistance - kTrackingTrailerSize;

// What the installer keeps of the block.
struct TrackingInfo {
    PString trackingInfo;  // "[TInfo]\n" and the kept lines; empty without a block
    PString themeId;       // value of the last non-empty THM= line
    PString localeCode;    // value of the last non-empty TSL= line
};

enum class TrackingBlockStatus {
    Found,
    NotFound,   // no trailer, wrong magic, or D outside 1..1024: "No tInfo found."
    ReadError,  // the L bytes cannot be had: "tInfo read error."
    Rejected,   // (ReadInstallerTrackingBlock) the signature's certificate table or
                // its tag certificate cannot be read: "tInfo rejected: <why>"
};

// Reads the block at the end of a file open for binary reading and
// unscrambles it with the tracking key into block (L bytes). The file
// position is left anywhere.
TrackingBlockStatus ReadTrackingBlock(FILE* file, _PBlock& block);

// Reads the block of an installer file open for binary reading, where
// tinfo stamp puts it: in a signed installer, the tag certificate of its
// signature (tagcertificate.h); otherwise, and in signed copies stamped
// before tags went there, at the end of the file (ReadTrackingBlock). The
// file's own headers and certificate table are untrusted: read within the
// file and within kMaxTagTableSize, never past. Rejected (why set) when the
// security directory points outside the file, or the table, its signature
// data or a tag certificate cannot be read. The file position is left anywhere.
TrackingBlockStatus ReadInstallerTrackingBlock(FILE* file, _PBlock& block, std::string& why);

// Applies the unscrambled block's text, which must follow the tag grammar
// (taggrammar.h): on success the text becomes "[TInfo]\n" and each line
// "KEY=value\n" (blanks trimmed), except the installer's own ITS and IZ
// lines, which are dropped; the last THM and TSL lines with a value set the
// theme and the locale code (keys compared ignoring case), and an empty
// string is returned. A block that breaks the grammar is used not at all:
// info is left unchanged and the reason is returned.
std::string ApplyTrackingLines(const _PBlock& block, TrackingInfo& info);

// ---- Writing (the tinfo tool) ------------------------------------------

// Turns the text of a lines file into the block's plain text: every
// non-blank line, CR LF or LF ended, must follow the tag grammar
// (taggrammar.h); the trimmed lines are joined with "\n". Throws
// PInternalError naming the first bad line, or when there is no line, more
// than kTagMaxLines or more than kTagMaxTextBytes (= kTrackingMaxBlock).
std::string TrackingTextFromLines(const std::string& lines);

// The scrambled block for a plain text followed by its trailer (D = L + 12).
std::string EncodeTrackingBlock(const std::string& text);

// Where the image's own tracking block starts: image.size() when there is no
// trailer; throws PInternalError when the image ends with the magic but its
// trailer does not describe a block that lies in the file before it.
size_t TrackingBlockStart(const std::string& image);

// The image without any tracking block it has, with a new block of text appended.
std::string StampTrackingBlock(const std::string& image, const std::string& text);

#ifdef _WIN32
// Reads the tracking block of the running installer's own file into info,
// logging "Error in reading file for tInfo", "No tInfo found." or
// "tInfo read error." when there is none to be had (info then unchanged).
void ReadTrackingInformation(TrackingInfo& info);
// The same for the file at a PStringX path.
void ReadTrackingInformationFrom(const char* path, TrackingInfo& info);
#endif
