// Registry string values through the W or A functions, and the key helpers.
#include <cstring>

#include "pregistry.h"
#include "punique.h"
#include "pwideapi.h"
#include "psystext_win.h"

namespace {

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Reads the data of a string value into block, always followed by two zero
// bytes (stored strings need not carry their terminator). unitSize is 2 for
// the W function, 1 for the A function.
template <class Query>
LONG ReadStringData(Query query, _PBlock& block, DWORD& type, DWORD& size, bool& isString) {
    isString = false;
    LONG r = query(&type, nullptr, &size);
    if (r != ERROR_SUCCESS || size == 0 || !IsStringType(type))
        return r;
    // The value may grow between the two calls: ask again while it does.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD room = size;
        uint8_t* data = block.alloc(room + 2);
        r = query(&type, data, &size);
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS)
            return r;
        if (size > room)
            size = room;
        data[size] = 0;
        data[size + 1] = 0;
        isString = IsStringType(type);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

// Key paths are PStringX texts like every other text: widened for the W
// function, or taken to the ANSI code page for the A function.
LONG OpenKey(HKEY root, const char* subkey, REGSAM access, HKEY* key) {
    bool wide = UseWideApi();
    _PSysText path(subkey, &PStringXEncoding, wide);
    return wide ? RegOpenKeyExW(root, path.wide(), 0, access, key) : RegOpenKeyExA(root, path.ansi(), 0, access, key);
}

}  // namespace

LONG PRegQueryString(HKEY key, const char* name, PString& out, const PStringEncoding* encoding) {
    bool wide = encoding && UseWideApi();
    _PSysText n(name, encoding, wide);
    _PBlock block;
    DWORD type = 0, size = 0;
    bool isString = false;
    LONG r;
    if (wide) {
        wchar_t* wname = n.wide();
        r = ReadStringData(
            [&](DWORD* t, uint8_t* d, DWORD* s) { return RegQueryValueExW(key, wname, nullptr, t, d, s); }, block,
            type, size, isString);
        if (r != ERROR_SUCCESS || !isString)
            return r;
        // An odd byte count leaves half a unit: drop it.
        uint8_t* data = block.ptr();
        data[size & ~DWORD(1)] = 0;
        data[(size & ~DWORD(1)) + 1] = 0;
        FromWide(out, reinterpret_cast<const wchar_t*>(data), encoding);
    } else {
        const char* aname = n.ansi();
        r = ReadStringData(
            [&](DWORD* t, uint8_t* d, DWORD* s) { return RegQueryValueExA(key, aname, nullptr, t, d, s); }, block,
            type, size, isString);
        if (r != ERROR_SUCCESS || !isString)
            return r;
        _PSysAppendAnsi(out, reinterpret_cast<const char*>(block.ptr()), encoding, false);
    }
    return ERROR_SUCCESS;
}

LONG PRegSetString(HKEY key, const char* name, const char* text, const PStringEncoding* encoding) {
    if (!name || !text)
        return ERROR_SUCCESS;
    bool wide = encoding && UseWideApi();
    _PSysText n(name, encoding, wide), t(text, encoding, wide);
    if (wide) {
        const wchar_t* w = t.wide();
        DWORD bytes = DWORD(wcslen(w) + 1) * 2;
        return RegSetValueExW(key, n.wide(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w), bytes);
    }
    const char* a = t.ansi();
    return RegSetValueExA(key, n.ansi(), 0, REG_SZ, reinterpret_cast<const BYTE*>(a), DWORD(std::strlen(a) + 1));
}

void ReadRegistryString(HKEY root, const char* subkey, const char* name, PString& out) {
    UniqueRegistryKey key;
    if (OpenKey(root, subkey, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    PRegQueryString(key.get(), name, out, &PStringXEncoding);
}

bool ReadMachineString(const char* subkey, const char* name, PString& out) {
    UniqueRegistryKey key;
    if (OpenKey(HKEY_LOCAL_MACHINE, subkey, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    return PRegQueryString(key.get(), name, out, &PStringXEncoding) == ERROR_SUCCESS;
}

namespace {

HKEY CreateKey(HKEY root, const char* subkey, REGSAM view) {
    HKEY key;
    bool wide = UseWideApi();
    _PSysText path(subkey, &PStringXEncoding, wide);
    LONG r;
    if (wide) {
        wchar_t noClass[1] = {0};
        r = RegCreateKeyExW(root, path.wide(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, nullptr, &key,
                            nullptr);
    } else {
        char noClass[1] = {0};
        r = RegCreateKeyExA(root, path.ansi(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, nullptr, &key,
                            nullptr);
    }
    if (r != ERROR_SUCCESS) {
        SetLastError(DWORD(r));  // the caller's reason (OpenOrCreateRegistryKey)
        return nullptr;
    }
    return key;
}

}  // namespace

HKEY OpenOrCreateRegistryKey(HKEY root, const char* subkey, REGSAM view) {
    if (!subkey)
        subkey = "";
    HKEY key;
    if (OpenKey(root, subkey, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS)
        return key;
    if ((key = CreateKey(root, subkey, view)))
        return key;
    // Make the parent first, then try once more.
    const char* cut = std::strrchr(subkey, '\\');
    if (!cut || cut == subkey)
        return nullptr;
    PString parentPath(subkey, cut);
    if (!UniqueRegistryKey(OpenOrCreateRegistryKey(root, parentPath.text(), view)))
        return nullptr;
    return CreateKey(root, subkey, view);
}

bool SetRegistryString(HKEY root, const char* subkey, const char* name, const char* text, int& failureFlag) {
    UniqueRegistryKey key(OpenOrCreateRegistryKey(root, subkey));
    if (!key) {
        failureFlag = 1;
        return false;
    }
    if (PRegSetString(key.get(), name, text, &PStringXEncoding) != ERROR_SUCCESS) {
        failureFlag = 1;
        return false;
    }
    return true;
}
