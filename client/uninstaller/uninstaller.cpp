// MorvanditeUninstall.exe: removes an installation that the installer made.
//
//   MorvanditeUninstall.exe /u:<key> [/quiet | /s]
//
// Everything it removes comes from what the installation recorded: the uninstall
// entry HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<key> (install
// folder, shortcut files, program group, browser button) and the file list
// "uninstall.lst" that ships in the install folder. It never derives a path
// from its own location, so a copy started from the temporary folder (the
// installer runs sibling uninstallers that way) works the same. Every recorded
// path is checked before anything is touched; one bad value stops the whole
// removal with nothing lost. user.ini and user.ini.bak are always kept.
//
// /quiet (or /s) answers every question with yes and shows no message box.
// A log of each run is written to %TEMP%\MorvanditeUninstall.log.
//
// Exit codes: 0 removed; 1 bad command line, no such installation, or an
// unusable recorded value (nothing removed); 2 the client is running (nothing
// removed); 3 the user said no (nothing removed); 4 some items could not be
// removed (the uninstall entry is kept so that a later run can finish).
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "modulepath.h"
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <set>
#include <string>
#include <vector>
#include "psystemdll.h"

namespace {

enum ExitCode {
    kRemoved = 0,
    kBadInput = 1,
    kClientRunning = 2,
    kDeclined = 3,
    kIncomplete = 4,
};

const wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kClientClass[] = L"MorvanditeLobbyClass";  // window class and mutex name
const wchar_t kManifestName[] = L"uninstall.lst";
const wchar_t* const kButtonRoots[] = {
    L"Software\\Microsoft\\Internet Explorer\\Extensions\\",
    L"Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\",
};

// ---------------------------------------------------------------------------
// Small string and path helpers

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return Lower(a) == Lower(b); }

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

std::wstring SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring(L"unknown error");
    if (buffer) LocalFree(buffer);
    text = Trim(text);
    return text + L" (error " + std::to_wstring(code) + L")";
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

