// The uninstaller's rules for the paths an installation recorded: which
// absolute paths, file-list entries and browser-button ids are usable, and
// which folders must never be removed. Pure text rules, no system calls, so
// that they can be tested on any system; the uninstaller's only defence
// against a damaged or hostile uninstall entry is that they are right.
//
// Paths are Windows paths in wide text (UTF-16 on Windows, UTF-32 elsewhere).
// Every function is free of state and safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace UninstallPaths {

// The longest relative path the file list may hold (Windows' MAX_PATH).
constexpr std::size_t kMaxRelativePath = 260;

// `text` in lower case as the file system compares names. Defined per
// system: on Windows with the system's own case mapping (pathcase_win.cpp),
// elsewhere with the C library's (pathcase_portable.cpp).
std::wstring LowerPath(std::wstring text);

// True when `a` and `b` differ at most in case.
bool SameText(const std::wstring& a, const std::wstring& b);
// True when `text` ends with `suffix`, ignoring case.
bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix);
// `text` without leading and trailing spaces, tabs and line breaks.
std::wstring Trim(const std::wstring& text);

// The parts between backslashes; an empty path gives one empty part, and
// doubled or trailing backslashes give empty parts.
std::vector<std::wstring> SplitPath(const std::wstring& path);
// The part after the last backslash (all of `path` when it has none).
std::wstring FileNameOf(const std::wstring& path);
// The number of backslashes: deeper folders are removed before their parents.
int Depth(const std::wstring& path);

// One name inside a path: not empty, not "." or "..", no separators,
// wildcards, device syntax or control characters, and no trailing dot or
// space (Windows would silently strip them, so the name checked would not be
// the name used).
bool ValidComponent(const std::wstring& part);

// Checks an absolute path the installer recorded: "X:\dir\..." or
// "\\server\share\...", surrounding blanks ignored, forward slashes taken as
// backslashes, "\\?\" device paths refused, every name checked with
// ValidComponent. On success stores it in `*out` without trailing
// backslashes (a drive root keeps its one: "C:\") and returns true; on
// failure stores the reason in `*why` and returns false, `*out` untouched.
bool NormalizeAbsolute(const std::wstring& raw, std::wstring* out, std::wstring* why);

// True for a drive ("C:", "C:\") or a network share's root ("\\server\share").
// Expects a path NormalizeAbsolute accepted.
bool IsDriveRoot(const std::wstring& path);

// Checks one line of the file list, a path relative to the install folder:
// not empty, shorter than kMaxRelativePath, backslashes only, no drive or
// colon, no leading backslash, no "..", every name usable. On failure stores
// the reason in `*why` and returns false.
bool ValidRelative(const std::wstring& path, std::wstring* why);

// Reads the file list's text (lines ended by LF or CRLF; empty lines skipped)
// into `*entries`, each line checked with ValidRelative and kept once (a line
// that differs from an earlier one only in case is dropped). On the first
// unusable line stores a sentence naming the list `listPath`, the line's
// number and the reason in `*error` and returns false: then the list must not
// be used at all, as it cannot tell the installed files from others.
bool ParseFileList(const std::wstring& text, const std::wstring& listPath,
                   std::vector<std::wstring>* entries, std::wstring* error);

// True for a GUID in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
bool IsGuid(const std::wstring& text);

// True when `path` (accepted by NormalizeAbsolute) must not be removed or
// treated as an installation: a drive root, one of `protectedFolders`, or a
// folder that contains one of them. `protectedFolders` must be normalized
// (NormalizeAbsolute) and in LowerPath form; case is ignored in `path`.
bool IsUnsafeFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders);

// True for the names of the user's settings (user.ini, user.ini.bak in any
// case), which the uninstaller always keeps.
bool IsUserSettingsName(const std::wstring& name);

}  // namespace UninstallPaths
