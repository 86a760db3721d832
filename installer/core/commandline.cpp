#include "commandline.h"

#include <cstring>
#include <string>

#include "installfolderrules.h"
#include "locales.h"
#include "pencoding.h"
#include "pstring.h"

namespace {
constexpr const char* kDelimiters = " \"";

// The switches that take a value, in the order of their duplicate bits.
enum ValueSwitch : int {
    kDir,
    kLang,
    kDesktop,
    kQuickLaunch,
    kStartMenu,
    kBrowserButton,
    kAllUsers,
    kLog,
    kValueSwitchCount
};
const char* const kValueSwitchNames[kValueSwitchCount] = {"-dir",       "-lang",          "-desktop",
                                                          "-quicklaunch", "-startmenu", "-browserbutton",
                                                          "-allusers",  "-log"};
}  // namespace

void MyCommandLineParser::Parse(const char* commandLine) {
    if (!commandLine)
        return;
    // Tokens are cut out of a private copy, as strtok would, but without
    // strtok's hidden state so that parsers may nest or run on any thread.
    std::string copy(commandLine);
    char* p = &copy[0];
    for (;;) {
        p += std::strspn(p, kDelimiters);
        if (*p == 0)
            break;
        // A quoted switch with a value: "-name=value with blanks".
        if (p > &copy[0] && p[-1] == '"' && *p == '-') {
            char* close = std::strchr(p, '"');
            char* equals = std::strchr(p, '=');
            if (equals && (!close || equals < close)) {
                bool last = !close;
                if (close)
                    *close = 0;
                OnToken(p);
                if (last)
                    break;
                p = close + 1;
                continue;
            }
        }
        char* end = p + std::strcspn(p, kDelimiters);
        // -name="value with blanks": the quoted part joins the token.
        if (*end == '"' && end > p && end[-1] == '=') {
            char* close = std::strchr(end + 1, '"');
            char* valueEnd = close ? close : end + std::strlen(end);
            std::memmove(end, end + 1, size_t(valueEnd - end - 1));
            end = valueEnd - 1;
            bool last = !close;
            *end = 0;
            OnToken(p);
            if (last)
                break;
            p = valueEnd + 1;
            continue;
        }
        bool last = *end == 0;
        *end = 0;
        OnToken(p);
        if (last)
            break;
        p = end + 1;
    }
}

bool IsAbsoluteFolderPath(const char* path) {
    if (!path)
        return false;
    // The form of the shared folder rule; what else it refuses is for the
    // installation plan to say, on the page or in the log.
    using FolderRules::FolderFault;
    const FolderFault fault =
        FolderRules::CheckInstallFolder(ToWideString(path, &PStringXEncoding), {}, {}, nullptr);
    return fault != FolderFault::NotFullPath && fault != FolderFault::BadCharacter;
}

void InstallerCommandLineParser::Fail(const char* why, const char* token) {
    if (!error_.empty())
        return;
    error_.assign(why);
    error_.append(": ");
    error_.append(token);
}

PString InstallerCommandLineParser::Error() const {
    if (!error_.empty())
        return error_;
    if (usesSwitches_ && !firstUnknown_.empty()) {
        PString why("unknown switch or stray argument (quote a path that holds blanks): ");
        why.append(firstUnknown_.text());
        return why;
    }
    return PString();
}

void InstallerCommandLineParser::OnToken(const char* token) {
    // Ten characters with the terminating zero: "-nolaunchx" and "-nolaunch=1" differ.
    if (PCompareNoCaseN(token, "-nolaunch", 10) == 0) {
        IsLaunchEnabled = false;
        return;
    }
    if (PCompareNoCase(token, "-silent") == 0) {
        usesSwitches_ = true;
        Switches.silent = true;
        return;
    }
    if (PCompareNoCase(token, "-help") == 0 || PCompareNoCase(token, "/help") == 0 ||
        PCompareNoCase(token, "-?") == 0 || PCompareNoCase(token, "/?") == 0) {
        usesSwitches_ = true;
        Switches.help = true;
        return;
    }

    const char* equals = std::strchr(token, '=');
    const size_t nameLength = equals ? size_t(equals - token) : std::strlen(token);
    int which = -1;
    for (int i = 0; i < kValueSwitchCount; ++i) {
        const char* name = kValueSwitchNames[i];
        if (std::strlen(name) == nameLength && PCompareNoCaseN(token, name, nameLength) == 0)
            which = i;
    }
    if (which < 0) {
        // Not ours: ignored, as it always was, unless the new switches are used.
        if (firstUnknown_.empty())
            firstUnknown_.assign(token);
        return;
    }
    usesSwitches_ = true;
    if (seen_ & (1u << which)) {
        Fail("switch given twice", token);
        return;
    }
    seen_ |= 1u << which;
    if (!equals || equals[1] == 0) {
        Fail("switch needs a value", token);
        return;
    }
    const char* value = equals + 1;

    auto flag = [&](int8_t& field) {
        if (std::strcmp(value, "0") == 0 || std::strcmp(value, "1") == 0)
            field = int8_t(value[0] - '0');
        else
            Fail("value must be 0 or 1", token);
    };
    switch (which) {
    case kDir: {
        PString folder(value);
        // "C:\Games\" and "C:\Games" are one folder; the worker appends "\name".
        while (folder.length() > 3 && folder.text()[folder.length() - 1] == '\\')
            folder.truncate(folder.length() - 1);
        if (!IsAbsoluteFolderPath(folder.text()))
            Fail("not an absolute folder path", token);
        else
            Switches.installFolder = folder;
        break;
    }
    case kLang:
        if (FindLocale(value) < 0)
            Fail("no such language code", token);
        else
            Switches.localeCode.assign(value);
        break;
    case kDesktop:
        flag(Switches.desktopShortcut);
        break;
    case kQuickLaunch:
        flag(Switches.quickLaunchShortcut);
        break;
    case kStartMenu:
        flag(Switches.startMenuShortcut);
        break;
    case kBrowserButton:
        flag(Switches.browserButton);
        break;
    case kAllUsers:
        flag(Switches.allUsers);
        break;
    case kLog:
        Switches.logPath.assign(value);
        break;
    default:
        break;
    }
}
