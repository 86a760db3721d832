#include "ppathtext.h"

#include <vector>

#include "pencoding.h"

namespace {

bool IsSeparator(uint32_t c) { return c == '\\' || c == '/'; }
bool IsLetter(uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The characters of a PStringX text; decoding stops at malformed input.
std::vector<uint32_t> Characters(const char* text) {
    std::vector<uint32_t> out;
    if (!text)
        return out;
    PStringEncoding::ParserHolder parser;
    PStringXEncoding.createParser(parser);
    parser->init(text, nullptr);
    for (int32_t c = parser->next(); c > 0; c = parser->next())
        out.push_back(uint32_t(c));
    return out;
}

}  // namespace

void AppendPathComponent(PString& path, const char* name) {
    AppendChar(path, '\\');
    AppendText(path, name);
}

PString JoinPath(const char* folder, const char* name) {
    PString path;
    AppendText(path, folder);
    AppendPathComponent(path, name);
    return path;
}

PString QuotedText(const char* text) {
    PString quoted;
    AppendChar(quoted, '"');
    AppendText(quoted, text);
    AppendChar(quoted, '"');
    return quoted;
}

PathShape ShapeOfPath(const char* path) {
    std::vector<uint32_t> c = Characters(path);
    if (c.empty())
        return PathShape::Empty;
    if (IsSeparator(c[0]))
        return c.size() > 1 && IsSeparator(c[1]) ? PathShape::Network : PathShape::Rooted;
    if (c.size() < 2 || !IsLetter(c[0]) || c[1] != ':')
        return PathShape::Relative;
    if (c.size() == 2 || !IsSeparator(c[2]))
        return PathShape::DriveRelative;
    for (size_t i = 3; i < c.size(); ++i)
        if (!IsSeparator(c[i]))
            return PathShape::DriveFolder;
    return PathShape::DriveRoot;
}

bool IsBareDrive(const char* path) {
    std::vector<uint32_t> c = Characters(path);
    return c.size() == 2 && IsLetter(c[0]) && c[1] == ':';
}

uint32_t DriveLetterOf(const char* path) {
    std::vector<uint32_t> c = Characters(path);
    return c.size() >= 2 && IsLetter(c[0]) && c[1] == ':' ? c[0] : 0;
}

namespace {

// Where the share's name ends in a network path's characters (the index
// after it), or 0 when the path does not name a share.
size_t ShareEnd(const std::vector<uint32_t>& c) {
    if (c.size() < 5 || !IsSeparator(c[0]) || !IsSeparator(c[1]) || IsSeparator(c[2]))
        return 0;
    size_t i = 2;
    while (i < c.size() && !IsSeparator(c[i]))
        ++i;  // the server
    if (i + 1 >= c.size() || IsSeparator(c[i + 1]))
        return 0;  // no share after it
    ++i;
    while (i < c.size() && !IsSeparator(c[i]))
        ++i;
    return i;
}

}  // namespace

PString NetworkShareOf(const char* path) {
    std::vector<uint32_t> c = Characters(path);
    const size_t end = ShareEnd(c);
    PString share;
    for (size_t i = 0; i < end; ++i)
        AppendCodePoint(share, IsSeparator(c[i]) ? '\\' : c[i]);
    return share;
}

bool IsNetworkShareRoot(const char* path) {
    std::vector<uint32_t> c = Characters(path);
    const size_t end = ShareEnd(c);
    if (end == 0)
        return false;
    for (size_t i = end; i < c.size(); ++i)
        if (!IsSeparator(c[i]))
            return false;
    return true;
}

void TrimTrailingSeparators(PString& path) {
    // A separator is one byte in both forms, and no other character of either
    // form ends in its byte, so the last byte tells whether the text ends in one.
    for (;;) {
        uint32_t n = path.length();
        if (n == 0 || !IsSeparator(uint8_t(path.text()[n - 1])))
            return;
        std::vector<uint32_t> c = Characters(path.text());
        if (c.size() <= 1 || (c.size() == 3 && IsLetter(c[0]) && c[1] == ':'))
            return;
        path.truncate(n - 1);
    }
}
