// The grammar of a tracking tag: the KEY=value lines a distributor's copy of
// the installer carries, one grammar for everything that writes tags
// (tinfo stamp, the tag server) and for the installer that reads them.
//
// A tag's text is lines separated by LF:
//   - blanks (space, tab) around the key and around the value are trimmed
//     before anything is compared; a line of blanks only is skipped;
//   - KEY:   1 to kTagMaxKeyLength of A-Z a-z 0-9 _ ;
//   - value: 0 to kTagMaxValueLength printable ASCII characters (0x20-0x7E)
//     other than '[' and ']'; the first '=' ends the key, later ones belong
//     to the value ("B=x=y" is B with value "x=y");
//   - at most kTagMaxLines lines that are not blank, and at most
//     kTagMaxTextBytes bytes of text in all;
//   - CR, NUL and every other control character are refused anywhere, but
//     zero bytes at the very end of the text (a C string's terminator and
//     padding) are allowed and ignored.
// Why: the installer copies the lines into tinfo.dat and a value into
// user.ini, which the client reads with INI readers, Windows' own among
// them; those split lines at CR as well as LF and start a section at '['.
// A key with a blank, a '[' or no '=' would make a line those readers take
// for something else. Non-ASCII bytes are refused because the block carries
// no encoding and the client reads user.ini in the ANSI code page.
//
// ITS and IZ (in any letter case and spacing) are the installer's own keys,
// the time of installation and the time zone it writes after the lines: a
// tag's lines with those keys are well-formed but reserved; the installer
// drops them, as it always has, and the tools warn or refuse.
//
// Plain functions on caller-owned text; no state, thread-safe.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kTagMaxKeyLength = 32;
constexpr size_t kTagMaxValueLength = 255;
constexpr size_t kTagMaxLines = 32;
// A tag and the 12-byte trailer of the end-of-file block fit in 1,024 bytes.
constexpr size_t kTagMaxTextBytes = 1012;

// One line of a tag, blanks trimmed.
struct TagLine {
    std::string key;
    std::string value;
    bool operator==(const TagLine& other) const { return key == other.key && value == other.value; }
};

// The text without the blanks (space, tab) at either end.
std::string_view TrimTagBlanks(std::string_view text);

// True for ITS and IZ in any letter case, blanks trimmed first.
bool IsReservedTagKey(std::string_view key);

// Why key (trimmed first) is no tag key, or an empty string when it is one.
// Reserved keys are keys: ask IsReservedTagKey.
std::string TagKeyError(std::string_view key);
// Why value (trimmed first) is no tag value, or an empty string when it is one.
std::string TagValueError(std::string_view value);

// Reads one line (no LF in it): why it breaks the grammar ("is not
// KEY=value", "holds a carriage return", "is refused: the key ..."), or an empty
// string with parsed set (trimmed) or, for a line of blanks only, blank set.
std::string ParseTagLine(std::string_view line, TagLine& parsed, bool& blank);

// The result of reading a tag's text.
struct TagParse {
    std::vector<TagLine> lines;  // in text order, trimmed; blank lines left out
    std::string error;           // empty when the text follows the grammar;
                                 // otherwise why not, naming the line ("line 3 is not KEY=value")
    bool ok() const { return error.empty(); }
};

// Reads a tag's text (the unscrambled block). On an error `lines` is empty:
// a tag that breaks the grammar is used not at all. Never throws but
// std::bad_alloc; the work is bounded by the size of the text, which is
// refused beyond kTagMaxTextBytes before anything else is looked at.
TagParse ParseTagText(std::string_view text);

// Why these lines (keys and values as given, trimmed first) cannot form a
// tag: a bad key or value, too many lines, or a text over kTagMaxTextBytes;
// an empty string when they can. Reserved keys pass; the caller decides.
std::string TagLinesError(const std::vector<TagLine>& lines);

// The text of checked lines: "KEY=value\n" for each, trimmed. The caller
// has checked them with TagLinesError (or got them from ParseTagText).
std::string TagText(const std::vector<TagLine>& lines);
