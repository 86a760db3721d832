// The installer's command line: split into tokens, each handed to a virtual
// handler; the installer's handler knows "-nolaunch" and the switches of an
// unattended installation.
#pragma once
#include <cstdint>

#include "pstring.h"

class MyCommandLineParser {
public:
    virtual ~MyCommandLineParser() {}
    // Splits a copy of the narrow command line at runs of blanks and double
    // quotes (a quote is only a separator, so a quoted argument with blanks
    // comes out as several tokens) and calls OnToken for each, in order.
    // Two quoted forms stay whole, so that a switch's value may hold blanks:
    // a quote right after the '=' of a token (-dir="C:\My Games") runs to the
    // next quote, and a quoted token that starts with '-' and holds '='
    // ("-dir=C:\My Games") is one token; the quotes themselves are dropped,
    // and an unclosed quote runs to the end of the line. A null line has no
    // tokens.
    void Parse(const char* commandLine);

protected:
    virtual void OnToken(const char* token) {}
};

// What the switches of an unattended installation ask for. An option left
// at -1 was not given: the page's default applies.
struct CommandLineSwitches {
    bool silent = false;       // -silent: install without showing the page
    bool help = false;         // -help, /?, -?, /help: show the usage and stop
    PString installFolder;     // -dir=PATH, absolute, without trailing backslashes; empty: not given
    PString localeCode;        // -lang=CODE, a code of the locale catalogue; empty: not given
    int8_t desktopShortcut = -1;      // -desktop=0|1
    int8_t quickLaunchShortcut = -1;  // -quicklaunch=0|1
    int8_t startMenuShortcut = -1;    // -startmenu=0|1
    int8_t browserButton = -1;        // -browserbutton=0|1
    int8_t allUsers = -1;             // -allusers=0|1
    PString logPath;           // -log=PATH: a copy of the log; empty: not given
};

class InstallerCommandLineParser : public MyCommandLineParser {
public:
    // Cleared by "-nolaunch" in any letter case; becomes launchAfterInstall.
    bool IsLaunchEnabled = true;
    CommandLineSwitches Switches;

    // Empty when the command line can be obeyed; otherwise why not, in
    // English, for the log (the first fault found). Faults: a switch of an
    // unattended installation with a missing or bad value or given twice,
    // and, once any such switch is used, every other token that is not
    // "-nolaunch" (an unknown switch, or a path with blanks left unquoted).
    // Without those switches unknown tokens are ignored, as they always were.
    PString Error() const;
    // True when any switch beyond "-nolaunch" was given.
    bool UsesSwitches() const { return usesSwitches_; }

protected:
    void OnToken(const char* token) override;

private:
    void Fail(const char* why, const char* token);

    bool usesSwitches_ = false;
    PString error_;
    PString firstUnknown_;
    uint32_t seen_ = 0;  // one bit per value switch, to find duplicates
};

// Whether path (PStringX) has the form of an install folder by the shared
// folder rule (installfolderrules.h): a full path below a drive letter
// ("C:\Games", "C:\" too) or a network share ("\\server\share\Games"),
// without the characters no name can have (< > : " | ? * and control codes);
// "\\?\" device paths are not. Whether the folder can take the installation
// (a root, a system folder, a name Windows would alter or reserves) is the
// installation plan's to say (installplan.h), not the command line's.
bool IsAbsoluteFolderPath(const char* path);
