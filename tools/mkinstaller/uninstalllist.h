// uninstall.lst, the client's file list at the top of the client folder: the
// uninstaller removes what it names, and an upgrade removes what an earlier
// installation named and the new one does not. Without it an installation
// cannot be removed, so every installer carries one: mkinstaller makes it
// when the client folder has none and checks the one it has.
// Pure functions of their inputs; any thread.
#pragma once
#include <string>
#include <vector>

// The list for a folder whose files are payloadNames (as the payload stores
// them: code page 1252, backslash separators), with uninstall.lst itself
// added when absent: one name a line, UTF-8, backslashes, CR LF after each,
// sorted as client/assemble.cmake sorts (ASCII letters lowered, '/' as the
// separator, then byte order), so a folder gives the same bytes either way.
std::string MakeUninstallList(std::vector<std::string> payloadNames);

// Compares a folder's own list (its bytes, as the uninstaller reads them:
// a UTF-8 byte-order mark dropped, UTF-8 or else code page 1252, CR LF or
// LF, empty lines and repeats ignored, names compared as Windows does,
// ignoring case) with the folder's files. Returns an empty string when the
// list names exactly those files, uninstall.lst included; otherwise a
// sentence naming the first file missing from the list, or, when none is,
// the first listed name that is no file of the folder.
std::string UninstallListMismatch(const std::string& listBytes, const std::vector<std::string>& payloadNames);
