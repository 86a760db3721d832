#include "tagquery.h"

#include "hexdigit.h"
#include "taggrammar.h"

namespace {

// Percent-decodes text ('+' as a space); false on a malformed escape.
bool Decode(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size() || HexDigitValue(text[i + 1]) < 0 || HexDigitValue(text[i + 2]) < 0)
                return false;
            out += char(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

TagQuery Refused(std::string reason) {
    TagQuery tag;
    tag.reason = std::move(reason);
    return tag;
}

}  // namespace

TagQuery TagFromQuery(std::string_view query) {
    std::vector<TagLine> lines;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        std::string_view parameter = query.substr(start, end - start);
        start = end + 1;
        if (parameter.empty())
            continue;
        // Bounded before anything is decoded: a query longer than any tag.
        if (lines.size() == kTagMaxLines)
            return Refused("more than " + std::to_string(kTagMaxLines) + " parameters");
        size_t equals = parameter.find('=');
        if (equals == std::string_view::npos)
            return Refused("the parameter \"" + std::string(parameter.substr(0, 64)) + "\" has no '='");
        TagLine line;
        if (!Decode(parameter.substr(0, equals), line.key) || !Decode(parameter.substr(equals + 1), line.value))
            return Refused("the parameter \"" + std::string(parameter.substr(0, 64)) +
                           "\" has a malformed percent-escape");
        std::string why = TagKeyError(line.key);
        if (why.empty())
            why = TagValueError(line.value);
        if (!why.empty())
            return Refused("the parameter \"" + std::string(parameter.substr(0, 64)) + "\": " + why);
        if (IsReservedTagKey(line.key))
            return Refused("the key " + std::string(TrimTagBlanks(line.key)) +
                           " is the installer's own (ITS and IZ are reserved)");
        line.key = std::string(TrimTagBlanks(line.key));
        line.value = std::string(TrimTagBlanks(line.value));
        lines.push_back(std::move(line));
    }
    std::string why = TagLinesError(lines);
    if (!why.empty())
        return Refused(why);
    TagQuery tag;
    tag.accepted = true;
    for (const TagLine& line : lines)
        tag.lines.push_back(line.key + "=" + line.value);
    return tag;
}

std::string TagForLog(const std::vector<std::string>& lines) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += '&';
        for (unsigned char c : lines[i]) {
            bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '.' || c == '_' || c == '~' || c == '=';
            if (plain) {
                out += char(c);
            } else {
                out += '%';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        }
    }
    return out;
}
