// The tag server's log: one line per answered request (for a download, once
// it has ended, with the bytes sent and its tag) and the server's own
// events (start, a new release, a refused release, the connection limit),
// written whole to a stream (standard output under systemd's journal).
// Thread-safe: lines from several threads never interleave.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

// One answered request.
struct AccessRecord {
    std::string peer;      // address:port
    std::string forwardedFor;  // what a proxy in front says of the client (unchecked), or empty
    std::string method;    // as sent, or "-" when the request did not parse
    std::string target;    // as sent (escaped when logged), or "-"
    int status = 0;
    uint64_t bodySize = 0;  // the body to send (a range's length; 0 for HEAD)
    uint64_t sent = 0;      // body bytes handed to the connection
    bool complete = false;  // all of bodySize was sent
    double seconds = 0;     // from the request's arrival to its end
    std::string etag;       // or empty
    std::string tag;        // TagForLog form, or "-"
    std::string detail;     // a refusal's reason or a connection's failure, or empty
};

class AccessLog {
public:
    // Writes to out, which stays the caller's and must outlive the log.
    explicit AccessLog(std::FILE* out) : out_(out) {}
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    // "TIME PEER "METHOD TARGET" STATUS SENT/SIZE complete|partial SECONDS etag=… tag=…
    // [for=X-Forwarded-For] [(detail)]"
    void Request(const AccessRecord& record);
    // "TIME serve: text"
    void Event(const std::string& text);

private:
    void Write(const std::string& line);

    std::FILE* out_;
    std::mutex mutex_;
};

// text with every byte outside printable ASCII, '"' and '\\' as \xHH, at
// most limit bytes of it (then "..."): what a client sent, made safe for a
// log line.
std::string EscapedForLog(const std::string& text, size_t limit);
