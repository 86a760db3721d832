// `tinfo serve` end to end: the tool started on a loopback port with a
// signed installer, spoken to over sockets. Every tagged download must be
// byte for byte what `tinfo stamp` makes from the same lines; ranges,
// HEAD, refusals, the public-endpoint limits and a release swapped in
// mid-download are checked against the running server.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "peimage.h"
#include "test_paths.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::string Lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int Shell(const std::string& command, std::string* output = nullptr) {
    std::string out = std::filesystem::temp_directory_path() / ("tag-server-sh-" + std::to_string(getpid()));
    int status = std::system((command + " >'" + out + "' 2>&1").c_str());
    if (output)
        *output = ReadWholeFileOrEmpty(out);
    std::remove(out.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A connection to the server under test; every receive gives up after 10 s,
// so a server that stops answering fails the test instead of hanging it.
class Connection {
public:
    explicit Connection(int port, int receiveBuffer = 0) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        timeval limit{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return connected_; }
    bool Send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }
    // Up to count bytes more (fewer at the end of the stream or a timeout).
    std::string Receive(size_t count) {
        std::string out;
        while (out.size() < count) {
            char chunk[65536];
            size_t want = std::min(sizeof chunk, count - out.size());
            ssize_t n = recv(fd_, chunk, want, 0);
            if (n <= 0)
                break;
            out.append(chunk, size_t(n));
        }
        return out;
    }
    // Everything until the server closes (or 10 s pass without a byte).
    std::string ReceiveAll() { return Receive(size_t(-1)); }
    // Whether the server closed the connection (a read gives end of stream).
    bool ClosedByServer() {
        char c;
        return recv(fd_, &c, 1, 0) == 0;
    }

    struct Reply {
        int status = 0;
        std::map<std::string, std::string> fields;  // names in lower case
        std::string body;
        bool complete = false;  // the whole body announced was received
    };
    // Reads one response; a HEAD's (head) has no body whatever it announces.
    Reply ReadReply(bool head = false) {
        Reply reply;
        while (header_.find("\r\n\r\n") == std::string::npos) {
            std::string more = Receive(1);
            if (more.empty())
                return reply;
            header_ += more;
        }
        size_t end = header_.find("\r\n\r\n");
        std::string head_text = header_.substr(0, end);
        reply.body = header_.substr(end + 4);
        header_.clear();
        size_t lineEnd = head_text.find("\r\n");
        std::string statusLine = head_text.substr(0, lineEnd);
        if (statusLine.size() >= 12)
            reply.status = std::atoi(statusLine.c_str() + 9);
        size_t at = lineEnd == std::string::npos ? head_text.size() : lineEnd + 2;
        while (at < head_text.size()) {
            size_t next = head_text.find("\r\n", at);
            if (next == std::string::npos)
                next = head_text.size();
            std::string line = head_text.substr(at, next - at);
            size_t colon = line.find(':');
            if (colon != std::string::npos)
                reply.fields[Lower(line.substr(0, colon))] = line.substr(line.find_first_not_of(' ', colon + 1));
            at = next + 2;
        }
        size_t length = reply.fields.count("content-length") ? std::stoull(reply.fields["content-length"]) : 0;
        if (head)
            length = 0;
        if (reply.body.size() < length)
            reply.body += Receive(length - reply.body.size());
        reply.complete = reply.body.size() == length;
        return reply;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string header_;
};

std::string Get(const std::string& target, const std::string& fields = "", const char* method = "GET") {
    return std::string(method) + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + fields + "\r\n";
}

// A tinfo serve process; stopped with SIGTERM when the object ends.
class TagServer {
public:
    TagServer(const std::string& installer, const std::string& log, std::vector<std::string> options = {})
        : log_(log) {
        std::vector<std::string> args = {ToolPath("tinfo"), "serve", installer, "--listen", "127.0.0.1:0"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (log + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        // The log names the port once the socket listens.
        for (int i = 0; i < 200 && pid_ > 0 && port_ == 0; ++i) {
            std::string text = ReadWholeFileOrEmpty(log);
            size_t at = text.find("listening on http://127.0.0.1:");
            if (at != std::string::npos)
                port_ = std::atoi(text.c_str() + at + 30);
            else
                std::this_thread::sleep_for(25ms);
        }
    }
    ~TagServer() { Stop(); }
    int port() const { return port_; }
    std::string log() const { return ReadWholeFileOrEmpty(log_); }
    std::string errors() const { return ReadWholeFileOrEmpty(log_ + ".err"); }
    // Stops the server; its exit code (-1 when killed otherwise).
    int Stop() {
        if (pid_ <= 0)
            return exit_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exit_;
    }

private:
    std::string log_;
    pid_t pid_ = -1;
    int port_ = 0;
    int exit_ = -1;
};

class TagServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string stub = InstallerStubPath();
        ASSERT_TRUE(std::filesystem::exists(stub)) << "build the Windows tree first (tools/build.sh)";
        dir_ = ScratchFolder("tag-server");
        ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Test -keyout '" + dir_ +
                        "/key.pem' -out '" + dir_ + "/cert.pem'"),
                  0);
        installer_ = dir_ + "/MorvanditeInstall.exe";
        std::filesystem::copy_file(stub, installer_);
        Sign(installer_);
    }
    void Sign(const std::string& path) {
        std::string out;
        ASSERT_EQ(Shell("'" + SourcePath("tools/sign.sh") + "' --cert '" + dir_ + "/cert.pem' --key '" + dir_ +
                            "/key.pem' '" + path + "'",
                        &out),
                  0)
            << out;
    }
    // What tinfo stamp makes of installer with these lines.
    std::string Stamped(const std::string& installer, const std::string& lines) {
        static int count = 0;
        std::string linesFile = dir_ + "/lines" + std::to_string(++count) + ".txt";
        std::string out = dir_ + "/stamped" + std::to_string(count) + ".exe";
        WriteWholeFile(linesFile, lines);
        std::string said;
        EXPECT_EQ(Shell("'" + ToolPath("tinfo") + "' stamp '" + installer + "' '" + linesFile + "' '" + out + "'",
                        &said),
                  0)
            << said;
        return ReadWholeFileOrEmpty(out);
    }
    Connection::Reply Fetch(int port, const std::string& request, bool head = false) {
        Connection c(port);
        EXPECT_TRUE(c.connected());
        EXPECT_TRUE(c.Send(request));
        return c.ReadReply(head);
    }

    std::string dir_, installer_;
};

