#include "byterange.h"

#include <cctype>

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Digits only, at most 18 of them (no overflow); false for anything else.
bool ParseNumber(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 18)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + uint64_t(c - '0');
    }
    return true;
}

}  // namespace

ByteRange ParseByteRange(std::string_view field, uint64_t size) {
    ByteRange whole;
    field = Trimmed(field);
    constexpr std::string_view kUnit = "bytes=";
    if (field.size() < kUnit.size())
        return whole;
    for (size_t i = 0; i < kUnit.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(field[i])) != kUnit[i])
            return whole;
    std::string_view ranges = Trimmed(field.substr(kUnit.size()));
    if (ranges.find(',') != std::string_view::npos)
        return whole;
    size_t dash = ranges.find('-');
    if (dash == std::string_view::npos)
        return whole;
    std::string_view from = Trimmed(ranges.substr(0, dash)), to = Trimmed(ranges.substr(dash + 1));
    ByteRange range;
    if (from.empty()) {  // the last N bytes
        uint64_t suffix;
        if (!ParseNumber(to, suffix))
            return whole;
        if (suffix == 0 || size == 0) {
            range.kind = ByteRange::Unsatisfiable;
            return range;
        }
        range.kind = ByteRange::Part;
        range.length = suffix < size ? suffix : size;
        range.first = size - range.length;
        return range;
    }
    uint64_t first, last = 0;
    if (!ParseNumber(from, first) || (!to.empty() && !ParseNumber(to, last)))
        return whole;
    if (!to.empty() && last < first)
        return whole;  // not a valid range: ignored
    if (first >= size) {
        range.kind = ByteRange::Unsatisfiable;
        return range;
    }
    if (to.empty() || last >= size)
        last = size - 1;
    range.kind = ByteRange::Part;
    range.first = first;
    range.length = last - first + 1;
    return range;
}
