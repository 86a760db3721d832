#include "taggrammar.h"

#include <cstdint>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsKeyCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsValueCharacter(char c) { return c >= 0x20 && c <= 0x7E && c != '[' && c != ']'; }

std::string Describe(char c) {
    switch (c) {
    case '\r': return "a carriage return";
    case '\0': return "a zero byte";
    case '[': return "'['";
    case ']': return "']'";
    case '\t': return "a tab";
    default: break;
    }
    static const char hex[] = "0123456789ABCDEF";
    uint8_t u = uint8_t(c);
    if (u >= 0x20 && u <= 0x7E)
        return std::string("'") + c + "'";
    return std::string("the byte 0x") + hex[u >> 4] + hex[u & 15];
}

std::string LineError(size_t number, const std::string& why) { return "line " + std::to_string(number) + " " + why; }

}  // namespace

std::string_view TrimTagBlanks(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool IsReservedTagKey(std::string_view key) {
    key = TrimTagBlanks(key);
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    if (key.size() == 3)
        return upper(key[0]) == 'I' && upper(key[1]) == 'T' && upper(key[2]) == 'S';
    if (key.size() == 2)
        return upper(key[0]) == 'I' && upper(key[1]) == 'Z';
    return false;
}

std::string TagKeyError(std::string_view key) {
    key = TrimTagBlanks(key);
    if (key.empty())
        return "the key is empty";
    if (key.size() > kTagMaxKeyLength)
        return "the key is longer than " + std::to_string(kTagMaxKeyLength) + " characters";
    for (char c : key)
        if (!IsKeyCharacter(c))
            return "the key holds " + Describe(c) + " (letters, digits and _ only)";
    return std::string();
}

std::string TagValueError(std::string_view value) {
    value = TrimTagBlanks(value);
    if (value.size() > kTagMaxValueLength)
        return "the value is longer than " + std::to_string(kTagMaxValueLength) + " characters";
    for (char c : value)
        if (!IsValueCharacter(c))
            return "the value holds " + Describe(c) + " (printable ASCII but '[' and ']' only)";
    return std::string();
}

std::string ParseTagLine(std::string_view line, TagLine& parsed, bool& blank) {
    blank = false;
    // Control characters are looked for before anything else: a CR would be
    // a line break to Windows' INI reader.
    for (char c : line)
        if (uint8_t(c) < 0x20 && c != '\t')
            return "holds " + Describe(c);
    if (TrimTagBlanks(line).empty()) {
        blank = true;
        return std::string();
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return "is not KEY=value";
    std::string why = TagKeyError(line.substr(0, eq));
    if (why.empty())
        why = TagValueError(line.substr(eq + 1));
    if (!why.empty())
        return "is refused: " + why;
    parsed.key = std::string(TrimTagBlanks(line.substr(0, eq)));
    parsed.value = std::string(TrimTagBlanks(line.substr(eq + 1)));
    return std::string();
}

TagParse ParseTagText(std::string_view text) {
    TagParse out;
    // Zero bytes may end the text, as a C string's terminator; only there.
    size_t end = text.size();
    while (end > 0 && text[end - 1] == '\0')
        --end;
    text = text.substr(0, end);
    if (text.size() > kTagMaxTextBytes) {
        out.error = "the text takes " + std::to_string(text.size()) + " bytes; a tag holds at most " +
                    std::to_string(kTagMaxTextBytes);
        return out;
    }
    std::vector<TagLine> lines;
    size_t number = 0;
    for (size_t pos = 0; pos <= text.size();) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++number;
        TagLine parsed;
        bool blank = false;
        std::string why = ParseTagLine(line, parsed, blank);
        if (!why.empty()) {
            out.error = LineError(number, why);
            return out;
        }
        if (blank)
            continue;
        if (lines.size() == kTagMaxLines) {
            out.error = "more than " + std::to_string(kTagMaxLines) + " lines";
            return out;
        }
        lines.push_back(std::move(parsed));
    }
    out.lines = std::move(lines);
    return out;
}

std::string TagLinesError(const std::vector<TagLine>& lines) {
    if (lines.size() > kTagMaxLines)
        return "more than " + std::to_string(kTagMaxLines) + " lines";
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string why = TagKeyError(lines[i].key);
        if (why.empty())
            why = TagValueError(lines[i].value);
        if (!why.empty())
            return LineError(i + 1, "is refused: " + why);
    }
    size_t size = TagText(lines).size();
    if (size > kTagMaxTextBytes)
        return "the lines take " + std::to_string(size) + " bytes; a tag holds at most " +
               std::to_string(kTagMaxTextBytes);
    return std::string();
}

std::string TagText(const std::vector<TagLine>& lines) {
    std::string text;
    for (const TagLine& line : lines) {
        text += TrimTagBlanks(line.key);
        text += '=';
        text += TrimTagBlanks(line.value);
        text += '\n';
    }
    return text;
}
