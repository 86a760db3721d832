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
