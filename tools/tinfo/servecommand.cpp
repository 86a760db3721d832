#include "servecommand.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "accesslog.h"
#include "perror.h"
#include "releasesource.h"
#include "servedrelease.h"
#include "tagserver.h"
#include "toolcli.h"

namespace {

const char* kServeUsage =
    "usage: tinfo serve SIGNED.exe --listen HOST:PORT [--max-connections N] [--threads N]\n"
    "                   [--timeout SECONDS] [--poll SECONDS]\n";

// A whole number in [low, high]; false for anything else.
bool ParseCount(const char* text, unsigned long low, unsigned long high, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno || end == text || *end || text[0] == '-' || v < low || v > high)
        return false;
    value = v;
    return true;
}

// HOST:PORT, [IPv6]:PORT.
bool ParseListen(const std::string& text, ServeOptions& options) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    std::string host = text.substr(0, colon), port = text.substr(colon + 1);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    }
    unsigned long number;
    if (!ParseCount(port.c_str(), 0, 65535, number))
        return false;
    options.host = host;
    options.port = port;
    return true;
}

}  // namespace

int ServeCommand(int argc, char** argv) {
    ServeOptions options;
    std::string installer;
    bool listen = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long number;
        if (arg == "--listen" && i + 1 < argc) {
            if (!ParseListen(argv[++i], options))
                return UsageError(kServeUsage);
            listen = true;
        } else if (arg == "--max-connections" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 100000, number))
                return UsageError(kServeUsage);
            options.maxConnections = unsigned(number);
        } else if (arg == "--threads" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 64, number))
                return UsageError(kServeUsage);
            options.threads = unsigned(number);
        } else if (arg == "--timeout" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 3600, number))
                return UsageError(kServeUsage);
            options.timeout = std::chrono::seconds(number);
        } else if (arg == "--poll" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 3600, number))
                return UsageError(kServeUsage);
            options.pollInterval = std::chrono::seconds(number);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(kServeUsage);
        } else if (installer.empty()) {
            installer = arg;
        } else {
            return UsageError(kServeUsage);
        }
    }
    if (installer.empty() || !listen)
        return UsageError(kServeUsage);

    // A client that goes away mid-download must not end the server: sendfile
    // has no MSG_NOSIGNAL.
    std::signal(SIGPIPE, SIG_IGN);
    AccessLog log(stdout);
    std::shared_ptr<const ServedRelease> first;
    try {
        first = ServedRelease::Open(installer);
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s\n", e.why());
        return kToolRefused;
    }
    ReleaseSource source(installer, first, log);
    try {
        return RunTagServer(options, source, log);
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s\n", e.why());
        return kToolRefused;
    }
}
