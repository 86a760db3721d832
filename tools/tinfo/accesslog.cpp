#include "accesslog.h"

#include <ctime>

namespace {

std::string UtcNow() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm t;
    gmtime_r(&now.tv_sec, &t);
    char text[40];
    size_t n = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    snprintf(text + n, sizeof text - n, ".%03ldZ", now.tv_nsec / 1000000);
    return text;
}

}  // namespace

std::string EscapedForLog(const std::string& text, size_t limit) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == limit) {
            out += "...";
            break;
        }
        unsigned char c = text[i];
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

void AccessLog::Request(const AccessRecord& r) {
    char numbers[128];
    snprintf(numbers, sizeof numbers, " %d %llu/%llu %s %.3fs", r.status, static_cast<unsigned long long>(r.sent),
             static_cast<unsigned long long>(r.bodySize), r.complete ? "complete" : "partial", r.seconds);
    std::string line = UtcNow() + " " + r.peer + " \"" + EscapedForLog(r.method, 16) + " " +
                       EscapedForLog(r.target, 512) + "\"" + numbers + " etag=" + (r.etag.empty() ? "-" : r.etag) +
                       " tag=" + (r.tag.empty() ? "-" : r.tag);
    if (!r.forwardedFor.empty())
        line += " for=" + EscapedForLog(r.forwardedFor, 128);
    if (!r.detail.empty())
        line += " (" + EscapedForLog(r.detail, 256) + ")";
    Write(line);
}

void AccessLog::Event(const std::string& text) { Write(UtcNow() + " serve: " + text); }

void AccessLog::Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}
