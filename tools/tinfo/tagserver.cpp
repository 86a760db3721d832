#include "tagserver.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>

#include "accesslog.h"
#include "downloadresponse.h"
#include "perror.h"
#include "releasesource.h"
#include "requestparser.h"
#include "servedrelease.h"

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

// Bytes one sendfile(2) call is asked for: a connection sends until its
// socket is full, so this only bounds one call's work.
constexpr size_t kSendfileChunk = 1 << 20;

class Server;

// One connection: requests read one after the other, each answered in full
// before the next is read. Lives as long as an operation or its watchdog
// holds it; everything it does runs on its own strand.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, Server& server);
    ~Session();
    void Start();

private:
    void ReadRequest();
    void OnRequest(error_code ec);
    void Answer(PlannedResponse plan);
    void Send();
    void WaitWritable();
    void Finished(bool complete, const std::string& failure);
    void Linger();
    void Drain();
    void Close();
    void Watch();
    void Extend() { deadline_ = Clock::now() + timeout_; }

    tcp::socket socket_;
    asio::steady_timer watchdog_;
    Server& server_;
    const std::chrono::milliseconds timeout_;
    Clock::time_point deadline_;
    std::string peer_;
    boost::beast::flat_buffer buffer_{RequestParser::kMaxHeaderBytes + 8192};
    std::optional<RequestParser> parser_;
    bool closed_ = false;

    // The response being sent.
    bool responding_ = false;
    std::shared_ptr<const ServedRelease> release_;  // keeps its file open until the response ends
    PlannedResponse plan_;
    size_t headSent_ = 0;
    size_t piece_ = 0;
    uint64_t pieceSent_ = 0;
    uint64_t bodySent_ = 0;
    Clock::time_point started_;
    AccessRecord record_;
};

class Server {
public:
    Server(const ServeOptions& options, ReleaseSource& source, AccessLog& log)
        : options_(options), source_(source), log_(log),
          threads_(options.threads ? options.threads
                                   : std::max(1u, std::min(4u, std::thread::hardware_concurrency()))),
          io_(int(threads_)), acceptor_(io_), signals_(io_, SIGTERM, SIGINT), reload_(io_, SIGHUP),
          poll_(io_), acceptPause_(io_) {}

    int Run();

    const ServeOptions& options() const { return options_; }
    ReleaseSource& source() { return source_; }
    AccessLog& log() { return log_; }
    std::atomic<unsigned>& connections() { return connections_; }

private:
    void Listen();
    void Accept();
    void Turn(tcp::socket socket);
    void Poll();
    void WaitForReload();

    const ServeOptions& options_;
    ReleaseSource& source_;
    AccessLog& log_;
    const unsigned threads_;
    // Before io_: sessions still held by its handlers count themselves out
    // when it is destroyed.
    std::atomic<unsigned> connections_{0};
    std::atomic<int64_t> lastLimitNote_{0};
    asio::io_context io_;
    tcp::acceptor acceptor_;
    asio::signal_set signals_, reload_;
    asio::steady_timer poll_, acceptPause_;
};

Session::Session(tcp::socket socket, Server& server)
    : socket_(std::move(socket)), watchdog_(socket_.get_executor()), server_(server),
      timeout_(server.options().timeout) {
    error_code ec;
    tcp::endpoint remote = socket_.remote_endpoint(ec);
    peer_ = ec ? "-" : remote.address().to_string() + ":" + std::to_string(remote.port());
    socket_.native_non_blocking(true, ec);
    socket_.set_option(tcp::no_delay(true), ec);
}

Session::~Session() { server_.connections()--; }

void Session::Start() {
    Extend();
    Watch();
    ReadRequest();
}

// The watchdog: wakes at the deadline and closes the connection unless
// progress moved the deadline on meanwhile.
void Session::Watch() {
    watchdog_.expires_at(deadline_);
    watchdog_.async_wait([self = shared_from_this()](error_code ec) {
        if (ec || self->closed_)
            return;
        if (Clock::now() < self->deadline_) {
            self->Watch();
            return;
        }
        if (self->responding_)
            self->Finished(false, "timed out: the client took nothing for the timeout");
        else
            self->Close();
    });
}

void Session::Close() {
    if (closed_)
        return;
    closed_ = true;
    error_code ec;
    watchdog_.cancel();
    socket_.shutdown(tcp::socket::shutdown_both, ec);
    socket_.close(ec);
}

void Session::ReadRequest() {
    parser_.emplace();
    Extend();
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](error_code ec, size_t) { self->OnRequest(ec); });
}

