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
};

// Reads the block at the end of a file open for binary reading and
// unscrambles it with the tracking key into block (L bytes). The file
// position is left anywhere.
TrackingBlockStatus ReadTrackingBlock(FILE* file, _PBlock& block);

// Applies the unscrambled block's lines: the text starts as "[TInfo]\n"; each
// non-empty line (up to the block's first zero byte) is kept followed by
// "\n" unless it starts with "ITS=" or "IZ="; "THM=" and "TSL=" with a value
// set the theme and the locale code (prefixes compared ignoring case).
void ApplyTrackingLines(const _PBlock& block, TrackingInfo& info);

// ---- Writing (the tinfo tool) ------------------------------------------

// Turns the text of a lines file into the block's plain text: every
// non-blank line, CR LF or LF ended, must be KEY=value with a non-empty key;
// the lines are joined with "\n". Throws PInternalError naming the first bad
// line, or when there is no line or the block would exceed kTrackingMaxBlock.
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
