#include "uninstalllist.h"

#include <algorithm>
#include <set>

#include "payloadnames.h"
#include "sharednames.h"

namespace {

std::string Utf8OfPayloadName(const std::string& name) {
    PString utf8;
    Cp1252ToUtf8(name.data(), uint32_t(name.size()), utf8);
    return std::string(utf8.text(), utf8.length());
}

// The key CMake's list(SORT ... CASE INSENSITIVE) compares: the path as it
// globbed it (forward slashes), ASCII letters lowered.
std::string CMakeSortKey(std::string name) {
    for (char& c : name) {
        if (c == '\\')
            c = '/';
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return name;
}

// Windows compares file names ignoring case; code page 1252's letters are
// what a payload name can hold.
uint16_t FoldCase(uint16_t u) {
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return uint16_t(u + 0x20);
    switch (u) {
    case 0x160: return 0x161;  // S caron
    case 0x152: return 0x153;  // OE
    case 0x17D: return 0x17E;  // Z caron
    case 0x178: return 0xFF;   // Y diaeresis
    default: return u;
    }
}

std::u16string ComparedForm(const PWString& wide) {
    std::u16string out;
    for (uint32_t i = 0; i < wide.units(); ++i) {
        uint16_t u = uint16_t(wide.unit(i));
        out.push_back(char16_t(FoldCase(u == '/' ? uint16_t('\\') : u)));
    }
    return out;
}

std::u16string ComparedFormOfPayloadName(const std::string& name) {
    PWString wide;
    Cp1252ToUtf16(name.data(), uint32_t(name.size()), wide);
    return ComparedForm(wide);
}

// The list's lines as the uninstaller decodes them.
std::vector<std::string> ListedNames(std::string bytes, bool& utf8) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    PWString probe;
    utf8 = Utf8ToUtf16(bytes.data(), uint32_t(bytes.size()), probe);
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            names.push_back(line);
    }
    return names;
}

std::u16string ComparedFormOfListed(const std::string& line, bool utf8) {
    PWString wide;
    if (utf8)
        Utf8ToUtf16(line.data(), uint32_t(line.size()), wide);
    else
        Cp1252ToUtf16(line.data(), uint32_t(line.size()), wide);
    return ComparedForm(wide);
}

std::string Utf8OfListed(const std::string& line, bool utf8) {
    if (utf8)
        return line;
    PString out;
    Cp1252ToUtf8(line.data(), uint32_t(line.size()), out);
    return std::string(out.text(), out.length());
}

}  // namespace

std::string MakeUninstallList(std::vector<std::string> payloadNames) {
    const std::string self = SharedNames::kUninstallListFile.narrow;
    if (std::find(payloadNames.begin(), payloadNames.end(), self) == payloadNames.end())
        payloadNames.push_back(self);
    std::vector<std::pair<std::string, std::string>> keyed;  // sort key, line
    for (const std::string& name : payloadNames) {
        std::string utf8 = Utf8OfPayloadName(name);
        keyed.emplace_back(CMakeSortKey(utf8), utf8);
    }
    std::sort(keyed.begin(), keyed.end());
    std::string text;
    for (const auto& entry : keyed)
        text += entry.second + "\r\n";
    return text;
}

std::string UninstallListMismatch(const std::string& listBytes, const std::vector<std::string>& payloadNames) {
    bool utf8 = true;
    const std::vector<std::string> listed = ListedNames(listBytes, utf8);
    std::set<std::u16string> listedForms;
    for (const std::string& line : listed)
        listedForms.insert(ComparedFormOfListed(line, utf8));

    // The folder's files in the list's own order, so that "first" means the
    // same as in the list a build would write.
    std::vector<std::pair<std::string, std::string>> files;  // sort key, payload name
    for (const std::string& name : payloadNames)
        files.emplace_back(CMakeSortKey(Utf8OfPayloadName(name)), name);
    std::sort(files.begin(), files.end());
    std::set<std::u16string> fileForms;
    size_t missing = 0;
    std::string firstMissing;
    for (const auto& file : files) {
        std::u16string form = ComparedFormOfPayloadName(file.second);
        fileForms.insert(form);
        if (!listedForms.count(form) && missing++ == 0)
            firstMissing = Utf8OfPayloadName(file.second);
    }
    if (missing)
        return "uninstall.lst does not list " + std::to_string(missing) + (missing == 1 ? " file" : " files") +
               " of the client folder, the first '" + firstMissing + "': the uninstaller would leave it behind";
    for (const std::string& line : listed)
        if (!fileForms.count(ComparedFormOfListed(line, utf8)))
            return "uninstall.lst lists '" + Utf8OfListed(line, utf8) + "', which is no file of the client folder";
    return std::string();
}
