// What an upgrade removes: the files an earlier installation listed in its
// file list (uninstall.lst in the install folder) that the new installation's
// list no longer has. Files nobody listed - the user's own, the settings and
// tracking files, the log - are never among them. Windows only; worker thread.
#pragma once
#include <string>
#include <vector>

#include "pstring.h"

// The relative paths of the file list in `installFolder`, decoded as UTF-8
// (or the ANSI code page when it is not UTF-8, as the uninstaller reads it).
// Lines that are no plain relative path below the folder (absolute, with a
// drive, "..", "." or empty names, wildcards) are left out. Empty when the
// folder has no list or it cannot be read; `found` says whether it had one.
std::vector<std::wstring> ReadListedFiles(const PString& installFolder, bool& found);

// True when this product's uninstall entry records `installFolder` as its
// install location (compared as the file system compares names): only then
// is a file list found there the earlier installation's own, and not another
// program's that happens to share the folder.
bool PreviousInstallationIsIn(const PString& displayName, const PString& installFolder);

// The entries of `before` that `after` lacks, compared as the file system
// compares names (without regard to case), each once.
std::vector<std::wstring> FilesNoLongerListed(const std::vector<std::wstring>& before,
                                              const std::vector<std::wstring>& after);
