#include "installjournal_win.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "registryview.h"
#include "systemtext.h"

namespace {
// Null for a hive the journal does not know (nothing is read or written there).
HKEY Hive(const RegistrySnapshot& s) {
    switch (SnapshotHive(s)) {
    case SnapshotHiveKind::Machine:
        return HKEY_LOCAL_MACHINE;
    case SnapshotHiveKind::CurrentUser:
        return HKEY_CURRENT_USER;
    case SnapshotHiveKind::Users:
        return HKEY_USERS;
    case SnapshotHiveKind::Unknown:
        break;
    }
    return nullptr;
}

// Deletes hive\key, which has no subkeys, in the product's view of the hive.
// RegDeleteKeyEx, which takes a view, is missing on 32-bit XP: the parent is
// opened in the view and the key deleted by its name there.
LONG DeleteKeyInProductView(HKEY hive, const std::wstring& key) {
    const size_t cut = key.rfind(L'\\');
    if (cut == std::wstring::npos)
        return RegDeleteKeyW(hive, key.c_str());
    UniqueRegistryKey parent;
    const LONG rc =
        RegOpenKeyExW(hive, key.substr(0, cut).c_str(), 0, KEY_READ | ProductRegistryView(hive), parent.put());
    if (rc != ERROR_SUCCESS)
        return rc;
    return RegDeleteKeyW(parent.get(), key.c_str() + cut + 1);
}

uint32_t LastError() {
    const DWORD code = GetLastError();
    return code ? uint32_t(code) : uint32_t(ERROR_GEN_FAILURE);
}

bool ReadAll(const std::wstring& path, std::string& out) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    out.clear();
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        out.append(buffer, read);
    }
}

// The key's value names, as UTF-16 text.
std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

bool SameValues(const RegistrySnapshot& a, const RegistrySnapshot& b) {
    if (a.existed != b.existed || a.values.size() != b.values.size())
        return false;
    for (const RegistrySnapshot::Value& v : a.values) {
        bool found = false;
        for (const RegistrySnapshot::Value& w : b.values)
            found = found || (v.name == w.name && v.type == w.type && v.data == w.data);
        if (!found)
            return false;
    }
    return true;
}
}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n);
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::FILE* OpenJournalFile(const std::string& path, const char* mode) {
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(Utf8ToWide(path).c_str(), wideMode.c_str());
}

std::string JournalPathFor(const std::wstring& displayName) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n > MAX_PATH)
        return std::string();
    std::wstring path(temp);
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return WideToUtf8(path + displayName + L".install-journal");
}

