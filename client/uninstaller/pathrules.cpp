// The uninstaller's path rules (pathrules.h).
#include "pathrules.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <set>

#include "sharednames.h"

namespace UninstallPaths {

bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           SameText(text.substr(text.size() - suffix.size()), suffix);
}

bool ValidRelative(const std::wstring& path, std::wstring* why) {
    if (path.empty() || path.size() >= kMaxRelativePath) {
        *why = L"empty or too long";
        return false;
    }
    if (path.find(L':') != std::wstring::npos) {
        *why = L"contains a drive or colon";
        return false;
    }
    if (path.find(L'/') != std::wstring::npos) {
        *why = L"contains a forward slash";
        return false;
    }
    if (path[0] == L'\\') {
        *why = L"starts with a backslash";
        return false;
    }
    for (const std::wstring& part : SplitPath(path)) {
        if (part == L"..") {
            *why = L"contains \"..\"";
            return false;
        }
        if (!ValidComponent(part)) {
            *why = L"contains the unusable name \"" + part + L"\"";
            return false;
        }
    }
    return true;
}

bool ParseFileList(const std::wstring& text, const std::wstring& listPath,
                   std::vector<std::wstring>* entries, std::wstring* error) {
    std::set<std::wstring> seen;
    size_t start = 0;
    int lineNumber = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty()) continue;
        std::wstring why;
        if (!ValidRelative(line, &why)) {
            *error = L"Line " + std::to_wstring(lineNumber) + L" of the file list " + listPath +
                     L" is not a file inside the install folder (" + why + L"): " + line;
            return false;
        }
        if (seen.insert(LowerPath(line)).second) entries->push_back(line);
    }
    return true;
}

bool IsGuid(const std::wstring& text) {
    static const wchar_t kPattern[] = L"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != std::wcslen(kPattern)) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kPattern[i] == L'X') {
            if (!std::iswxdigit(text[i])) return false;
        } else if (text[i] != kPattern[i]) {
            return false;
        }
    }
    return true;
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

int Depth(const std::wstring& path) {
    return static_cast<int>(std::count(path.begin(), path.end(), L'\\'));
}

bool IsUserSettingsName(const std::wstring& name) {
    return SameText(name, SharedNames::kUserSettingsFile.wide) ||
           SameText(name, SharedNames::kUserSettingsBackupFile.wide);
}

}  // namespace UninstallPaths