void Session::OnRequest(error_code ec) {
    if (closed_)
        return;
    started_ = Clock::now();
    const std::time_t now = std::time(nullptr);
    if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset ||
        ec == asio::error::operation_aborted) {
        Close();
        return;
    }
    if (ec) {
        // Refused as read: answered, and the connection closed after it.
        record_ = AccessRecord();
        record_.method = parser_->request().method.empty() ? "-" : parser_->request().method;
        record_.target = parser_->request().target.empty() ? "-" : parser_->request().target;
        switch (parser_->refusal()) {
        case RequestParser::Refusal::TargetTooLong:
            Answer(PlanRefusal(414, "the request target is too long", false, now));
            return;
        case RequestParser::Refusal::TooManyFields:
            Answer(PlanRefusal(431, "too many header fields", false, now));
            return;
        case RequestParser::Refusal::HasBody:
            Answer(PlanRefusal(413, "a request body is not accepted", false, now));
            return;
        case RequestParser::Refusal::None: break;
        }
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
            Answer(PlanRefusal(431, "the request header is too large", false, now));
        else if (ec == http::error::body_limit)
            Answer(PlanRefusal(413, "a request body is not accepted", false, now));
        else if (ec.category() == http::make_error_code(http::error::bad_target).category())
            Answer(PlanRefusal(400, "malformed request: " + ec.message(), false, now));
        else
            Close();  // the connection failed: nobody to answer
        return;
    }
    record_ = AccessRecord();
    const DownloadRequest& request = parser_->request();
    record_.method = request.method;
    record_.target = request.target;
    record_.forwardedFor = request.forwardedFor;
    if (request.version < 10 || request.version > 11) {
        Answer(PlanRefusal(505, "only HTTP/1.0 and HTTP/1.1 are served", false, now));
        return;
    }
    release_ = server_.source().Current();
    Answer(PlanDownload(*release_, request, now));
}

void Session::Answer(PlannedResponse plan) {
    responding_ = true;
    plan_ = std::move(plan);
    headSent_ = 0;
    piece_ = 0;
    pieceSent_ = 0;
    bodySent_ = 0;
    record_.peer = peer_;
    record_.status = plan_.status;
    record_.bodySize = BodySize(plan_.body);  // what is sent: none for HEAD and 304
    record_.etag = plan_.etag;
    record_.tag = plan_.tag;
    record_.detail = plan_.detail;
    Extend();
    Send();
}

// Sends what the socket takes now, and waits for it to take more.
void Session::Send() {
    const int fd = socket_.native_handle();
    while (headSent_ < plan_.head.size()) {
        const bool more = !plan_.body.empty();
        ssize_t n = ::send(fd, plan_.head.data() + headSent_, plan_.head.size() - headSent_,
                           MSG_NOSIGNAL | (more ? MSG_MORE : 0));
        if (n > 0) {
            headSent_ += size_t(n);
            Extend();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitWritable();
            return;
        } else {
            Finished(false, std::string("sending failed: ") + std::strerror(errno));
            return;
        }
    }
    while (piece_ < plan_.body.size()) {
        const BodyPiece& piece = plan_.body[piece_];
        if (pieceSent_ == piece.length) {
            ++piece_;
            pieceSent_ = 0;
            continue;
        }
        ssize_t n;
        if (piece.fromFile) {
            off_t offset = off_t(piece.fileOffset + pieceSent_);
            uint64_t left = piece.length - pieceSent_;
            n = ::sendfile(fd, release_->fd(), &offset, size_t(left < kSendfileChunk ? left : kSendfileChunk));
            if (n == 0) {
                Finished(false, "the release's file ended early: it was changed in place instead of replaced");
                return;
            }
        } else {
            const bool more = piece_ + 1 < plan_.body.size();
            n = ::send(fd, piece.bytes.data() + pieceSent_, size_t(piece.length - pieceSent_),
                       MSG_NOSIGNAL | (more ? MSG_MORE : 0));
        }
        if (n > 0) {
            pieceSent_ += uint64_t(n);
            bodySent_ += uint64_t(n);
            Extend();
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            WaitWritable();
            return;
        } else {
            Finished(false, std::string("sending failed: ") + std::strerror(errno));
            return;
        }
    }
    Finished(true, "");
}

void Session::WaitWritable() {
    socket_.async_wait(tcp::socket::wait_write, [self = shared_from_this()](error_code ec) {
        if (self->closed_)
            return;
        if (ec) {
            self->Finished(false, "the connection failed: " + ec.message());
            return;
        }
        self->Send();
    });
}

void Session::Finished(bool complete, const std::string& failure) {
    record_.sent = bodySent_;
    record_.complete = complete && headSent_ == plan_.head.size() && bodySent_ == BodySize(plan_.body);
    record_.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    if (!failure.empty())
        record_.detail = record_.detail.empty() ? failure : record_.detail + "; " + failure;
    server_.log().Request(record_);
    const bool keepAlive = complete && plan_.keepAlive;
    responding_ = false;
    release_.reset();
    plan_ = PlannedResponse();
    if (keepAlive)
        ReadRequest();
    else if (complete)
        Linger();
    else
        Close();
}

