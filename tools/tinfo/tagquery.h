// The tag a download asks for in its query string: KEY=value parameters
// joined by '&' (GET /Setup.exe?SRC=partner7&CAMP=winter), percent-decoded,
// '+' read as a space as in HTML forms, each becoming the line KEY=value in
// the order given; empty parameters (a trailing '&') are skipped. The lines
// are held to the tag grammar (taggrammar.h) that tinfo stamp and the
// installer apply, blanks trimmed as it trims them; the installer's own
// keys (ITS, IZ), which it would drop, are refused. Pure functions;
// thread-safe; never throw but std::bad_alloc.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct TagQuery {
    bool accepted = false;
    std::vector<std::string> lines;  // accepted: the tag's lines ("KEY=value", trimmed), none for an empty query
    std::string reason;              // refused: why, in a sentence a client can be shown
};

// The tag of a query string (without its '?').
TagQuery TagFromQuery(std::string_view query);

// The lines as one log field: joined by '&', every byte outside letters,
// digits and "-._~=" percent-encoded, so a line cannot forge log text.
std::string TagForLog(const std::vector<std::string>& lines);
