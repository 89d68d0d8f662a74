// qovemu's HTTP connections against a live qovemu: clients that trickle
// their requests are cut at the request's deadline and hold no one else up,
// a refused body closes its connection at once, kept-alive and pipelined
// requests are still served on one connection, and a Range cuts only a
// label's bytes.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "workbench_fixture.h"

namespace qovemu::test {
namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// Sends one more byte to each connection every 100 ms until destroyed.
class Trickle {
public:
    explicit Trickle(std::vector<int> fds) : fds_(std::move(fds)) {
        thread_ = std::thread([this] {
            while (!stop_) {
                for (int fd : fds_) (void)send(fd, "a", 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    ~Trickle() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_) close(fd);
    }

private:
    std::vector<int> fds_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class WorkbenchHttp : public Workbench {
protected:
    // Time of one GET /printers on a new connection, -1 when it failed.
    long timedGet() const {
        const auto t = Clock::now();
        auto c = client();
        auto r = c.Get("/printers");
        return r && r->status == 200 ? msSince(t) : -1;
    }
    // Opens `n` connections that each sent `start`.
    std::vector<int> begun(int n, const std::string& start) const {
        std::vector<int> fds;
        for (int i = 0; i < n; ++i) {
            fds.push_back(connectTo(httpPort_));
            sendAll(fds.back(), start);
        }
        return fds;
    }
    // Every one of `fds` is answered 408 with a JSON error and closed
    // within [low, high] ms of `since`.
    static void expectCut(const std::vector<int>& fds, Clock::time_point since, long low, long high) {
        for (int fd : fds) {
            const std::string answer = readUntil(fd, "}", static_cast<int>(high + 500));
            EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 408") << answer;
            EXPECT_NE(answer.find("{\"error\":\"request not complete within 1000 ms\"}"), std::string::npos) << answer;
            EXPECT_GE(msUntilClosed(fd, 1000), 0);
            const long at = msSince(since);
            EXPECT_GE(at, low);
            EXPECT_LE(at, high);
        }
    }
};

TEST_F(WorkbenchHttp, TricklingClientsAreCutAtTheDeadlineAndHoldNoOneUpLonger) {
    start({"--printer", "a:0", "--http-threads", "2", "--http-timeout", "1000", "--http", "127.0.0.1:0"});
    const struct {
        const char* what;
        int clients;
        std::string start;
        long servedWithinMs;  // a request of another client meanwhile
    } cases[] = {
        // Three times as many as threads trickle their heads: they hold no thread.
        {"heads", 6, "GET /printers HTTP/1.1\r\nHost: x\r\nX-Slow: ", 300},
        // Bodies hold both threads, but only until the deadline.
        {"bodies", 2, "POST /render HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n", 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto since = Clock::now();
        const std::vector<int> fds = begun(c.clients, c.start);
        Trickle trickle(fds);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        for (int i = 0; i < 3; ++i) {
            const long ms = timedGet();
            EXPECT_GE(ms, 0);
            EXPECT_LT(ms, c.servedWithinMs) << "a request waited behind clients that trickle";
        }
        expectCut(fds, since, 900, 1600);
        EXPECT_LT(timedGet(), 300);
    }
}

TEST_F(WorkbenchHttp, BodiesOverTheCapGet413AndTheirConnectionClosesAtOnce) {
    start({"--printer", "a:0", "--max-body", "1024", "--http", "127.0.0.1:0"});
    const std::string head = "POST /render HTTP/1.1\r\nHost: x\r\n";
    const struct {
        const char* what;
        std::string request;
        const char* error;
    } cases[] = {
        {"announced, none sent", head + "Content-Length: 100000\r\n\r\n",
         "{\"error\":\"request body too large (at most 1024 bytes)\"}"},
        {"announced, part sent", head + "Content-Length: 100000\r\n\r\n" + std::string(3000, 'x'),
         "{\"error\":\"request body too large (at most 1024 bytes)\"}"},
        {"chunked past the cap", head + "Transfer-Encoding: chunked\r\n\r\n800\r\n" + std::string(0x800, 'y') + "\r\n",
         "{\"error\":\"request body too large (at most 1024 bytes)\"}"},
        {"a PUT's body past the cap", "PUT /printers/a/faults/paused HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n",
         "{\"error\":\"request body too large (at most 1024 bytes)\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int fd = connectTo(httpPort_);
        const auto t = Clock::now();
        sendAll(fd, c.request);
        const std::string answer = readUntil(fd, "}", 2000);
        EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 413") << answer;
        EXPECT_NE(answer.find("Content-Type: application/json\r\n"), std::string::npos) << answer;
        EXPECT_NE(answer.find(c.error), std::string::npos) << answer;
        const int closedIn = msUntilClosed(fd, 2000);
        EXPECT_GE(closedIn, 0);
        EXPECT_LT(msSince(t), 300) << "the 413's connection closed late";
        close(fd);
    }
    EXPECT_EQ(getJson("/printers/a")["status"], "READY");  // the PUT was not done
}

TEST_F(WorkbenchHttp, KeptAliveAndPipelinedRequestsAreServedOnOneConnection) {
    start({"--printer", "a:0", "--http", "127.0.0.1:0"});
    const int fd = connectTo(httpPort_);
    // Two at once, the second's answer ending in its name.
    sendAll(fd, "GET /printers/a HTTP/1.1\r\nHost: x\r\n\r\nGET /printers/second HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string answers = readUntil(fd, "second\"}", 2000);
    EXPECT_EQ(answers.find("HTTP/1.1 200"), 0u) << answers;
    EXPECT_NE(answers.find("\"name\":\"a\""), std::string::npos) << answers;
    EXPECT_NE(answers.find("HTTP/1.1 404"), std::string::npos) << answers;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the connection waits between requests
    sendAll(fd, "GET /printers HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(readUntil(fd, "]}", 2000).substr(0, 12), "HTTP/1.1 200");
    EXPECT_GE(msUntilClosed(fd, 1000), 0);
    close(fd);
}

TEST_F(WorkbenchHttp, ARangeCutsALabelsBytesAndNoOtherAnswer) {
    start({"--printer", "a:0", "--http", "127.0.0.1:0"});
    const int printer = connectTo(printerPort("a"));
    sendAll(printer, formJob() + labelJob("RANGE 1") + "~STATUS");
    EXPECT_NE(readUntil(printer, "END\r\n", 5000).find("LABELS PRINTED;1\r\n"), std::string::npos);
    close(printer);
    auto c = client();
    const auto job = c.Get("/printers/a/labels/1.txt");
    const auto png = c.Get("/printers/a/labels/1.png");
    ASSERT_TRUE(job && png);
    ASSERT_EQ(job->status, 200);
    ASSERT_GT(job->body.size(), 10u);
    const std::string n = std::to_string(job->body.size());
    const std::string last = std::to_string(job->body.size() - 1);

    const struct {
        const char* method;
        std::string path;
        const char* range;
        int status;
        std::string contentRange;  // empty: none
        std::string body;          // empty: the whole answer, as JSON
    } cases[] = {
        // Errors and JSON are never cut, whatever the Range.
        {"GET", "/ptxt", "bytes=05-", 404, "", "{\"error\":\"no such resource: GET /ptxt\"}"},
        {"GET", "/printers/nope", "bytes=3-5", 404, "", "{\"error\":\"no printer nope\"}"},
        {"GET", "/printers/a", "bytes=0-9", 200, "", ""},
        {"GET", "/printers/a/labels", "bytes=-4", 200, "", ""},
        {"GET", "/printers/a/labels/9.txt", "bytes=1-", 404, "", "{\"error\":\"no label 9 (not kept)\"}"},
        {"POST", "/render?dpi=72", "bytes=0-3", 400, "", ""},
        {"PUT", "/printers/a/faults/paused", "bytes=2-", 200, "", ""},
        {"DELETE", "/printers/a/faults/paused", "bytes=2-", 200, "", ""},
        // A Range the library cannot read is refused, its error whole.
        {"GET", "/printers", "bytes=0-1,5-2", 416, "", ""},
        // A label's bytes honour one range.
        {"GET", "/printers/a/labels/1.txt", "bytes=5-", 206, "bytes 5-" + last + "/" + n, job->body.substr(5)},
        {"GET", "/printers/a/labels/1.txt", "bytes=2-3", 206, "bytes 2-3/" + n, job->body.substr(2, 2)},
        {"GET", "/printers/a/labels/1.txt", "bytes=-4", 206, "bytes " + std::to_string(job->body.size() - 4) + "-" + last + "/" + n,
         job->body.substr(job->body.size() - 4)},
        {"GET", "/printers/a/labels/1.txt", "bytes=3-99999999", 206, "bytes 3-" + last + "/" + n, job->body.substr(3)},
        {"GET", "/printers/a/labels/1.png", "bytes=0-7", 206, "bytes 0-7/" + std::to_string(png->body.size()),
         "\x89PNG\r\n\x1a\n"},
        // Past the end: 416 saying how long the bytes are.
        {"GET", "/printers/a/labels/1.txt", "bytes=99999-", 416, "bytes */" + n, ""},
        // Several ranges: the whole, not one part per range.
        {"GET", "/printers/a/labels/1.txt", "bytes=0-1,4-5", 200, "", job->body},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.method) + " " + k.path + " Range: " + k.range);
        const httplib::Headers range{{"Range", k.range}};
        httplib::Result r = std::string(k.method) == "GET"    ? c.Get(k.path, range)
                            : std::string(k.method) == "POST" ? c.Post(k.path, range, std::string("x"), "text/plain")
                            : std::string(k.method) == "PUT"  ? c.Put(k.path, range, std::string(), "text/plain")
                                                              : c.Delete(k.path, range);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, k.status) << r->body;
        EXPECT_EQ(r->get_header_value("Content-Range"), k.contentRange);
        EXPECT_EQ(r->get_header_value("Content-Length"), std::to_string(r->body.size()));
        if (k.body.empty()) {
            EXPECT_EQ(r->get_header_value("Content-Type"), "application/json");
            const auto j = nlohmann::json::parse(r->body, nullptr, false);
            EXPECT_TRUE(j.is_object()) << r->body;
            EXPECT_EQ(j.contains("error"), k.status >= 400) << r->body;
        } else {
            EXPECT_EQ(r->body, k.body);
        }
    }
}

}  // namespace
}  // namespace qovemu::test