// One name inside a path: no separators, wildcards or device syntax, and no
// trailing dot or space (Windows would silently strip them and "..." would
// turn into a different name than the one checked).
bool ValidComponent(const std::wstring& part) {
    if (part.empty() || part == L"." || part == L"..") return false;
    if (part.back() == L'.' || part.back() == L' ') return false;
    for (wchar_t c : part) {
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return true;
}

// Checks an absolute path recorded by the installer and returns it without a
// trailing backslash. Accepts "X:\dir\..." and "\\server\share\...".
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
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') {
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

// A relative path from the file list: backslashes only, no drive, no colon,
// no leading backslash and no "..".
bool ValidRelative(const std::wstring& path, std::wstring* why) {
    if (path.empty() || path.size() >= MAX_PATH) {
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

bool IsGuid(const std::wstring& text) {
    static const wchar_t kPattern[] = L"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != wcslen(kPattern)) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kPattern[i] == L'X') {
            if (!iswxdigit(text[i])) return false;
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

// Long, full form of an existing path, for comparing two names of one file.
std::wstring CanonicalPath(const std::wstring& path) {
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    if (n == 0 || n >= 32768) return Lower(path);
    wchar_t longer[32768];
    DWORD m = GetLongPathNameW(full, longer, 32768);
    return Lower(m && m < 32768 ? std::wstring(longer) : std::wstring(full));
}

// ---------------------------------------------------------------------------
// Log of one run, in the temporary folder (the install folder goes away)

class RunLog {
public:
    RunLog() {
        wchar_t temp[MAX_PATH + 1] = L"";
        if (!GetTempPathW(MAX_PATH + 1, temp)) return;
        path_ = std::wstring(temp) + L"MorvanditeUninstall.log";
        file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            SYSTEMTIME now;
            GetLocalTime(&now);
            wchar_t stamp[64];
            wsprintfW(stamp, L"[%04d/%02d/%02d %02d:%02d:%02d]", now.wYear, now.wMonth, now.wDay,
                      now.wHour, now.wMinute, now.wSecond);
            Line(stamp);
        }
    }
    ~RunLog() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    void Line(const std::wstring& text) {
        if (file_ == INVALID_HANDLE_VALUE) return;
        std::wstring line = text + L"\r\n";
        int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                    0, nullptr, nullptr);
        std::string bytes(n, '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], n,
                            nullptr, nullptr);
        DWORD written = 0;
        WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// ---------------------------------------------------------------------------
// Registry

bool ReadString(HKEY root, const std::wstring& keyPath, const wchar_t* name, std::wstring* value) {
    HKEY key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool ok = false;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
        DWORD got = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &got) == ERROR_SUCCESS) {
            *value = std::wstring(data.data());
            if (type == REG_EXPAND_SZ) {
                wchar_t expanded[32768];
                DWORD n = ExpandEnvironmentStringsW(value->c_str(), expanded, 32768);
                if (n && n <= 32768) *value = expanded;
            }
            ok = true;
        }
    }
    RegCloseKey(key);
    return ok;
}

bool KeyExists(HKEY root, const std::wstring& keyPath) {
    HKEY key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// ---------------------------------------------------------------------------
// Folders that must never be removed or treated as an installation

std::vector<std::wstring> ProtectedFolders() {
    std::vector<std::wstring> folders;
    auto add = [&folders](const std::wstring& raw) {
        std::wstring path;
        std::wstring why;
        if (!raw.empty() && NormalizeAbsolute(raw, &path, &why)) folders.push_back(Lower(path));
    };
    static const int kFolders[] = {
        CSIDL_PROGRAMS,         CSIDL_COMMON_PROGRAMS,   CSIDL_STARTMENU,
        CSIDL_COMMON_STARTMENU, CSIDL_STARTUP,           CSIDL_COMMON_STARTUP,
        CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_WINDOWS,
        CSIDL_SYSTEM,           CSIDL_SYSTEMX86,         CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE,
        CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,     CSIDL_COMMON_APPDATA,
        CSIDL_PERSONAL,         CSIDL_COMMON_DOCUMENTS,  CSIDL_FONTS,
        CSIDL_TEMPLATES,        CSIDL_FAVORITES,         CSIDL_MYPICTURES,
        CSIDL_MYMUSIC,          CSIDL_MYVIDEO,           CSIDL_SENDTO,
        CSIDL_RECENT,           CSIDL_NETHOOD,           CSIDL_PRINTHOOD,
        CSIDL_INTERNET_CACHE,   CSIDL_COOKIES,           CSIDL_HISTORY,
        CSIDL_ADMINTOOLS,       CSIDL_COMMON_ADMINTOOLS,
    };
    for (int id : kFolders) {
        wchar_t path[MAX_PATH] = L"";
        if (SUCCEEDED(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)))
            add(path);
    }
    static const wchar_t* const kVariables[] = {
        L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"CommonProgramFiles",
        L"SystemRoot",   L"windir",            L"USERPROFILE",  L"PUBLIC",
        L"ALLUSERSPROFILE", L"ProgramData",    L"APPDATA",      L"LOCALAPPDATA",
        L"TEMP",         L"TMP",
    };
    for (const wchar_t* name : kVariables) {
        wchar_t value[MAX_PATH] = L"";
        DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
        if (n && n < MAX_PATH) add(value);
    }
    wchar_t temp[MAX_PATH + 1] = L"";
    if (GetTempPathW(MAX_PATH + 1, temp)) add(temp);
    // The folder that holds the user profiles ("Users", "Documents and Settings").
    wchar_t profile[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile))) {
        std::wstring parent = profile;
        size_t slash = parent.find_last_of(L'\\');
        if (slash != std::wstring::npos && slash > 2) add(parent.substr(0, slash));
    }
    return folders;
}