TEST_F(TagServerTest, ParallelTaggedDownloadsAreWhatStampMakes) {
    TagServer server(installer_, dir_ + "/serve.log");
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    const int kDownloads = 8;
    std::vector<Connection::Reply> replies(kDownloads + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i <= kDownloads; ++i)
        threads.emplace_back([&, i] {
            // The last one asks for no tag at all.
            std::string target = i < kDownloads ? "/MorvanditeInstall.exe?SRC=partner" + std::to_string(i) + "&CAMP=winter"
                                                : "/MorvanditeInstall.exe";
            replies[i] = Fetch(server.port(), Get(target));
        });
    for (std::thread& t : threads)
        t.join();
    const std::string plain = ReadWholeFile(installer_);
    std::set<std::string> etags;
    for (int i = 0; i <= kDownloads; ++i) {
        const Connection::Reply& r = replies[i];
        ASSERT_EQ(r.status, 200) << i << " " << r.body;
        ASSERT_TRUE(r.complete) << i;
        std::string expected = i < kDownloads
                                   ? Stamped(installer_, "SRC=partner" + std::to_string(i) + "\nCAMP=winter\n")
                                   : plain;
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(r.body == expected) << "download " << i << " differs from tinfo stamp's copy";
        EXPECT_EQ(r.fields.at("content-length"), std::to_string(expected.size()));
        EXPECT_EQ(r.fields.at("content-disposition"), "attachment; filename=\"MorvanditeInstall.exe\"");
        EXPECT_EQ(r.fields.at("accept-ranges"), "bytes");
        etags.insert(r.fields.at("etag"));
    }
    EXPECT_EQ(etags.size(), size_t(kDownloads + 1)) << "one ETag per tag";
    // A download is a signed installer that verifies and carries its tag.
    WriteWholeFile(dir_ + "/download3.exe", replies[3].body);
    std::string said;
    EXPECT_EQ(Shell("osslsigncode verify -CAfile '" + dir_ + "/cert.pem' -in '" + dir_ + "/download3.exe'", &said), 0)
        << said;
    EXPECT_EQ(Shell("'" + ToolPath("tinfo") + "' read '" + dir_ + "/download3.exe'", &said), 0);
    EXPECT_EQ(said, "SRC=partner3\nCAMP=winter\n");

    // One log line per download, with its tag.
    EXPECT_EQ(server.Stop(), 0);
    std::string log = server.log();
    for (int i = 0; i < kDownloads; ++i)
        EXPECT_NE(log.find("200 " + std::to_string(replies[i].body.size()) + "/" +
                           std::to_string(replies[i].body.size()) + " complete"),
                  std::string::npos);
    for (int i = 0; i < kDownloads; ++i)
        EXPECT_NE(log.find("tag=SRC=partner" + std::to_string(i) + "&CAMP=winter"), std::string::npos) << log;
}

