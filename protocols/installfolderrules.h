// Which folders an installation may go to, and which the uninstaller may
// treat as an installation: the text rules for absolute Windows folder paths
// that the installer (its page, -dir and -silent) and the uninstaller share,
// so that the uninstaller never refuses a folder the installer accepted.
//
// Pure text, no system calls: the system's own folders come in as lists
// (protectedfolders.h gives this system's). Paths are Windows paths in wide
// text (UTF-16 on Windows, UTF-32 elsewhere). Every function is free of state
// and safe to call from any thread. Used by the client's uninstaller too,
// which links nothing of plib: standard library only.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace FolderRules {

// The longest install folder, in UTF-16 units: Windows' MAX_PATH (260, its
// terminating zero included) less 100 kept for the client's own folders and
// files below it, whose paths the system's calls must still take whole.
constexpr std::size_t kMaxInstallFolder = 160;

// `text` in lower case as the file system compares names. Defined per
// system: on Windows with the system's own case mapping (pathcase_win.cpp),
// elsewhere with the C library's (pathcase_native.cpp).
std::wstring LowerPath(std::wstring text);

// True when `a` and `b` differ at most in case.
bool SameText(const std::wstring& a, const std::wstring& b);
// `text` without leading and trailing spaces, tabs and line breaks.
std::wstring Trim(const std::wstring& text);
// The parts between backslashes; an empty path gives one empty part, and
// doubled or trailing backslashes give empty parts.
std::vector<std::wstring> SplitPath(const std::wstring& path);

// What is wrong with one name inside a path.
enum class NameFault {
    None,
    Empty,               // "", as between two backslashes
    TrailingDotOrBlank,  // "Morv.", "Morv ", ".", "..": Windows strips the end or climbs a folder
    ReservedName,        // a device: CON, PRN, AUX, NUL, COM1-9, LPT1-9, also "nul.txt"
    BadCharacter,        // a separator, wildcard, colon, quote, < > |, or a control character
};
NameFault CheckName(const std::wstring& name);
// True for a device name Windows reserves in every folder, whatever follows
// a dot: "CON", "nul.txt", "Com1.tar.gz", "LPT9 .log" (blanks before the dot
// are stripped by Windows), and CONIN$, CONOUT$ and COM/LPT with a
// superscript 1, 2 or 3. Case is ignored.
bool IsReservedDeviceName(const std::wstring& name);
// A name CheckName finds no fault in.
bool ValidComponent(const std::wstring& name);

// Checks an absolute path an installation recorded: "X:\dir\..." or
// "\\server\share\...", surrounding blanks ignored, forward slashes taken as
// backslashes, "\\?\" device paths refused, every name checked with
// ValidComponent. On success stores it in `*out` without trailing
// backslashes (a drive root keeps its one: "C:\") and returns true; on
// failure stores the reason, in English, in `*why` and returns false, `*out`
// untouched. Strict: what the installer records (CheckInstallFolder's
// `normalized`) passes it unchanged.
bool NormalizeAbsolute(const std::wstring& raw, std::wstring* out, std::wstring* why);

// True for a drive ("C:", "C:\") or a network share's root ("\\server\share",
// and "\\server" itself). Expects a path NormalizeAbsolute accepted.
bool IsDriveRoot(const std::wstring& path);

// True when `path` (accepted by NormalizeAbsolute) must not be removed or
// treated as an installation: a drive root, one of `protectedFolders`, or a
// folder that contains one of them. `protectedFolders` must be normalized
// (NormalizeAbsolute) and in LowerPath form; case is ignored in `path`.
bool IsUnsafeFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders);

// Why a folder cannot take an installation.
enum class FolderFault {
    None,
    NotFullPath,         // relative ("Games"), drive-relative ("C:", "C:Games"), rooted ("\Games"),
                         // a device path ("\\?\C:\x", "\\.\x") or a server without a share ("\\server")
    BadCharacter,        // a name holds a character no folder name can have
    TrailingDotOrBlank,  // a name ends with a dot or a blank, or is "." or ".."
    ReservedName,        // a name is a device name (IsReservedDeviceName)
    Root,                // a drive's or a network share's root
    TooLong,             // more than kMaxInstallFolder units once normalized
    SystemFolder,        // is or contains a protected folder, or lies inside a system folder
};

// The install folder rule: whether `folder`, as typed or given with -dir,
// can take the installation. The folder is first normalized, the way Windows
// itself reads it, so that what is recorded is what is created: forward
// slashes become backslashes and doubled and trailing backslashes are dropped
// (the drive letter's case and every name are kept as given). Names Windows
// would silently change (a trailing dot or blank) are refused, not changed.
// Then, in this order: the shape (NotFullPath), each name's characters, ends
// and device names, a root, the length, and the system's folders:
// `protectedFolders` may not be the folder or lie inside it (the uninstaller
// refuses such a folder: IsUnsafeFolder), and nothing may be installed into
// or below one of `systemFolders` (Windows itself). Both lists normalized and
// in LowerPath form, as protectedfolders.h gives them.
// Returns the first fault found, or None with the normalized folder stored in
// `*normalized` (when given), which NormalizeAbsolute then accepts unchanged
// and IsUnsafeFolder does not refuse. `*normalized` is untouched on a fault.
FolderFault CheckInstallFolder(const std::wstring& folder, const std::vector<std::wstring>& protectedFolders,
                               const std::vector<std::wstring>& systemFolders, std::wstring* normalized);

}  // namespace FolderRules