// A folder is unsafe when it is a drive root or one of the system's folders
// or contains one of them.
bool IsUnsafeFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders) {
    if (IsDriveRoot(path)) return true;
    std::wstring lower = Lower(path);
    for (const std::wstring& folder : protectedFolders) {
        if (folder == lower) return true;
        if (folder.size() > lower.size() && folder.compare(0, lower.size(), lower) == 0 &&
            folder[lower.size()] == L'\\')
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Command line

struct Options {
    std::wstring key;
    bool quiet = false;
    bool help = false;
};

// Length of the program name at the start of the command line. The installer
// starts sibling uninstallers with their path unquoted, and the temporary
// folder often has spaces in it ("Documents and Settings", a user name).
size_t ProgramNameLength(const std::wstring& line) {
    if (!line.empty() && line[0] == L'"') {
        size_t close = line.find(L'"', 1);
        return close == std::wstring::npos ? line.size() : close + 1;
    }
    auto endsToken = [&line](size_t at) {
        return at == line.size() || line[at] == L' ' || line[at] == L'\t';
    };
    std::wstring self = ModulePath();
    if (!self.empty() && line.size() >= self.size() && SameText(line.substr(0, self.size()), self) &&
        endsToken(self.size()))
        return self.size();
    std::wstring lower = Lower(line);
    for (size_t at = lower.find(L".exe"); at != std::wstring::npos; at = lower.find(L".exe", at + 1)) {
        if (endsToken(at + 4)) return at + 4;
    }
    size_t space = line.find_first_of(L" \t");
    return space == std::wstring::npos ? line.size() : space;
}

std::vector<std::wstring> Tokenize(const wchar_t* commandLine) {
    std::vector<std::wstring> tokens;
    const wchar_t* p = commandLine + ProgramNameLength(commandLine);
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

bool ParseOptions(const wchar_t* commandLine, Options* options, std::wstring* error) {
    std::vector<std::wstring> tokens = Tokenize(commandLine);
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

// ---------------------------------------------------------------------------
// What the installation recorded, checked

struct Recorded {
    std::wstring entryPath;      // under HKLM
    std::wstring displayName;
    std::wstring installFolder;
    std::vector<std::wstring> payload;  // relative paths from the file list
    bool haveManifest = false;
    std::vector<std::pair<std::wstring, std::wstring>> links;  // value name, path
    std::vector<std::pair<std::wstring, std::wstring>> groups;  // value name, folder
    std::wstring buttonUser;     // Button1, HKCU
    std::wstring buttonMachine;  // Button2, HKLM
};

bool IsUserSettingsName(const std::wstring& name) {
    return SameText(name, L"user.ini") || SameText(name, L"user.ini.bak");
}

bool ReadManifest(const std::wstring& path, std::vector<std::wstring>* entries,
                  std::wstring* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = L"The file list " + path + L" cannot be read: " + SystemText(GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 16 * 1024 * 1024) {
        CloseHandle(file);
        *error = L"The file list " + path + L" is too large to be a file list.";
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    BOOL read = bytes.empty() || ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got,
                                          nullptr);
    CloseHandle(file);
    if (!read || got != bytes.size()) {
        *error = L"The file list " + path + L" cannot be read: " + SystemText(GetLastError());
        return false;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    UINT codePage = CP_UTF8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                static_cast<int>(bytes.size()), nullptr, 0);
    if (n == 0 && !bytes.empty()) {
        codePage = CP_ACP;
        n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                0);
    }
    std::wstring text(n, L'\0');
    if (n) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);

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
            *error = L"Line " + std::to_wstring(lineNumber) + L" of the file list " + path +
                     L" is not a file inside the install folder (" + why + L"): " + line;
            return false;
        }
        if (seen.insert(Lower(line)).second) entries->push_back(line);
    }
    return true;
}

