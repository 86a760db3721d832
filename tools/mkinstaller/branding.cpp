#include "branding.h"

#include "payloadnames.h"
#include "perror.h"

namespace {
[[noreturn]] void Refuse(const std::string& text) { throw PInternalError(text.c_str()); }

struct Field {
    const char* key;
    std::string Branding::*value;
};
const Field kFields[] = {{"company", &Branding::company},
                         {"description", &Branding::description},
                         {"copyright", &Branding::copyright},
                         {"product-name", &Branding::productName}};

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}
}  // namespace

void Branding::Merge(const Branding& other, const char* otherName) {
    for (const Field& f : kFields) {
        if ((other.*f.value).empty())
            continue;
        if (!(this->*f.value).empty())
            Refuse(std::string("\"") + f.key + "\" is given twice, the second time in " + otherName);
        this->*f.value = other.*f.value;
    }
}

Branding ReadBrandFile(const std::string& input) {
    std::string bytes = input;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    Branding brand;
    int number = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line = Trimmed(bytes.substr(start, end - start));
        start = end + 1;
        const std::string at = "line " + std::to_string(++number) + ": ";
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        PWString probe;
        if (!Utf8ToUtf16(line.data(), uint32_t(line.size()), probe))
            Refuse(at + "not UTF-8 text; save the file as UTF-8");
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            Refuse(at + "'" + line + "' is not key=value");
        const std::string key = Trimmed(line.substr(0, eq)), value = Trimmed(line.substr(eq + 1));
        const Field* field = nullptr;
        for (const Field& f : kFields)
            if (key == f.key)
                field = &f;
        if (!field)
            Refuse(at + "unknown key \"" + key + "\" (company, description, copyright, product-name)");
        if (value.empty())
            Refuse(at + "\"" + key + "\" has no value");
        if (!(brand.*field->value).empty())
            Refuse(at + "\"" + key + "\" again");
        brand.*field->value = value;
    }
    return brand;
}

namespace {
std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}
}  // namespace

std::string BrandedManifest(const std::string& manifest, const std::string& description,
                            const std::string& assemblyName) {
    std::string out = manifest;
    const size_t identity = out.find("<assemblyIdentity");
    const size_t identityEnd = identity == std::string::npos ? identity : out.find('>', identity);
    const size_t name = identityEnd == std::string::npos ? identityEnd : out.find(" name=\"", identity);
    const size_t nameEnd = name == std::string::npos || name > identityEnd ? std::string::npos : out.find('"', name + 7);
    if (nameEnd == std::string::npos || nameEnd > identityEnd)
        Refuse("the stub's manifest has no assembly name");
    out.replace(name + 7, nameEnd - (name + 7), assemblyName);
    if (description.empty())
        return out;
    const size_t open = out.find("<description>");
    const size_t close = open == std::string::npos ? open : out.find("</description>", open);
    if (close == std::string::npos)
        Refuse("the stub's manifest has no description");
    out.replace(open + 13, close - (open + 13), XmlEscaped(description));
    return out;
}

std::string AssemblyNameOf(const std::string& stem) {
    std::string out;
    for (char c : stem)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
            c == '_')
            out += c;
    return out.empty() ? "Setup" : out;
}
