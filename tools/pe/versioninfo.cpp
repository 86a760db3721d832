#include "versioninfo.h"

#include <cstdlib>

#include "peimage.h"
#include "perror.h"

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr size_t kFixedSize = 52;

[[noreturn]] void Refuse(const std::string& why) { throw PInternalError(("version information: " + why).c_str()); }

size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string TextValue(const std::u16string& text) {
    std::string value;
    for (char16_t c : text) {
        value.push_back(char(c & 0xFF));
        value.push_back(char(c >> 8));
    }
    value.append(2, '\0');
    return value;
}

}  // namespace

bool ParseVersionNumber(const std::string& text, VersionNumber& out) {
    VersionNumber parts{};
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        size_t start = pos;
        unsigned long value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 6)
            value = value * 10 + unsigned(text[pos++] - '0');
        if (pos == start || value > 0xFFFF)
            return false;
        parts[size_t(i)] = uint16_t(value);
        if (i < 3) {
            if (pos >= text.size() || text[pos] != '.')
                return false;
            ++pos;
        }
    }
    if (pos != text.size())
        return false;
    out = parts;
    return true;
}

std::string VersionText(const VersionNumber& v) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

VersionInfo::Node VersionInfo::ParseNode(const std::string& data, size_t at, size_t end, int depth) {
    if (depth > 4)
        Refuse("nested too deeply");
    if (at + 6 > end)
        Refuse("a block is cut short");
    Node node;
    size_t length = PeRead16(data, at);
    node.valueLength = PeRead16(data, at + 2);
    node.type = PeRead16(data, at + 4);
    if (length < 6 || at + length > end)
        Refuse("a block's length does not fit its parent");
    size_t nodeEnd = at + length;
    size_t pos = at + 6;
    for (;;) {
        if (pos + 2 > nodeEnd)
            Refuse("a key is not terminated");
        char16_t c = char16_t(PeRead16(data, pos));
        pos += 2;
        if (!c)
            break;
        node.key.push_back(c);
    }
    pos = Align4(pos - at) + at;
    size_t valueBytes = node.type == 1 ? size_t(node.valueLength) * 2 : node.valueLength;
    if (pos > nodeEnd || valueBytes > nodeEnd - pos) {
        // Some writers count text values in bytes; a text value ends with its node anyway.
        if (node.type == 1 && pos <= nodeEnd)
            valueBytes = nodeEnd - pos;
        else
            Refuse("a value runs past its block");
    }
    node.value = data.substr(pos, valueBytes);
    pos = Align4(pos + valueBytes - at) + at;
    while (pos < nodeEnd) {
        Node child = ParseNode(data, pos, nodeEnd, depth + 1);
        pos = Align4(pos + PeRead16(data, pos) - at) + at;
        node.children.push_back(std::move(child));
    }
    return node;
}

void VersionInfo::BuildNode(const Node& node, std::string& out) {
    size_t start = out.size();
    out.append(6, '\0');
    for (char16_t c : node.key) {
        out.push_back(char(c & 0xFF));
        out.push_back(char(c >> 8));
    }
    out.append(2, '\0');
    out.resize(start + Align4(out.size() - start), '\0');
    out.append(node.value);
    for (const Node& child : node.children) {
        out.resize(start + Align4(out.size() - start), '\0');
        BuildNode(child, out);
    }
    size_t length = out.size() - start;
    if (length > 0xFFFF)
        Refuse("a block grew beyond 65535 bytes");
    PeWrite16(out, start, uint16_t(length));
    PeWrite16(out, start + 2, node.valueLength);
    PeWrite16(out, start + 4, node.type);
}

VersionInfo VersionInfo::Parse(const std::string& data) {
    VersionInfo info;
    if (data.size() < 6)
        Refuse("too short");
    info.root_ = ParseNode(data, 0, data.size(), 0);
    if (info.root_.key != u"VS_VERSION_INFO" || info.root_.value.size() != kFixedSize)
        Refuse("no VS_VERSION_INFO block with its fixed part");
    if (PeRead32(info.root_.value, 0) != kFixedSignature)
        Refuse("the fixed part has the wrong signature");
    return info;
}

std::string VersionInfo::Build() const {
    std::string out;
    BuildNode(root_, out);
    return out;
}

VersionNumber VersionInfo::FileVersion() const {
    uint32_t ms = PeRead32(root_.value, 8), ls = PeRead32(root_.value, 12);
    return {uint16_t(ms >> 16), uint16_t(ms), uint16_t(ls >> 16), uint16_t(ls)};
}

VersionNumber VersionInfo::ProductVersion() const {
    uint32_t ms = PeRead32(root_.value, 16), ls = PeRead32(root_.value, 20);
    return {uint16_t(ms >> 16), uint16_t(ms), uint16_t(ls >> 16), uint16_t(ls)};
}

std::vector<VersionInfo::Node*> VersionInfo::StringTables() {
    std::vector<Node*> tables;
    for (Node& block : root_.children)
        if (block.key == u"StringFileInfo")
            for (Node& table : block.children)
                tables.push_back(&table);
    return tables;
}

void VersionInfo::SetVersion(const VersionNumber& v) {
    uint32_t ms = uint32_t(v[0]) << 16 | v[1], ls = uint32_t(v[2]) << 16 | v[3];
    PeWrite32(root_.value, 8, ms);
    PeWrite32(root_.value, 12, ls);
    PeWrite32(root_.value, 16, ms);
    PeWrite32(root_.value, 20, ls);
    if (!StringTables().empty()) {
        SetString("FileVersion", Wide(VersionText(v)));
        SetString("ProductVersion", Wide(VersionText(v)));
    }
}

void VersionInfo::SetString(const std::string& key, const std::u16string& value) {
    std::vector<Node*> tables = StringTables();
    if (tables.empty())
        Refuse("there is no string table to hold " + key);
    for (Node* table : tables) {
        Node* target = nullptr;
        for (Node& s : table->children)
            if (s.key == Wide(key))
                target = &s;
        if (!target) {
            table->children.emplace_back();
            target = &table->children.back();
            target->key = Wide(key);
        }
        target->type = 1;
        target->value = TextValue(value);
        target->valueLength = uint16_t(value.size() + 1);
    }
}

bool VersionInfo::GetString(const std::string& key, std::u16string& value) const {
    for (const Node& block : root_.children)
        if (block.key == u"StringFileInfo")
            for (const Node& table : block.children)
                for (const Node& s : table.children)
                    if (s.key == Wide(key)) {
                        value.clear();
                        for (size_t i = 0; i + 1 < s.value.size(); i += 2) {
                            char16_t c = char16_t(uint8_t(s.value[i]) | uint8_t(s.value[i + 1]) << 8);
                            if (!c)
                                break;
                            value.push_back(c);
                        }
                        return true;
                    }
    return false;
}
