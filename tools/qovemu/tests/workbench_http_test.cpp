// qovemu's HTTP connections against a live qovemu: clients that trickle
// their requests are cut at the request's deadline and hold no one else up,
// a refused body closes its connection at once, and kept-alive and
// pipelined requests are still served on one connection.
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

}  // namespace
}  // namespace qovemu::test