bool ReadRecorded(const Options& options, const std::vector<std::wstring>& protectedFolders,
                  Recorded* recorded, std::wstring* error, RunLog& log) {
    recorded->entryPath = kUninstallRoot + options.key;
    if (!KeyExists(HKEY_LOCAL_MACHINE, recorded->entryPath)) {
        *error = L"No installation named \"" + options.key +
                 L"\" is registered on this computer, so there is nothing to remove.";
        return false;
    }
    if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, L"DisplayName",
                    &recorded->displayName) ||
        recorded->displayName.empty())
        recorded->displayName = options.key;
    if (!ValidComponent(recorded->displayName)) {
        *error = L"The recorded name \"" + recorded->displayName + L"\" cannot be part of a file name.";
        return false;
    }

    std::wstring location;
    if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, L"InstallLocation", &location) ||
        Trim(location).empty()) {
        *error = L"The installation \"" + options.key + L"\" does not record its install folder.";
        return false;
    }
    std::wstring why;
    if (!NormalizeAbsolute(location, &recorded->installFolder, &why)) {
        *error = L"The recorded install folder \"" + location + L"\" cannot be used: " + why + L".";
        return false;
    }
    if (IsUnsafeFolder(recorded->installFolder, protectedFolders)) {
        *error = L"The recorded install folder \"" + recorded->installFolder +
                 L"\" is a drive or system folder; nothing is removed from it.";
        return false;
    }
    log.Line(L"Install folder: " + recorded->installFolder);

    DWORD attributes = GetFileAttributesW(recorded->installFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            *error = L"The recorded install folder \"" + recorded->installFolder +
                     L"\" cannot be examined: " + SystemText(code);
            return false;
        }
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = L"The recorded install folder \"" + recorded->installFolder + L"\" is a file.";
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        std::wstring manifest = recorded->installFolder + L"\\" + kManifestName;
        if (GetFileAttributesW(manifest.c_str()) == INVALID_FILE_ATTRIBUTES) {
            *error = L"The list of installed files (" + manifest +
                     L") is missing, so the program files cannot be told from other files. "
                     L"Nothing was removed.";
            return false;
        }
        if (!ReadManifest(manifest, &recorded->payload, error)) return false;
        recorded->haveManifest = true;
        log.Line(L"File list: " + std::to_wstring(recorded->payload.size()) + L" entries");
    } else {
        log.Line(L"The install folder no longer exists; removing the rest of the installation.");
    }

    static const wchar_t* const kLinkValues[] = {L"DTLink", L"CSMLink", L"SMLink", L"QLLink"};
    for (const wchar_t* name : kLinkValues) {
        std::wstring value;
        if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, name, &value) || Trim(value).empty())
            continue;
        std::wstring path;
        if (!NormalizeAbsolute(value, &path, &why) || !EndsWithNoCase(path, L".lnk")) {
            *error = std::wstring(L"The recorded shortcut ") + name + L" = \"" + value +
                     L"\" is not a shortcut file" + (why.empty() ? L"" : L" (" + why + L")") + L".";
            return false;
        }
        recorded->links.emplace_back(name, path);
    }

    static const wchar_t* const kGroupValues[] = {L"CSMPGroup", L"SMPGroup"};
    for (const wchar_t* name : kGroupValues) {
        std::wstring value;
        if (!ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, name, &value) || Trim(value).empty())
            continue;
        std::wstring path;
        if (!NormalizeAbsolute(value, &path, &why)) {
            *error = std::wstring(L"The recorded program group ") + name + L" = \"" + value +
                     L"\" cannot be used: " + why + L".";
            return false;
        }
        if (IsUnsafeFolder(path, protectedFolders)) {
            *error = std::wstring(L"The recorded program group ") + name + L" = \"" + path +
                     L"\" is a drive or system folder; nothing is removed from it.";
            return false;
        }
        recorded->groups.emplace_back(name, path);
    }

    std::wstring button;
    if (ReadString(HKEY_CURRENT_USER, recorded->entryPath, L"Button1", &button) &&
        !Trim(button).empty()) {
        if (!IsGuid(Trim(button))) {
            *error = L"The recorded browser button \"" + button + L"\" is not a GUID.";
            return false;
        }
        recorded->buttonUser = Trim(button);
    }
    if (ReadString(HKEY_LOCAL_MACHINE, recorded->entryPath, L"Button2", &button) &&
        !Trim(button).empty()) {
        if (!IsGuid(Trim(button))) {
            *error = L"The recorded browser button \"" + button + L"\" is not a GUID.";
            return false;
        }
        recorded->buttonMachine = Trim(button);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Removal

class Remover {
public:
    Remover(const Recorded& recorded, RunLog& log) : recorded_(recorded), log_(log) {
        self_ = CanonicalPath(ModulePath());
    }

    const std::vector<std::wstring>& failures() const { return failures_; }
    bool keptSelf() const { return keptSelf_; }

    void RemovePayload() {
        if (!recorded_.haveManifest) return;
        for (const std::wstring& relative : recorded_.payload) {
            if (SameText(relative, kManifestName)) continue;  // last, after the entry
            if (IsUserSettingsName(FileNameOf(relative))) {
                log_.Line(L"Kept (user settings): " + relative);
                continue;
            }
            NoteParentFolders(relative);
            RemoveFile(recorded_.installFolder + L"\\" + relative);
        }
        NoteParentFolders(kManifestName);
    }

    void RemoveInstallerFiles() {
        if (!recorded_.haveManifest) return;
        RemoveFile(recorded_.installFolder + L"\\Install.log");
        RemoveFile(recorded_.installFolder + L"\\tinfo.dat");
        RemoveFile(recorded_.installFolder + L"\\Uninstall " + recorded_.displayName + L".lnk");
    }

    void RemoveShortcuts() {
        for (const auto& link : recorded_.links) RemoveFile(link.second);
        for (const auto& group : recorded_.groups) {
            const std::wstring& folder = group.second;
            RemoveFile(folder + L"\\" + recorded_.displayName + L".lnk");
            RemoveFile(folder + L"\\Network Status.lnk");
            RemoveFile(folder + L"\\Uninstall " + recorded_.displayName + L".lnk");
            folders_.insert(folder);
        }
    }

    void RemoveBrowserButtons() {
        if (!recorded_.buttonUser.empty()) RemoveButton(HKEY_CURRENT_USER, recorded_.buttonUser);
        if (!recorded_.buttonMachine.empty())
            RemoveButton(HKEY_LOCAL_MACHINE, recorded_.buttonMachine);
    }

    // The entry goes only when everything before it went, so that a run that
    // could not finish can be repeated.
    bool RemoveEntry() {
        if (!failures_.empty()) {
            log_.Line(L"Uninstall entry kept because some items could not be removed.");
            return false;
        }
        // Button1 lives in a key of the same name in HKCU.
        if (!recorded_.buttonUser.empty()) {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, recorded_.entryPath.c_str(), 0,
                              KEY_SET_VALUE | KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, L"Button1");
                DWORD subkeys = 0;
                DWORD values = 0;
                RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr);
                RegCloseKey(key);
                if (subkeys == 0 && values == 0)
                    RegDeleteKeyW(HKEY_CURRENT_USER, recorded_.entryPath.c_str());
            }
        }
        LONG status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, recorded_.entryPath.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            Fail(L"the uninstall entry HKLM\\" + recorded_.entryPath + L": " +
                 SystemText(static_cast<DWORD>(status)));
            return false;
        }
        log_.Line(L"Removed the uninstall entry HKLM\\" + recorded_.entryPath);
        if (recorded_.haveManifest) RemoveFile(recorded_.installFolder + L"\\" + kManifestName);
        return true;
    }

    void RemoveEmptyFolders() {
        if (recorded_.haveManifest) folders_.insert(recorded_.installFolder);
        std::vector<std::wstring> ordered(folders_.begin(), folders_.end());
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const std::wstring& a, const std::wstring& b) {
                             return Depth(a) > Depth(b);
                         });
        for (const std::wstring& folder : ordered) {
            if (RemoveDirectoryW(folder.c_str())) {
                log_.Line(L"Removed folder: " + folder);
                continue;
            }
            DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) continue;
            if (keptSelf_ && SameText(folder, recorded_.installFolder) &&
                MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
                log_.Line(L"Folder " + folder + L" will be removed at the next restart if it is empty.");
                continue;
            }
            log_.Line(L"Kept folder (" + SystemText(code) + L"): " + folder);
        }
    }

