#include "downloadresponse.h"

#include "byterange.h"
#include "hexdigit.h"
#include "perror.h"
#include "servedrelease.h"
#include "tagquery.h"

namespace {

const char* StatusText(int status) {
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Internal Server Error";
    }
}

std::string HttpDate(std::time_t now) {
    struct tm t;
    gmtime_r(&now, &t);
    char text[64];
    strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &t);
    return text;
}

std::string StatusLine(int status, std::time_t now, bool keepAlive) {
    return "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\nDate: " + HttpDate(now) +
           "\r\nServer: tinfo-serve\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n";
}

// The path percent-decoded; false when an escape is malformed.
bool DecodePath(std::string_view path, std::string& out) {
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') {
            out += path[i];
            continue;
        }
        if (i + 2 >= path.size() || HexDigitValue(path[i + 1]) < 0 || HexDigitValue(path[i + 2]) < 0)
            return false;
        out += char(HexDigitValue(path[i + 1]) * 16 + HexDigitValue(path[i + 2]));
        i += 2;
    }
    return true;
}

// Content-Disposition for the release's name: a plain quoted name where the
// name allows one, and the name itself (RFC 6266 filename*) beside it.
std::string Disposition(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string plain, encoded;
    bool needsEncoding = false;
    for (unsigned char c : name) {
        bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     std::string_view("!#$&+-.^_`|~").find(char(c)) != std::string_view::npos;
        plain += (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') ? char(c) : '_';
        if (token) {
            encoded += char(c);
        } else {
            needsEncoding = true;
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    std::string field = "attachment; filename=\"" + plain + "\"";
    if (needsEncoding)
        field += "; filename*=UTF-8''" + encoded;
    return field;
}

// Whether an If-None-Match list names etag ("*" names any; weak comparison).
bool NoneMatchNames(std::string_view list, const std::string& etag) {
    size_t at = 0;
    while (at < list.size()) {
        size_t comma = list.find(',', at);
        std::string_view item = list.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
        at = comma == std::string_view::npos ? list.size() : comma + 1;
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item.substr(0, 2) == "W/")
            item.remove_prefix(2);
        if (item == "*" || item == etag)
            return true;
    }
    return false;
}

}  // namespace

PlannedResponse PlanRefusal(int status, const std::string& reason, bool keepAlive, std::time_t now) {
    PlannedResponse response;
    response.status = status;
    response.keepAlive = keepAlive;
    response.detail = reason;
    response.tag = "-";
    std::string text = reason + "\n";
    response.head = StatusLine(status, now, keepAlive) +
                    "Content-Type: text/plain; charset=utf-8\r\nX-Content-Type-Options: nosniff\r\n"
                    "Cache-Control: no-store\r\nContent-Length: " +
                    std::to_string(text.size()) + "\r\n" + (status == 405 ? "Allow: GET, HEAD\r\n" : "") + "\r\n";
    response.bodySize = text.size();
    if (response.bodySize)
        response.body.push_back(BodyPiece::Bytes(std::move(text)));
    return response;
}

PlannedResponse PlanDownload(const ServedRelease& release, const DownloadRequest& request, std::time_t now) {
    const bool head = request.method == "HEAD";
    if (!head && request.method != "GET")
        return PlanRefusal(405, "only GET and HEAD are served", request.keepAlive, now);

    std::string_view target = request.target;
    // The absolute form a proxy may send: only the path and query count.
    for (std::string_view scheme : {"http://", "https://"})
        if (target.substr(0, scheme.size()) == scheme) {
            size_t path = target.find('/', scheme.size());
            target = path == std::string_view::npos ? std::string_view("/") : target.substr(path);
        }
    size_t question = target.find('?');
    std::string_view rawPath = target.substr(0, question);
    std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    std::string path;
    if (!DecodePath(rawPath, path) || path != "/" + release.name())
        return PlanRefusal(404, "not found; this server serves /" + release.name() + " only", request.keepAlive, now);

    TagQuery tag = TagFromQuery(query);
    if (!tag.accepted)
        return PlanRefusal(400, "tag refused: " + tag.reason, request.keepAlive, now);

    PlannedResponse response;
    response.keepAlive = request.keepAlive;
    response.tag = tag.lines.empty() ? "-" : TagForLog(tag.lines);
    ResponseBody body;
    try {
        response.etag = release.ETagFor(tag.lines);
        body = release.BodyFor(tag.lines);
    } catch (const PError& e) {
        PlannedResponse refused = PlanRefusal(400, std::string("tag refused: ") + e.why(), request.keepAlive, now);
        refused.tag = response.tag;
        return refused;
    }
    const uint64_t size = BodySize(body);

    std::string fields = "Content-Type: application/octet-stream\r\nX-Content-Type-Options: nosniff\r\n"
                         "Cache-Control: no-cache, no-transform\r\nAccept-Ranges: bytes\r\nETag: " +
                         response.etag + "\r\nContent-Disposition: " + Disposition(release.name()) + "\r\n";
    if (!request.ifNoneMatch.empty() && NoneMatchNames(request.ifNoneMatch, response.etag)) {
        response.status = 304;
        response.head = StatusLine(304, now, request.keepAlive) + "ETag: " + response.etag + "\r\n\r\n";
        return response;
    }

    ByteRange range;
    // A resumed download asks for the rest of the copy it has; If-Range says
    // which copy, and a different one (another release or tag) gets all of it.
    if (!request.range.empty() && (request.ifRange.empty() || request.ifRange == response.etag))
        range = ParseByteRange(request.range, size);
    switch (range.kind) {
    case ByteRange::Whole:
        response.status = 200;
        response.bodySize = size;
        response.head = StatusLine(200, now, request.keepAlive) + fields +
                        "Content-Length: " + std::to_string(size) + "\r\n\r\n";
        break;
    case ByteRange::Part:
        response.status = 206;
        response.bodySize = range.length;
        body = SliceBody(body, range.first, range.length);
        response.head = StatusLine(206, now, request.keepAlive) + fields + "Content-Range: bytes " +
                        std::to_string(range.first) + "-" + std::to_string(range.first + range.length - 1) + "/" +
                        std::to_string(size) + "\r\nContent-Length: " + std::to_string(range.length) + "\r\n\r\n";
        break;
    case ByteRange::Unsatisfiable: {
        PlannedResponse refused = PlanRefusal(416, "the range lies outside the file", request.keepAlive, now);
        refused.tag = response.tag;
        refused.etag = response.etag;
        // The size the client can resume against.
        refused.head.insert(refused.head.size() - 2, "Content-Range: bytes */" + std::to_string(size) + "\r\n");
        return refused;
    }
    }
    if (!head)
        response.body = std::move(body);
    return response;
}
