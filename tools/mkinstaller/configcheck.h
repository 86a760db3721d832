// The configuration file a release gives mkinstaller (--config), checked
// the way the installer will read it as its section "define" (resource 131,
// installer/core/config.h), so that a section the installer cannot use is refused
// here, by line and key, rather than met by the person installing.
// Pure function of its input; any thread.
#pragma once
#include <string>
#include <vector>

// The keys an installer cannot do without: the product name (install,
// settings and work folder names), the display name (window title, uninstall
// entry, the one-installer-at-a-time lock, the journal's file name), the web
// site (the address of the licence terms the page links to) and the browser
// button's id (without one the installer writes the button's values into the
// browser's Extensions key itself, where no uninstaller removes them).
extern const char* const kRequiredConfigurationKeys[4];

struct CheckedConfiguration {
    // The section to embed: the file's text without a UTF-8 byte-order mark,
    // values outside ASCII in the installer's own text form (the byte 0x10,
    // then UTF-8), everything else byte for byte.
    std::string section;
    // "iconPath" as the installer will use it (its default when absent), in
    // UTF-8 with backslashes: a file the client folder should hold.
    std::string iconPath;
    // What the release team should know but need not change (one sentence each).
    std::vector<std::string> notes;
};

// Reads the file's bytes: UTF-8, with or without a byte-order mark (which is
// dropped, with a note), CR LF or LF line ends, ';' and '#' comments. Throws
// PInternalError with the reason, naming the line and key, for: another
// encoding (UTF-16, bytes that are not UTF-8, zero bytes); a line that is no
// "[section]", "key=value" or comment; a key before "[define]", another
// section or a second "[define]"; an unknown key, a key with blanks before
// '=', a repeated key (the installer reads only the first); a missing or
// empty required key; names that cannot be folder or file names ("name",
// "dispname", "WorkFolderName"); a site that is not an http(s) address, or
// ends with '/'; a window class with a backslash; a browser-button id that
// is not a GUID; a number the installer would read as another ("0x1F"); an
// iconPath that is absolute or climbs out of the install folder.
CheckedConfiguration CheckConfigurationFile(const std::string& bytes);
