// The uninstaller's path rules (pathrules.h).
#include "pathrules.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <set>

#include "sharednames.h"

namespace UninstallPaths {

bool SameText(const std::wstring& a, const std::wstring& b) { return LowerPath(a) == LowerPath(b); }

bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           SameText(text.substr(text.size() - suffix.size()), suffix);
}

std::wstring Trim(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return std::wstring();
    size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find(L'\\', start);
        parts.push_back(path.substr(start, slash == std::wstring::npos ? slash : slash - start));
        if (slash == std::wstring::npos) return parts;
        start = slash + 1;
    }
}

bool ValidComponent(const std::wstring& part) {
    if (part.empty() || part == L"." || part == L"..") return false;
    if (part.back() == L'.' || part.back() == L' ') return false;
    for (wchar_t c : part) {
        if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return true;
}

bool NormalizeAbsolute(const std::wstring& raw, std::wstring* out, std::wstring* why) {
    std::wstring path = Trim(raw);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.size() >= 4 && path.compare(0, 4, L"\\\\?\\") == 0) {
        *why = L"device paths are not accepted";
        return false;
    }
    std::wstring rest;
    std::wstring prefix;
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') {
        prefix = path.substr(0, 2);
        rest = path.substr(3);
    } else if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
        prefix = L"\\";
        rest = path.substr(2);
    } else {
        *why = L"it is not a full path with a drive";
        return false;
    }
    if (!rest.empty()) {
        for (const std::wstring& part : SplitPath(rest)) {
            if (!ValidComponent(part)) {
                *why = L"it contains the unusable name \"" + part + L"\"";
                return false;
            }
        }
    }
    *out = rest.empty() ? prefix + L"\\" : prefix + L"\\" + rest;
    return true;
}

bool IsDriveRoot(const std::wstring& path) {
    if (path.size() <= 3 && path.size() >= 2 && path[1] == L':') return true;
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
        // \\server\share is the root of a network drive.
        return SplitPath(path.substr(2)).size() <= 2;
    }
    return false;
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

bool IsUnsafeFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders) {
    if (IsDriveRoot(path)) return true;
    std::wstring lower = LowerPath(path);
    for (const std::wstring& folder : protectedFolders) {
        if (folder == lower) return true;
        if (folder.size() > lower.size() && folder.compare(0, lower.size(), lower) == 0 &&
            folder[lower.size()] == L'\\')
            return true;
    }
    return false;
}

bool IsUserSettingsName(const std::wstring& name) {
    return SameText(name, SharedNames::kUserSettingsFile.wide) ||
           SameText(name, SharedNames::kUserSettingsBackupFile.wide);
}

}  // namespace UninstallPaths
