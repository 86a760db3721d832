// The installer's command line: split into tokens, each handed to a virtual
// handler; the installer's handler knows one switch, "-nolaunch".
#pragma once

class MyCommandLineParser {
public:
    virtual ~MyCommandLineParser() {}
    // Splits a copy of the narrow command line at runs of blanks and double
    // quotes (a quote is only a separator, so a quoted argument with blanks
    // comes out as several tokens) and calls OnToken for each, in order.
    // A null line has no tokens.
    void Parse(const char* commandLine);

protected:
    virtual void OnToken(const char* token) {}
};

class InstallerCommandLineParser : public MyCommandLineParser {
public:
    // Cleared by "-nolaunch" in any letter case; becomes launchAfterInstall.
    bool IsLaunchEnabled = true;

protected:
    void OnToken(const char* token) override;
};