private:
    void Fail(const std::wstring& what) {
        failures_.push_back(what);
        log_.Line(L"Could not remove " + what);
    }

    void NoteParentFolders(const std::wstring& relative) {
        std::wstring folder = recorded_.installFolder;
        std::vector<std::wstring> parts = SplitPath(relative);
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            folder += L"\\" + parts[i];
            folders_.insert(folder);
        }
    }

    void RemoveFile(const std::wstring& path) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
                log_.Line(L"Already gone: " + path);
                return;
            }
            Fail(path + L": " + SystemText(code));
            return;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            log_.Line(L"Kept (a folder where a file was installed): " + path);
            return;
        }
        if (CanonicalPath(path) == self_) {
            RemoveSelf(path);
            return;
        }
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!DeleteFileW(path.c_str())) {
            Fail(path + L": " + SystemText(GetLastError()));
            return;
        }
        log_.Line(L"Removed: " + path);
    }

    // A running program cannot delete its own file, but Windows lets it be
    // renamed. Move it out of the way under a name of its own and have it
    // deleted at the next restart; deleting it at restart under its installed
    // name would take a reinstalled uninstaller with it.
    void RemoveSelf(const std::wstring& path) {
        wchar_t temp[MAX_PATH + 1] = L"";
        std::wstring unique = L"MorvanditeUninstall-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(GetTickCount()) + L".tmp";
        if (GetTempPathW(MAX_PATH + 1, temp)) {
            std::wstring target = std::wstring(temp) + unique;
            if (MoveFileExW(path.c_str(), target.c_str(), 0)) {
                log_.Line(L"Running from the install folder: moved " + path + L" to " + target +
                          ScheduleDelete(target));
                return;
            }
        }
        // The temporary folder is on another drive: rename in place.
        std::wstring target = recorded_.installFolder + L"\\" + unique;
        if (MoveFileExW(path.c_str(), target.c_str(), 0)) {
            keptSelf_ = true;
            log_.Line(L"Running from the install folder: renamed " + path + L" to " + target +
                      ScheduleDelete(target));
            return;
        }
        keptSelf_ = true;
        log_.Line(L"Running from the install folder: " + path +
                  L" cannot be removed while it runs and is left in place (" +
                  SystemText(GetLastError()) + L").");
    }

    std::wstring ScheduleDelete(const std::wstring& path) {
        if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            return L"; it will be removed at the next restart.";
        return L"; it stays there (" + SystemText(GetLastError()) +
               L") and can be deleted by hand.";
    }

    // The button key is removed only when it still starts this installation's
    // launcher; a key that another program has taken over is left alone.
    void RemoveButton(HKEY root, const std::wstring& guid) {
        const std::wstring hive = root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\";
        std::wstring launcher = recorded_.installFolder + L"\\MorvanditeUpdate.exe";
        for (const wchar_t* base : kButtonRoots) {
            std::wstring path = base + guid;
            if (!KeyExists(root, path)) continue;
            std::wstring exec;
            if (ReadString(root, path, L"Exec", &exec) && !exec.empty() &&
                !SameText(Trim(exec), launcher)) {
                log_.Line(L"Kept browser button " + hive + path + L": it starts " + exec);
                continue;
            }
            LONG status = RegDeleteKeyW(root, path.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                Fail(L"the browser button " + hive + path + L": " +
                     SystemText(static_cast<DWORD>(status)));
                continue;
            }
            log_.Line(L"Removed browser button " + hive + path);
        }
    }

    const Recorded& recorded_;
    RunLog& log_;
    std::wstring self_;
    bool keptSelf_ = false;
    std::vector<std::wstring> failures_;
    std::set<std::wstring> folders_;
};

