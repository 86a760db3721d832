// The folder rules the installer and the uninstaller share (installfolderrules.h).
#include "installfolderrules.h"

#include <algorithm>
#include <cwchar>

namespace FolderRules {

namespace {

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// "X:\" with a letter a drive can have.
bool StartsWithDriveRoot(const std::wstring& path) {
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

// `lower` is `folder` or lies below it; both in LowerPath form. A drive root
// ends with its backslash already.
bool IsSameOrInside(const std::wstring& lower, const std::wstring& folder) {
    if (lower == folder)
        return true;
    return lower.size() > folder.size() && lower.compare(0, folder.size(), folder) == 0 &&
           (folder.back() == L'\\' || lower[folder.size()] == L'\\');
}

// Length in UTF-16 units, whatever the width of wchar_t here: a character
// beyond the BMP takes two.
std::size_t Utf16Length(const std::wstring& text) {
    std::size_t units = 0;
    for (wchar_t c : text)
        units += (static_cast<unsigned long>(c) >> 16) != 0 ? 2 : 1;
    return units;
}

FolderFault FaultOfName(NameFault fault) {
    switch (fault) {
    case NameFault::None:
        return FolderFault::None;
    case NameFault::BadCharacter:
        return FolderFault::BadCharacter;
    case NameFault::TrailingDotOrBlank:
        return FolderFault::TrailingDotOrBlank;
    case NameFault::ReservedName:
        return FolderFault::ReservedName;
    case NameFault::Empty:
        break;
    }
    return FolderFault::NotFullPath;
}

}  // namespace

bool SameText(const std::wstring& a, const std::wstring& b) { return LowerPath(a) == LowerPath(b); }

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

bool IsReservedDeviceName(const std::wstring& name) {
    // Windows looks at the part before the first dot, without its trailing blanks.
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"})
        if (base == device) return true;
    if (base.size() == 4 && (base.compare(0, 3, L"com") == 0 || base.compare(0, 3, L"lpt") == 0)) {
        const wchar_t digit = base[3];
        // Superscript one, two and three count as digits there too.
        return (digit >= L'1' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

NameFault CheckName(const std::wstring& name) {
    if (name.empty()) return NameFault::Empty;
    for (wchar_t c : name) {
        if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return NameFault::BadCharacter;
    }
    // Also "." and "..", which name this folder and its parent.
    if (name.back() == L'.' || name.back() == L' ') return NameFault::TrailingDotOrBlank;
    if (IsReservedDeviceName(name)) return NameFault::ReservedName;
    return NameFault::None;
}

bool ValidComponent(const std::wstring& name) { return CheckName(name) == NameFault::None; }

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
    if (StartsWithDriveRoot(path)) {
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

bool IsUnsafeFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders) {
    if (IsDriveRoot(path)) return true;
    std::wstring lower = LowerPath(path);
    for (const std::wstring& folder : protectedFolders) {
        if (IsSameOrInside(folder, lower)) return true;
    }
    return false;
}

FolderFault CheckInstallFolder(const std::wstring& folder, const std::vector<std::wstring>& protectedFolders,
                               const std::vector<std::wstring>& systemFolders, std::wstring* normalized) {
    std::wstring path = folder;
    std::replace(path.begin(), path.end(), L'/', L'\\');

    // The shape: "X:\..." or "\\server\share\...", nothing else.
    std::wstring prefix;
    std::wstring rest;
    const bool network = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
    if (network) {
        // "\\?\" and "\\.\" pass every name unchecked to the device layer.
        if (path.size() >= 3 && (path[2] == L'?' || path[2] == L'.') && (path.size() == 3 || path[3] == L'\\'))
            return FolderFault::NotFullPath;
        prefix = L"\\\\";
        rest = path.substr(2);
        if (rest.empty() || rest[0] == L'\\') return FolderFault::NotFullPath;  // no server
    } else if (StartsWithDriveRoot(path)) {
        prefix = path.substr(0, 3);
        rest = path.substr(3);
    } else {
        return FolderFault::NotFullPath;
    }
    // Windows reads doubled and trailing backslashes as one and none.
    std::vector<std::wstring> names;
    for (std::wstring& part : SplitPath(rest))
        if (!part.empty()) names.push_back(std::move(part));
    if (network && names.size() < 2) return FolderFault::NotFullPath;  // a server without a share

    for (const std::wstring& name : names) {
        const FolderFault fault = FaultOfName(CheckName(name));
        if (fault != FolderFault::None) return fault;
    }
    if (names.size() == (network ? 2u : 0u)) return FolderFault::Root;

    std::wstring result = prefix;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) result += L'\\';
        result += names[i];
    }
    if (Utf16Length(result) > kMaxInstallFolder) return FolderFault::TooLong;

    const std::wstring lower = LowerPath(result);
    for (const std::wstring& kept : protectedFolders)
        if (IsSameOrInside(kept, lower)) return FolderFault::SystemFolder;
    for (const std::wstring& system : systemFolders)
        if (IsSameOrInside(lower, system) || IsSameOrInside(system, lower)) return FolderFault::SystemFolder;

    if (normalized) *normalized = result;
    return FolderFault::None;
}

}  // namespace FolderRules
