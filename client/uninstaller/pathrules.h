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

#include "installfolderrules.h"

namespace UninstallPaths {

// The longest relative path the file list may hold (Windows' MAX_PATH).
constexpr std::size_t kMaxRelativePath = 260;

// The folder rules the installer shares (installfolderrules.h): names,
// absolute paths, roots and protected folders.
using FolderRules::IsDriveRoot;
using FolderRules::IsUnsafeFolder;
using FolderRules::LowerPath;
using FolderRules::NormalizeAbsolute;
using FolderRules::SameText;
using FolderRules::SplitPath;
using FolderRules::Trim;
using FolderRules::ValidComponent;

// True when `text` ends with `suffix`, ignoring case.
bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix);
// The part after the last backslash (all of `path` when it has none).
std::wstring FileNameOf(const std::wstring& path);
// The number of backslashes: deeper folders are removed before their parents.
int Depth(const std::wstring& path);

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

// True for the names of the user's settings (user.ini, user.ini.bak in any
// case), which the uninstaller always keeps.
bool IsUserSettingsName(const std::wstring& name);

}  // namespace UninstallPaths
