// The uninstaller's command line (uninstallcommandline.h).
#include "uninstallcommandline.h"

#include <vector>

#include "pathrules.h"

using UninstallPaths::LowerPath;
using UninstallPaths::SameText;

namespace {

// Length of the program name at the start of the command line. The installer
// starts sibling uninstallers with their path unquoted, and the temporary
// folder often has spaces in it ("Documents and Settings", a user name).
size_t ProgramNameLength(const std::wstring& line, const std::wstring& self) {
    if (!line.empty() && line[0] == L'"') {
        size_t close = line.find(L'"', 1);
        return close == std::wstring::npos ? line.size() : close + 1;
    }
    auto endsToken = [&line](size_t at) {
        return at == line.size() || line[at] == L' ' || line[at] == L'\t';
    };
    if (!self.empty() && line.size() >= self.size() && SameText(line.substr(0, self.size()), self) &&
        endsToken(self.size()))
        return self.size();
    std::wstring lower = LowerPath(line);
    for (size_t at = lower.find(L".exe"); at != std::wstring::npos; at = lower.find(L".exe", at + 1)) {
        if (endsToken(at + 4)) return at + 4;
    }
    size_t space = line.find_first_of(L" \t");
    return space == std::wstring::npos ? line.size() : space;
}

std::vector<std::wstring> Tokenize(const std::wstring& commandLine, const std::wstring& self) {
    std::vector<std::wstring> tokens;
    const wchar_t* p = commandLine.c_str() + ProgramNameLength(commandLine, self);
    for (;;) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (!*p) return tokens;
        std::wstring token;
        bool quoted = false;
        while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
            if (*p == L'"')
                quoted = !quoted;
            else
                token += *p;
            ++p;
        }
        tokens.push_back(token);
    }
}

bool IsSwitch(const std::wstring& token, const wchar_t* name) {
    return token.size() > 1 && (token[0] == L'/' || token[0] == L'-') &&
           SameText(token.substr(1), name);
}

}  // namespace

bool ParseCommandLine(const std::wstring& commandLine, const std::wstring& self,
                      UninstallOptions* options, std::wstring* error) {
    std::vector<std::wstring> tokens = Tokenize(commandLine, self);
    bool haveKey = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::wstring& token = tokens[i];
        if (IsSwitch(token, L"quiet") || IsSwitch(token, L"s")) {
            options->quiet = true;
        } else if (IsSwitch(token, L"?") || IsSwitch(token, L"h") || IsSwitch(token, L"help")) {
            options->help = true;
        } else if (token.size() >= 3 && (token[0] == L'/' || token[0] == L'-') &&
                   SameText(token.substr(1, 2), L"u:")) {
            if (haveKey) {
                *error = L"The installation to remove is named twice on the command line.";
                return false;
            }
            haveKey = true;
            options->key = token.substr(3);
            // The installer passes the name unquoted, so a name with spaces
            // arrives as several words: take them up to the next switch.
            while (i + 1 < tokens.size() && !tokens[i + 1].empty() && tokens[i + 1][0] != L'/' &&
                   tokens[i + 1][0] != L'-') {
                options->key += L" " + tokens[++i];
            }
        } else {
            *error = L"Unknown option \"" + token + L"\".";
            return false;
        }
    }
    if (options->help) return true;
    if (!haveKey || options->key.empty()) {
        *error = L"The installation to remove is not named: use /u:<name>.";
        return false;
    }
    if (options->key.size() > 255 || options->key.find(L'\\') != std::wstring::npos) {
        *error = L"\"" + options->key + L"\" is not an installation name.";
        return false;
    }
    for (wchar_t c : options->key) {
        if (c < 32) {
            *error = L"The installation name contains a control character.";
            return false;
        }
    }
    return true;
}