RegistrySnapshot SnapshotRegistryKey(const std::string& hive, const std::string& key) {
    RegistrySnapshot s;
    s.hive = hive;
    s.key = key;
    UniqueRegistryKey opened;
    const HKEY root = Hive(s);
    if (!root || RegOpenKeyExW(root, Utf8ToWide(key).c_str(), 0, KEY_READ | ProductRegistryView(root), opened.put()) !=
                     ERROR_SUCCESS)
        return s;
    s.existed = true;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(opened.get(), i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLength = 16384;
        if (RegEnumValueW(opened.get(), i, name, &nameLength, nullptr, &type,
                          size ? reinterpret_cast<BYTE*>(&data[0]) : nullptr, &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        RegistrySnapshot::Value v;
        v.name.assign(reinterpret_cast<const char*>(name), nameLength * sizeof(wchar_t));
        v.type = type;
        v.data = data;
        s.values.push_back(v);
    }
    return s;
}

uint32_t CopyAsideDurably(const std::string& path, const std::string& temporary, const std::string& aside,
                          void (*beforeRename)()) {
    const std::wstring from = Utf8ToWide(path), temp = Utf8ToWide(temporary), to = Utf8ToWide(aside);
    uint32_t code = 0;
    if (!CopyFileW(from.c_str(), temp.c_str(), FALSE)) {
        code = LastError();
    } else {
        // A copy of a read-only file is read-only: opened for the flush (and
        // deleted later) it must not be.
        SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
        const UniqueFileHandle copy(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!copy || !FlushFileBuffers(copy.get()))
            code = LastError();
    }
    if (!code && beforeRename)
        beforeRename();
    if (!code && !MoveFileExW(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = LastError();
    if (code)
        DeleteFileW(temp.c_str());
    return code;
}

bool WindowsJournalActions::Exists(const std::string& path) {
    return GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint32_t WindowsJournalActions::DeleteOneFile(const std::string& path) {
    const std::wstring w = Utf8ToWide(path);
    if (DeleteFileW(w.c_str()))
        return 0;
    uint32_t code = LastError();
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;  // gone after all
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(w.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        if (DeleteFileW(w.c_str()))
            return 0;
        code = LastError();
        SetFileAttributesW(w.c_str(), attributes);  // as it was, for what the caller does next
    }
    return code;
}

uint32_t WindowsJournalActions::MoveReplacing(const std::string& from, const std::string& to) {
    const std::wstring source = Utf8ToWide(from), target = Utf8ToWide(to);
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 0;
    uint32_t code = LastError();
    // A read-only file in the way is ours to replace: it is what the run wrote.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 0;
        code = LastError();
    }
    return code;
}

bool WindowsJournalActions::SameContents(const std::string& a, const std::string& b) {
    std::string ta, tb;
    return ReadAll(Utf8ToWide(a), ta) && ReadAll(Utf8ToWide(b), tb) && ta == tb;
}

uint32_t WindowsJournalActions::RemoveFolderIfEmpty(const std::string& path, bool& removed) {
    removed = false;
    const std::wstring w = Utf8ToWide(path);
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    WIN32_FIND_DATAW found;
    bool empty = true;
    if (const UniqueFindHandle find{FindFirstFileW((w + L"\\*").c_str(), &found)}) {
        do {
            if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
                empty = false;
        } while (empty && FindNextFileW(find.get(), &found));
    }
    if (!empty)
        return 0;
    if (!RemoveDirectoryW(w.c_str()))
        return LastError();
    removed = true;
    return 0;
}

uint32_t WindowsJournalActions::RestoreKey(const RegistrySnapshot& s, bool& changed) {
    const HKEY hive = Hive(s);
    const std::wstring key = Utf8ToWide(s.key);
    changed = false;
    if (!hive)
        return ERROR_INVALID_PARAMETER;
    const RegistrySnapshot now = SnapshotRegistryKey(s.hive, s.key);
    if (SameValues(now, s))
        return 0;
    if (!s.existed) {
        // Only values: the keys registration makes have no subkeys of their own.
        const LONG rc = DeleteKeyInProductView(hive, key);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            return uint32_t(rc);
        changed = rc == ERROR_SUCCESS;
        return 0;
    }
    changed = true;
    UniqueRegistryKey opened;
    LONG rc = RegCreateKeyExW(hive, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ProductRegistryView(hive), nullptr,
                              opened.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        return uint32_t(rc);
    uint32_t failure = 0;
    // Values the run added go; the old ones come back as they were.
    for (const std::wstring& name : ValueNames(opened.get())) {
        const std::string bytes(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(wchar_t));
        bool old = false;
        for (const RegistrySnapshot::Value& v : s.values)
            old = old || v.name == bytes;
        if (!old && (rc = RegDeleteValueW(opened.get(), name.c_str())) != ERROR_SUCCESS)
            failure = uint32_t(rc);
    }
    for (const RegistrySnapshot::Value& v : s.values) {
        const std::wstring name(reinterpret_cast<const wchar_t*>(v.name.data()), v.name.size() / sizeof(wchar_t));
        rc = RegSetValueExW(opened.get(), name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                            DWORD(v.data.size()));
        if (rc != ERROR_SUCCESS)
            failure = uint32_t(rc);
    }
    return failure;
}

uint32_t WindowsJournalActions::DeleteAtRestart(const std::string& path) {
    return MoveFileExW(Utf8ToWide(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : LastError();
}

std::string WindowsJournalActions::ErrorText(uint32_t code) { return WideToUtf8(SystemText(DWORD(code))); }

JournalRecovery RecoverJournalFile(const std::string& path, const std::string& displayName, JournalActions& actions,
                                   JournalOutcome& outcome, JournalOwner& owner) {
    std::string text;
    if (path.empty() || !actions.Exists(path) || !ReadJournalFile(path, text))
        return JournalRecovery::None;
    const std::vector<JournalEntry> entries = ParseJournal(text);
    // A journal without a header is of the format before headers: the file
    // name, made from the display name, says whose it is.
    if (FindJournalOwner(entries, owner) && owner.displayName != displayName) {
        actions.Log("The journal '" + path + "' belongs to '" + owner.displayName + "'; it is left as it is");
        return JournalRecovery::Foreign;
    }
    owner.displayName = displayName;
    outcome = RecoverJournal(entries, actions);
    if (outcome.failures && !JournalCommitted(entries))
        return JournalRecovery::Unsettled;
    if (!ReplaceJournalFile(path, LeftoverJournal(owner, outcome.leftovers)))
        actions.Log("Cannot update the journal '" + path + "'");
    return JournalRecovery::Settled;
}

bool ReplaceJournalFile(const std::string& path, const std::string& text) {
    const std::wstring target = Utf8ToWide(path);
    if (text.empty())
        return DeleteFileW(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    const std::wstring temp = target + L".new";
    {
        const UniqueFileHandle file(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.get()))
            return false;
    }
    return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool InstallLock::Acquire(const std::wstring& displayName) {
    // A mutex name may hold no backslash after its namespace.
    std::wstring name = L"Global\\MorvanditeInstall-";
    for (wchar_t c : displayName)
        name += c == L'\\' ? L'_' : c;
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    // Another process's mutex: it exists already, or its owner's security
    // keeps this one from opening it.
    if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED))
        return false;
    // A system that cannot make the mutex at all cannot make two installers
    // meet either; the run goes on unlocked (Held() says so).
    mutex_ = std::move(mutex);
    return true;
}
