#include "config.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "inixor.h"
#include "perror.h"

int32_t ParseConfigInteger(const char* value) {
    if (!value)
        return 0;
    int base = 10;
    if (value[0] == 'x' || value[0] == 'X') {
        base = 16;
        ++value;
    }
    // strtoll, clamped: long is 32 bits on Windows and 64 bits natively.
    errno = 0;
    long long n = std::strtoll(value, nullptr, base);
    if (n > INT32_MAX)
        return INT32_MAX;
    if (n < INT32_MIN)
        return INT32_MIN;
    return int32_t(n);
}

namespace {
void ReadString(const IniSection& section, const char* key, PString& out) {
    if (const IniItem* item = section.FindItem(key))
        out = item->value;
}

void ReadInteger(const IniSection& section, const char* key, int32_t& out) {
    if (const IniItem* item = section.FindItem(key))
        out = ParseConfigInteger(item->value.text());
}
}  // namespace

void ParseConfiguration(const void* text, uint32_t length, InstallerConfiguration& config) {
    EncIniFile ini;
    ini.LoadFromMemory(text, length);
    const IniSection* define = ini.FindSection("define");
    if (!define)
        throw PInternalError("Configuration: no section \"define\"");

    // Filled into a copy so that a failure leaves the caller's record whole.
    InstallerConfiguration result;
    ReadString(*define, "name", result.productName);
    ReadString(*define, "dispname", result.displayName);
    ReadString(*define, "mainwnd", result.mainWindowClass);
    ReadString(*define, "site", result.site);
    ReadString(*define, "ieB1_1", result.browserButtonId);
    ReadString(*define, "iconPath", result.iconPath);
    ReadInteger(*define, "iconIdx", result.iconIdx);
    int32_t overrideUserIni = 1;
    ReadInteger(*define, "overrideUserIni", overrideUserIni);
    result.overrideUserIni = overrideUserIni != 0;
    // An empty work folder name would put the client's settings straight
    // into the local application data folder: treat it like an absent one.
    ReadString(*define, "WorkFolderName", result.workFolderName);
    if (result.workFolderName.empty())
        result.workFolderName = result.productName;
    config = std::move(result);
}

void CheckConfigurationKeys(const void* text, uint32_t length) {
    static const char* const kKeys[] = {"name",   "dispname", "mainwnd",         "site",     "WorkFolderName",
                                        "ieB1_1", "ieB1_2",   "overrideUserIni", "iconPath", "iconIdx"};
    EncIniFile ini;
    ini.LoadFromMemory(text, length);
    if (!ini.FindSection("define"))
        throw PInternalError("Configuration: no section \"define\"");
    for (const IniSection& section : ini.sections) {
        if (PCompareNoCase(section.name.text(), "define") != 0)
            throw PInternalError(("Configuration: the installer reads no section \"" + std::string(section.name.text()) +
                                  "\"").c_str());
        for (const IniItem& item : section.items) {
            bool known = false;
            for (const char* key : kKeys)
                known = known || PCompareNoCase(item.key.text(), key) == 0;
            if (!known)
                throw PInternalError(
                    ("Configuration: the installer does not know the key \"" + std::string(item.key.text()) + "\"").c_str());
        }
    }
}