TEST_F(TagServerTest, AResumedDownloadGetsTheSameBytes) {
    TagServer server(installer_, dir_ + "/serve.log");
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    const std::string target = "/MorvanditeInstall.exe?SRC=partner7&THM=midnight";
    const std::string whole = Stamped(installer_, "SRC=partner7\nTHM=midnight\n");
    ASSERT_GT(whole.size(), 200000u);

    Connection::Reply first = Fetch(server.port(), Get(target, "Range: bytes=0-99999\r\n"));
    ASSERT_EQ(first.status, 206);
    EXPECT_EQ(first.fields.at("content-range"), "bytes 0-99999/" + std::to_string(whole.size()));
    const std::string etag = first.fields.at("etag");
    // The rest, as a download client resumes: If-Range names the copy it has.
    Connection::Reply rest =
        Fetch(server.port(), Get(target, "Range: bytes=100000-\r\nIf-Range: " + etag + "\r\n"));
    ASSERT_EQ(rest.status, 206);
    EXPECT_EQ(rest.fields.at("etag"), etag);
    EXPECT_TRUE(first.body + rest.body == whole) << "the two parts do not make the stamped copy";

    // The last bytes hold the computed tail: a suffix range ends with them.
    Connection::Reply tail = Fetch(server.port(), Get(target, "Range: bytes=-3000\r\n"));
    ASSERT_EQ(tail.status, 206);
    EXPECT_TRUE(tail.body == whole.substr(whole.size() - 3000));
    // A range across the file's end is cut there.
    Connection::Reply across = Fetch(server.port(), Get(target, "Range: bytes=" + std::to_string(whole.size() - 10) +
                                                                    "-" + std::to_string(whole.size() + 10) + "\r\n"));
    ASSERT_EQ(across.status, 206);
    EXPECT_EQ(across.body, whole.substr(whole.size() - 10));
    // Another copy's If-Range: the whole of this one, not a splice of both.
    Connection::Reply other = Fetch(server.port(), Get(target, "Range: bytes=100000-\r\nIf-Range: \"another\"\r\n"));
    EXPECT_EQ(other.status, 200);
    EXPECT_TRUE(other.body == whole);
    // Past the end: 416 with the size to resume against.
    Connection::Reply past = Fetch(server.port(), Get(target, "Range: bytes=" + std::to_string(whole.size()) + "-\r\n"));
    EXPECT_EQ(past.status, 416);
    EXPECT_EQ(past.fields.at("content-range"), "bytes */" + std::to_string(whole.size()));
    // The same ETag again: nothing to send.
    Connection::Reply same = Fetch(server.port(), Get(target, "If-None-Match: " + etag + "\r\n"));
    EXPECT_EQ(same.status, 304);
    EXPECT_TRUE(same.body.empty());
}

TEST_F(TagServerTest, HeadAnnouncesWhatGetSendsAndSendsNothing) {
    TagServer server(installer_, dir_ + "/serve.log");
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    const std::string target = "/MorvanditeInstall.exe?SRC=partner7";
    Connection c(server.port());
    ASSERT_TRUE(c.Send(Get(target, "", "HEAD")));
    Connection::Reply head = c.ReadReply(true);
    ASSERT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    // The same connection goes on with a GET: had the HEAD sent a body, this
    // reply's status line would be the body's bytes.
    ASSERT_TRUE(c.Send(Get(target, "X-Forwarded-For: 203.0.113.9, \"x\"\r\n")));
    Connection::Reply get = c.ReadReply();
    ASSERT_EQ(get.status, 200);
    EXPECT_EQ(head.fields.at("content-length"), get.fields.at("content-length"));
    EXPECT_EQ(head.fields.at("etag"), get.fields.at("etag"));
    EXPECT_EQ(head.fields.at("content-disposition"), get.fields.at("content-disposition"));
    EXPECT_EQ(get.body.size(), std::stoull(get.fields.at("content-length")));
    EXPECT_TRUE(get.body == Stamped(installer_, "SRC=partner7\n"));
    // Behind a proxy the log keeps what the proxy says of the client, escaped.
    server.Stop();
    EXPECT_NE(server.log().find("tag=SRC=partner7 for=203.0.113.9, \\x22x\\x22"), std::string::npos) << server.log();
}

