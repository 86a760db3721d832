#include "configcheck.h"

#include <cctype>
#include <map>

#include "config.h"
#include "installfolderrules.h"
#include "payloadnames.h"
#include "perror.h"

const char* const kRequiredConfigurationKeys[4] = {"name", "dispname", "site", "ieB1_1"};

namespace {

[[noreturn]] void Refuse(const std::string& text) { throw PInternalError(text.c_str()); }

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The keys of installer/core/config.h in their documented spelling ("ieB1_2" is
// carried for the client and not read by the installer).
const char* const kKnownKeys[] = {"name",   "dispname", "mainwnd",         "site",     "WorkFolderName",
                                  "ieB1_1", "ieB1_2",   "overrideUserIni", "iconPath", "iconIdx"};

const char* KnownKey(const std::string& key) {
    for (const char* known : kKnownKeys)
        if (Lower(known) == Lower(key))
            return known;
    return nullptr;
}

struct Item {
    int line = 0;
    std::string key;    // as documented
    std::string value;  // UTF-8
};

std::wstring WideOf(const std::string& utf8) {
    PWString units;
    Utf8ToUtf16(utf8.data(), uint32_t(utf8.size()), units);
    std::wstring out;
    for (uint32_t i = 0; i < units.units(); ++i)
        out.push_back(wchar_t(units.unit(i)));
    return out;
}

std::string At(const Item& item) { return "line " + std::to_string(item.line) + ", \"" + item.key + "\": "; }

// A name the installer makes a folder or file of.
void CheckFileName(const Item& item, const char* role) {
    const char* fault = nullptr;
    switch (FolderRules::CheckName(WideOf(item.value))) {
    case FolderRules::NameFault::None: return;
    case FolderRules::NameFault::Empty: fault = "is empty"; break;
    case FolderRules::NameFault::TrailingDotOrBlank: fault = "ends with a dot or a blank, which Windows drops"; break;
    case FolderRules::NameFault::ReservedName: fault = "is a device name Windows reserves"; break;
    case FolderRules::NameFault::BadCharacter:
        fault = "holds a character no file name can have (\\ / : * ? \" < > | or a control character)";
        break;
    }
    Refuse(At(item) + "'" + item.value + "' " + fault + "; the installer makes " + role + " of it");
}

bool IsGuid(const std::string& text) {
    static const char kPattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != sizeof kPattern - 1)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kPattern[i] == 'X' ? !std::isxdigit(static_cast<unsigned char>(text[i])) : text[i] != kPattern[i])
            return false;
    return true;
}

// The installer reads numbers with strtol (config.h): "x" then hexadecimal
// digits, or decimal; whatever follows the digits is ignored, so "0x1F"
// reads as 0. Only text it reads whole is taken.
void CheckNumber(const Item& item) {
    const std::string& v = item.value;
    size_t i = 0;
    bool hex = !v.empty() && (v[0] == 'x' || v[0] == 'X');
    if (hex)
        ++i;
    if (i < v.size() && (v[i] == '-' || v[i] == '+'))
        ++i;
    size_t digits = i;
    while (i < v.size() &&
           (hex ? std::isxdigit(static_cast<unsigned char>(v[i])) : std::isdigit(static_cast<unsigned char>(v[i]))))
        ++i;
    if (v.empty() || (i == v.size() && i > digits))
        return;
    Refuse(At(item) + "'" + v + "' is not a number the installer reads whole (it would read " +
           std::to_string(ParseConfigInteger(v.c_str())) + "); write decimal digits, or x and hexadecimal digits");
}

void CheckSite(const Item& item) {
    const std::string& v = item.value;
    const bool web = v.compare(0, 7, "http://") == 0 || v.compare(0, 8, "https://") == 0;
    const size_t host = v.find("//") + 2;
    if (!web || host >= v.size() || v[host] == '/')
        Refuse(At(item) + "'" + v + "' is not a web address (http:// or https:// and a host)");
    for (char c : v)
        if (c == ' ' || c == '\t' || c == '"')
            Refuse(At(item) + "'" + v + "' holds a blank or a quote, which no address can");
    if (v.back() == '/')
        Refuse(At(item) + "'" + v + "' ends with '/': the installer adds \"/REDIRECTOR/...\" itself");
}

void CheckIconPath(const Item& item) {
    const std::string& v = item.value;
    std::string path = v;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    if (path.empty() || path[0] == '\\' || path.find(':') != std::string::npos)
        Refuse(At(item) + "'" + v + "' must name a file inside the install folder, relative to it");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (!FolderRules::ValidComponent(WideOf(path.substr(start, end - start))))
            Refuse(At(item) + "'" + v + "' is not a file name inside the install folder");
        start = end + 1;
    }
}

}  // namespace

