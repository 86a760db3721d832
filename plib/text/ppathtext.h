// Paths as text. Paths travel as PStringX texts, so a path in the UTF-8 form
// starts with its marker byte: every test or edit that looks at a path's
// characters (drive letters, separators, quoting, trimming, joining) is made
// here, on the decoded characters, never on the raw bytes of one form.
// Portable; no system calls. Pure functions, safe on any thread.
#pragma once
#include <cstdint>

#include "pstring.h"

// Appends a backslash and name (PStringX) to path (PStringX) by the append
// rule: the result is in whichever form both texts fit.
void AppendPathComponent(PString& path, const char* name);
// folder, a backslash and name, as a new text.
PString JoinPath(const char* folder, const char* name);
// A double quote, the text, a double quote.
PString QuotedText(const char* text);

// The shape of a path, judged by its characters ('/' counts as '\').
enum class PathShape {
    Empty,          // ""
    Relative,       // "Games\Morvandite": below the current folder
    DriveRelative,  // "C:" or "C:Games": the current folder of drive C
    Rooted,         // "\Games": the root of the current drive
    Network,        // "\\server\share\..."
    DriveRoot,      // "C:\" (any number of trailing separators)
    DriveFolder,    // "C:\Games": a folder below a drive's root
};
PathShape ShapeOfPath(const char* path);

// "X:" exactly: a letter A-Z or a-z and a colon.
bool IsBareDrive(const char* path);
// The drive letter (as typed) of a path that starts with a letter and a colon; 0 otherwise.
uint32_t DriveLetterOf(const char* path);

// The share a network path is on, "\\server\share" with its names as typed
// and backslashes as separators (none at the end), for "\\server\share" and every path below it; empty
// for any other path, "\\server" alone included.
PString NetworkShareOf(const char* path);
// "\\server\share" itself (trailing separators allowed): the root of a
// network share, a folder that exists as long as the share does and cannot be
// made, as "C:" cannot.
bool IsNetworkShareRoot(const char* path);

// Removes trailing separators, but never the one of a drive root: "C:\Games\"
// becomes "C:\Games", "C:\\" becomes "C:\" and "C:\" stays (it never turns
// into the drive-relative "C:").
void TrimTrailingSeparators(PString& path);