TEST_F(TagServerTest, BadTagsOtherPathsAndOtherMethodsAreRefused) {
    TagServer server(installer_, dir_ + "/serve.log");
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    for (const char* query : {"?SRC", "?SRC=%zz", "?=x", "?SRC=a&%3D"}) {
        Connection::Reply r = Fetch(server.port(), Get(std::string("/MorvanditeInstall.exe") + query));
        EXPECT_EQ(r.status, 400) << query;
        EXPECT_EQ(r.body.rfind("tag refused: ", 0), 0u) << query << ": " << r.body;
        EXPECT_EQ(r.fields.count("etag"), 0u);
    }
    // Nothing but the one name reaches anything: no path from the URL is a file path.
    for (const char* target : {"/", "/morvanditeinstall.exe", "/MorvanditeInstall.exe/", "/../MorvanditeInstall.exe",
                               "/./MorvanditeInstall.exe", "//MorvanditeInstall.exe", "/key.pem", "/cert.pem",
                               "/%2e%2e/etc/passwd", "/MorvanditeInstall.exe%00", "*"}) {
        Connection::Reply r = Fetch(server.port(), Get(target));
        EXPECT_EQ(r.status, 404) << target;
        EXPECT_LT(r.body.size(), 200u) << target;
    }
    // The name percent-encoded is the name.
    EXPECT_EQ(Fetch(server.port(), Get("/Morvandite%49nstall.exe"), true).status, 200);
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS"}) {
        Connection::Reply r = Fetch(server.port(), Get("/MorvanditeInstall.exe", "", method));
        EXPECT_EQ(r.status, 405) << method;
        EXPECT_EQ(r.fields["allow"], "GET, HEAD");
    }
    server.Stop();
    EXPECT_NE(server.log().find("400 "), std::string::npos);
}

TEST_F(TagServerTest, OversizedAndMalformedRequestsCostOnlyTheirConnection) {
    TagServer server(installer_, dir_ + "/serve.log", {"--timeout", "1"});
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    // A header larger than the limit.
    Connection::Reply big = Fetch(server.port(), Get("/MorvanditeInstall.exe", "X-Filler: " + std::string(20000, 'a') + "\r\n"));
    EXPECT_EQ(big.status, 431);
    // Too many fields, each small.
    std::string fields;
    for (int i = 0; i < 100; ++i)
        fields += "X-F" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(Fetch(server.port(), Get("/MorvanditeInstall.exe", fields)).status, 431);
    EXPECT_EQ(Fetch(server.port(), Get("/MorvanditeInstall.exe?SRC=" + std::string(5000, 'a'))).status, 414);
    EXPECT_EQ(Fetch(server.port(), Get("/MorvanditeInstall.exe", "Content-Length: 5\r\n") + "hello").status, 413);
    EXPECT_EQ(Fetch(server.port(), Get("/MorvanditeInstall.exe", "Transfer-Encoding: chunked\r\n")).status, 413);
    EXPECT_EQ(Fetch(server.port(), "GARBAGE\r\n\r\n").status, 400);
    EXPECT_EQ(Fetch(server.port(), "GET /MorvanditeInstall.exe HTTP/1.1\r\nBad Field\r\n\r\n").status, 400);

    // A request that never ends is closed after the timeout; meanwhile, and
    // after, downloads go on.
    Connection slow(server.port());
    ASSERT_TRUE(slow.Send("GET /MorvanditeInstall.exe HTTP/1.1\r\nHost: x\r\n"));
    Connection::Reply meanwhile = Fetch(server.port(), Get("/MorvanditeInstall.exe?SRC=a"));
    EXPECT_EQ(meanwhile.status, 200);
    EXPECT_TRUE(meanwhile.complete);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(slow.ClosedByServer());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(Fetch(server.port(), Get("/MorvanditeInstall.exe"), true).status, 200);
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

TEST_F(TagServerTest, ConnectionsBeyondTheLimitAreTurnedAway) {
    TagServer server(installer_, dir_ + "/serve.log", {"--max-connections", "3"});
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    std::vector<std::unique_ptr<Connection>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<Connection>(server.port()));
        ASSERT_TRUE(held.back()->connected());
    }
    std::this_thread::sleep_for(200ms);  // all three accepted
    Connection extra(server.port());
    ASSERT_TRUE(extra.connected());
    EXPECT_NE(extra.ReceiveAll().find("503 Service Unavailable"), std::string::npos);
    // A held connection still works, and once one goes another is let in.
    ASSERT_TRUE(held[0]->Send(Get("/MorvanditeInstall.exe", "", "HEAD")));
    EXPECT_EQ(held[0]->ReadReply(true).status, 200);
    held.pop_back();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Fetch(server.port(), Get("/MorvanditeInstall.exe"), true).status, 200);
}

