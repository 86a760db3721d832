// What the tag server answers to one parsed request, decided without I/O:
// the status line and header fields, and the body as pieces of the
// release's file and computed buffers. Only "/<release name>" exists (GET
// and HEAD); its query string is the tag. Pure functions of their
// arguments; thread-safe. A tag the stamp cannot be made for, or any other
// failure, becomes a response with its status: nothing here throws.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "responsebody.h"

class ServedRelease;

// The parts of a request the server looks at (the parser keeps no other field).
struct DownloadRequest {
    std::string method;
    std::string target;
    int version = 11;  // 10 or 11
    bool keepAlive = true;
    std::string range, ifRange, ifNoneMatch;
    std::string forwardedFor;  // X-Forwarded-For from a proxy in front, for the log only
};

struct PlannedResponse {
    int status = 500;
    std::string head;    // status line and fields, ending with the blank line
    ResponseBody body;   // empty for HEAD and 304
    uint64_t bodySize = 0;
    bool keepAlive = false;
    std::string tag;     // the tag for the access log (TagForLog), or "-"
    std::string etag;    // or empty
    std::string detail;  // why a request was refused, for the log
};

// The answer to a request for the release.
PlannedResponse PlanDownload(const ServedRelease& release, const DownloadRequest& request, std::time_t now);

// An error answer with a short text body: status 400, 404, 405, 413, 414,
// 431, 503 and the like; reason is the body's sentence.
PlannedResponse PlanRefusal(int status, const std::string& reason, bool keepAlive, std::time_t now);