// ---------------------------------------------------------------------------

bool ClientRunning() {
    if (FindWindowW(kClientClass, nullptr)) return true;
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kClientClass);
    if (mutex) {
        CloseHandle(mutex);
        return true;
    }
    return false;
}

int Message(const Options& options, const std::wstring& caption, const std::wstring& text,
            UINT flags) {
    if (options.quiet) return 0;
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags | MB_SETFOREGROUND);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystemFolder();  // before anything can load a DLL by name
    RunLog log;
    const wchar_t* commandLine = GetCommandLineW();
    log.Line(std::wstring(L"Command line: ") + commandLine);

    Options options;
    std::wstring error;
    if (!ParseOptions(commandLine, &options, &error)) {
        log.Line(L"Error: " + error);
        Message(options, L"Uninstall",
                error + L"\n\nUsage: MorvanditeUninstall.exe /u:<name> [/quiet]",
                MB_OK | MB_ICONERROR);
        return kBadInput;
    }
    if (options.help) {
        Message(options, L"Uninstall",
                L"Usage: MorvanditeUninstall.exe /u:<name> [/quiet]\n\n"
                L"/u:<name>\tthe installation to remove, as registered with Windows\n"
                L"/quiet, /s\tremove without questions or messages",
                MB_OK | MB_ICONINFORMATION);
        return kRemoved;
    }

    const std::vector<std::wstring> protectedFolders = ProtectedFolders();
    Recorded recorded;
    if (!ReadRecorded(options, protectedFolders, &recorded, &error, log)) {
        log.Line(L"Error: " + error);
        Message(options, options.key + L" Uninstall", error, MB_OK | MB_ICONERROR);
        return kBadInput;
    }
    const std::wstring caption = recorded.displayName + L" Uninstall";

    while (ClientRunning()) {
        log.Line(L"The client is running.");
        if (options.quiet) return kClientRunning;
        int answer = Message(options, caption,
                             recorded.displayName + L" is running. Please close it, then choose "
                                                    L"Retry to continue removing it.",
                             MB_RETRYCANCEL | MB_ICONWARNING);
        if (answer != IDRETRY) return kClientRunning;
    }

    if (!options.quiet) {
        int answer = Message(options, caption,
                             L"Remove " + recorded.displayName +
                                 L" from this computer?\n\nThe program files in\n" +
                                 recorded.installFolder +
                                 L"\nand its shortcuts will be removed. Your settings (user.ini) "
                                 L"are kept.",
                             MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES) {
            log.Line(L"Declined by the user.");
            return kDeclined;
        }
    }

    Remover remover(recorded, log);
    remover.RemovePayload();
    remover.RemoveInstallerFiles();
    remover.RemoveShortcuts();
    remover.RemoveBrowserButtons();
    bool entryRemoved = remover.RemoveEntry();
    remover.RemoveEmptyFolders();

    if (!entryRemoved) {
        std::wstring list;
        size_t shown = 0;
        for (const std::wstring& failure : remover.failures()) {
            if (shown++ == 8) {
                list += L"...\n";
                break;
            }
            list += failure + L"\n";
        }
        log.Line(L"Finished with " + std::to_wstring(remover.failures().size()) +
                 L" items not removed.");
        Message(options, caption,
                L"Some parts of " + recorded.displayName + L" could not be removed:\n\n" + list +
                    L"\nClose any program that uses them and run the uninstaller again.",
                MB_OK | MB_ICONWARNING);
        return kIncomplete;
    }

    log.Line(L"Finished: " + recorded.displayName + L" removed.");
    std::wstring done = recorded.displayName + L" was removed from this computer.";
    if (GetFileAttributesW(recorded.installFolder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        done += remover.keptSelf()
                    ? L"\n\nThe uninstaller itself and its folder will be removed when Windows "
                      L"restarts."
                    : L"\n\nThe folder " + recorded.installFolder +
                          L" was kept because it still holds your settings or files that the "
                          L"installation did not make.";
    }
    Message(options, caption, done, MB_OK | MB_ICONINFORMATION);
    return kRemoved;
}