TEST_F(TagServerTest, ARefusedFileIsNotServed) {
    const std::string unsigned_ = dir_ + "/Unsigned.exe";
    std::filesystem::copy_file(InstallerStubPath(), unsigned_);
    std::string out;
    EXPECT_EQ(Shell("'" + ToolPath("tinfo") + "' serve '" + unsigned_ + "' --listen 127.0.0.1:0", &out), 1);
    EXPECT_NE(out.find("not a signed installer"), std::string::npos) << out;
    EXPECT_EQ(Shell("'" + ToolPath("tinfo") + "' serve '" + dir_ + "/missing.exe' --listen 127.0.0.1:0", &out), 1);
    EXPECT_EQ(Shell("'" + ToolPath("tinfo") + "' serve '" + installer_ + "'", &out), 2);
    EXPECT_EQ(Shell("'" + ToolPath("tinfo") + "' serve '" + installer_ + "' --listen nowhere", &out), 2);
}

// A new release moved over the served file while a download of the old one
// is in flight: that download ends with the old release's bytes, the next
// one gets the new release and its ETag. The releases are made large
// (their resources moved several MB down the file) so that the first
// download is still reading the old file when the new one arrives.
TEST_F(TagServerTest, AReleaseSwappedMidDownloadBreaksNothing) {
    const std::string unsignedStub = ReadWholeFile(InstallerStubPath());
    auto makeRelease = [&](const std::string& path, uint32_t offset) {
        WriteWholeFile(path, PeImage(unsignedStub).WithResourcesAt(offset));
        Sign(path);
    };
    const std::string served = dir_ + "/Setup.exe", next = dir_ + "/Setup.next.exe";
    makeRelease(served, 24u << 20);
    makeRelease(next, 20u << 20);
    const std::string oldCopy = Stamped(served, "SRC=partner7\n");
    const std::string newCopy = Stamped(next, "SRC=partner7\n");
    ASSERT_NE(oldCopy, newCopy);

    TagServer server(served, dir_ + "/serve.log", {"--poll", "1"});
    ASSERT_NE(server.port(), 0) << server.log() << server.errors();
    const std::string target = "/Setup.exe?SRC=partner7";
    Connection inFlight(server.port(), 16384);  // a small window: the server waits on this client
    ASSERT_TRUE(inFlight.Send(Get(target)));
    std::string begun = inFlight.Receive(256 * 1024);
    ASSERT_EQ(begun.size(), 256u * 1024);
    const size_t bodyStart = begun.find("\r\n\r\n") + 4;
    const std::string oldEtag = begun.substr(begun.find("ETag: ") + 6, begun.find("\r\n", begun.find("ETag: ")) - begun.find("ETag: ") - 6);

    std::filesystem::rename(next, served);
    // The server looks every second; give it a few.
    Connection::Reply fresh;
    for (int i = 0; i < 50; ++i) {
        fresh = Fetch(server.port(), Get(target, "", "HEAD"), true);
        if (fresh.status == 200 && fresh.fields["etag"] != oldEtag)
            break;
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_NE(fresh.fields["etag"], oldEtag) << "the new release was not picked up\n" << server.log();
    Connection::Reply nextDownload = Fetch(server.port(), Get(target));
    ASSERT_EQ(nextDownload.status, 200);
    EXPECT_TRUE(nextDownload.body == newCopy) << "the download after the swap is not the new release's copy";
    EXPECT_EQ(nextDownload.fields["etag"], fresh.fields["etag"]);

    std::string rest = inFlight.Receive(oldCopy.size() - (begun.size() - bodyStart));
    EXPECT_TRUE(begun.substr(bodyStart) + rest == oldCopy)
        << "the download in flight did not end with the old release's bytes (" << rest.size() << " more bytes)";
    // A client that leaves mid-download costs its connection only, and its
    // log line says how far it got.
    {
        Connection leaving(server.port(), 16384);
        ASSERT_TRUE(leaving.Send(Get(target)));
        ASSERT_EQ(leaving.Receive(65536).size(), 65536u);
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Fetch(server.port(), Get(target, "", "HEAD"), true).status, 200);
    EXPECT_EQ(server.Stop(), 0);
    const std::string log = server.log();
    EXPECT_NE(log.find("now served"), std::string::npos);
    EXPECT_NE(log.find(" partial "), std::string::npos) << log;
}

}  // namespace
