// The tag server: HTTP/1.1 on Boost.Beast and Boost.Asio, answering GET and
// HEAD for its one installer with the copy tagged as the query string asks
// (downloadresponse.h). Beast parses the requests (requestparser.h); the
// responses are written by this code, the computed pieces with send(2) and
// the file's ranges with sendfile(2), so the installer's bytes go from the
// page cache to the socket without passing through this process.
//
// Public-endpoint limits: a request's header within kMaxHeaderBytes and 64
// fields, no request body, the whole header within the timeout of the
// connection's start or its previous response, a download that accepts no
// byte for the timeout closed, at most maxConnections connections (more are
// answered 503 and closed). A malformed or slow request ends its own
// connection only.
#pragma once
#include <chrono>
#include <string>

class AccessLog;
class ReleaseSource;

struct ServeOptions {
    std::string host = "127.0.0.1";
    std::string port = "8080";         // 0: any free port (the log says which)
    unsigned maxConnections = 1024;
    unsigned threads = 0;              // 0: one per processor, at most 4
    std::chrono::milliseconds timeout{10000};
    std::chrono::milliseconds pollInterval{1000};  // how often the served path is looked at
};

// Serves releases from source until SIGTERM or SIGINT (SIGHUP: look at the
// path now and prepare it even if it seems unchanged). Logs
// "listening on http://HOST:PORT/NAME" once the socket listens. Returns 0
// after a stop by signal; throws PError when it cannot listen.
int RunTagServer(const ServeOptions& options, ReleaseSource& source, AccessLog& log);