CheckedConfiguration CheckConfigurationFile(const std::string& input) {
    CheckedConfiguration result;
    std::string bytes = input;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
        Refuse("line 1: the file is saved as UTF-16; save it as UTF-8");
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
        result.notes.push_back(
            "the configuration's UTF-8 byte-order mark is left out of the installer, "
            "whose reader would take it for part of the first line");
    }

    std::map<std::string, Item> items;  // by lower-case key
    int defineLine = 0;
    int number = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        const bool ended = end < bytes.size();
        start = end + 1;
        // Kept as read unless its value is put into the installer's form below.
        const size_t lineAt = result.section.size();
        result.section += line + (ended ? "\n" : "");
        ++number;
        const std::string at = "line " + std::to_string(number) + ": ";
        if (line.find('\0') != std::string::npos)
            Refuse(at + "a zero byte: the file is not UTF-8 text");
        PWString probe;
        if (!Utf8ToUtf16(line.data(), uint32_t(line.size()), probe))
            Refuse(at + "not UTF-8 text; save the file as UTF-8");
        std::string bare;
        for (char c : line)
            if (c != '\r')
                bare.push_back(c);
        size_t b = 0, e = bare.size();
        while (b < e && IsBlank(bare[b]))
            ++b;
        while (e > b && IsBlank(bare[e - 1]))
            --e;
        if (b == e || bare[b] == ';' || bare[b] == '#')
            continue;
        if (bare[b] == '[' && e - b >= 2 && bare[e - 1] == ']') {
            const std::string section = bare.substr(b + 1, e - b - 2);
            if (Lower(section) != "define")
                Refuse(at + "the installer reads no section \"" + section + "\"; its keys belong in [define]");
            if (defineLine)
                Refuse(at + "a second [define] (the first is on line " + std::to_string(defineLine) +
                       "); the installer reads only the first");
            defineLine = number;
            continue;
        }
        const size_t eq = bare.find('=', b);
        if (eq == std::string::npos || eq >= e)
            Refuse(at + "'" + bare.substr(b, e - b) + "' is neither [define], key=value nor a comment");
        const std::string rawKey = bare.substr(b, eq - b);
        std::string key = rawKey;
        while (!key.empty() && IsBlank(key.back()))
            key.pop_back();
        if (!defineLine)
            Refuse(at + "\"" + key + "\" stands before [define]");
        const char* known = KnownKey(key);
        if (!known)
            Refuse(at + "the installer does not know the key \"" + key + "\"");
        if (key != rawKey)
            Refuse(at + "\"" + key + "\" is followed by blanks before '=', so the installer would not find it");
        Item item{number, known, bare.substr(eq + 1, e - eq - 1)};
        auto seen = items.find(Lower(key));
        if (seen != items.end())
            Refuse(at + "\"" + known + "\" again (first on line " + std::to_string(seen->second.line) +
                   "); the installer would use the first");
        if (!item.value.empty() && IsBlank(item.value[0]))
            Refuse(At(item) + "the value starts with a blank, which the installer would keep");
        items.emplace(Lower(key), item);

        // Outside ASCII, the value goes in in the installer's own text form.
        bool ascii = true;
        for (char c : item.value)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (!ascii) {
            PString marked;
            Utf8ToPStringX(item.value.c_str(), marked);
            const std::string converted = bare.substr(0, eq + 1) + std::string(marked.text(), marked.length()) +
                                          (line.back() == '\r' ? "\r" : "");
            result.section.replace(lineAt, line.size(), converted);
        }
    }
    if (!defineLine)
        Refuse("no [define] section: the installer reads its configuration from it");

    for (const char* required : kRequiredConfigurationKeys) {
        auto it = items.find(Lower(required));
        if (it == items.end())
            Refuse("[define] (line " + std::to_string(defineLine) + ") has no \"" + required +
                   "\", which the installer cannot do without");
        if (it->second.value.empty())
            Refuse(At(it->second) + "empty, and the installer cannot do without it");
    }
    CheckFileName(items["name"], "the default install folder and the settings folder");
    CheckFileName(items["dispname"], "the uninstall entry, its log and journal file names");
    CheckSite(items["site"]);
    if (items.count("workfoldername") && !items["workfoldername"].value.empty())
        CheckFileName(items["workfoldername"], "the settings folder");
    auto window = items.find("mainwnd");
    if (window == items.end() || window->second.value.empty())
        result.notes.push_back(
            "without \"mainwnd\" the installer cannot tell that the client is running, "
            "and replaces its files even while it runs");
    else if (window->second.value.find('\\') != std::string::npos)
        Refuse(At(window->second) + "a backslash, which the client's mutex name cannot hold");
    for (const char* key : {"ieb1_1", "ieb1_2"}) {
        auto it = items.find(key);
        if (it != items.end() && !it->second.value.empty() && !IsGuid(it->second.value))
            Refuse(At(it->second) + "'" + it->second.value +
                   "' is not a GUID in registry form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    }
    for (const char* key : {"iconidx", "overrideuserini"})
        if (items.count(key))
            CheckNumber(items[key]);
    result.iconPath = "Morvandite.exe";  // the installer's default (config.h)
    if (items.count("iconpath")) {
        CheckIconPath(items["iconpath"]);
        result.iconPath = items["iconpath"].value;
        for (char& c : result.iconPath)
            if (c == '/')
                c = '\\';
    }
    return result;
}