// After a last response: no more sending, and what the client still sends
// is read and dropped for a moment, so that closing does not reset the
// connection before the client has read the answer (a refused request may
// have left unread bytes behind).
void Session::Linger() {
    error_code ec;
    socket_.shutdown(tcp::socket::shutdown_send, ec);
    deadline_ = Clock::now() + std::min<std::chrono::milliseconds>(timeout_, std::chrono::seconds(2));
    Watch();  // re-armed for the earlier deadline
    Drain();
}

void Session::Drain() {
    buffer_.clear();
    socket_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](error_code ec, size_t) {
        if (self->closed_)
            return;
        if (ec) {
            self->Close();
            return;
        }
        self->Drain();
    });
}

int Server::Run() {
    Listen();
    signals_.async_wait([this](error_code ec, int signal) {
        if (ec)
            return;
        log_.Event(std::string("stopping (") + (signal == SIGTERM ? "SIGTERM" : "SIGINT") + ")");
        error_code ignored;
        acceptor_.close(ignored);
        acceptPause_.cancel();
        io_.stop();
    });
    WaitForReload();
    Poll();
    Accept();
    std::vector<std::thread> others;
    for (unsigned i = 1; i < threads_; ++i)
        others.emplace_back([this] { io_.run(); });
    io_.run();
    for (std::thread& t : others)
        t.join();
    return 0;
}

void Server::Listen() {
    error_code ec;
    tcp::resolver resolver(io_);
    auto endpoints = resolver.resolve(options_.host, options_.port, tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || endpoints.empty())
        throw PInternalError(("cannot listen on " + options_.host + ":" + options_.port + ": " + ec.message()).c_str());
    tcp::endpoint endpoint = endpoints.begin()->endpoint();
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        acceptor_.bind(endpoint, ec);
    if (!ec)
        acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        throw PInternalError(("cannot listen on " + options_.host + ":" + options_.port + ": " + ec.message()).c_str());
    tcp::endpoint bound = acceptor_.local_endpoint(ec);
    std::string host = bound.address().to_string();
    if (bound.address().is_v6())
        host = "[" + host + "]";
    log_.Event("listening on http://" + host + ":" + std::to_string(bound.port()) + "/" + source_.Current()->name() +
               " (release " + source_.Current()->id() + ", " + std::to_string(threads_) + " threads, at most " +
               std::to_string(options_.maxConnections) + " connections)");
}

void Server::Accept() {
    acceptor_.async_accept(asio::make_strand(io_), [this](error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (!ec) {
            Turn(std::move(socket));
            Accept();
            return;
        }
        // Out of descriptors or memory: the failure would come back at once,
        // so accepting pauses for a moment instead of spinning.
        log_.Event("accept failed: " + ec.message() + "; pausing 100 ms");
        acceptPause_.expires_after(std::chrono::milliseconds(100));
        acceptPause_.async_wait([this](error_code waited) {
            if (!waited)
                Accept();
        });
    });
}

// A new connection: served, or answered 503 and closed when there are too many.
void Server::Turn(tcp::socket socket) {
    if (connections_.fetch_add(1) >= options_.maxConnections) {
        connections_--;
        static const char kBusy[] =
            "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nRetry-After: 5\r\nContent-Length: 0\r\n\r\n";
        // Best effort on a fresh socket, which has room for it; never waited for.
        (void)::send(socket.native_handle(), kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        error_code ignored;
        socket.close(ignored);
        const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(Clock::now().time_since_epoch()).count();
        int64_t last = lastLimitNote_.load();
        if (now - last >= 10 && lastLimitNote_.compare_exchange_strong(last, now))
            log_.Event("connection limit (" + std::to_string(options_.maxConnections) +
                       ") reached: new connections answered 503");
        return;
    }
    std::make_shared<Session>(std::move(socket), *this)->Start();
}

void Server::Poll() {
    poll_.expires_after(options_.pollInterval);
    poll_.async_wait([this](error_code ec) {
        if (ec)
            return;
        source_.Check(false);
        Poll();
    });
}

void Server::WaitForReload() {
    reload_.async_wait([this](error_code ec, int) {
        if (ec)
            return;
        log_.Event("SIGHUP: looking at the release again");
        source_.Check(true);
        WaitForReload();
    });
}

}  // namespace

int RunTagServer(const ServeOptions& options, ReleaseSource& source, AccessLog& log) {
    Server server(options, source, log);
    return server.Run();
}
