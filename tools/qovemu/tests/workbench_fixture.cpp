#include "workbench_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qovemu::test {

using Clock = std::chrono::steady_clock;

int msUntilClosed(int fd, int ms) {
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return -1;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return -1;
        char buf[4096];
        if (read(fd, buf, sizeof buf) <= 0)
            return static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }
}

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        done += static_cast<std::size_t>(n);
    }
}

std::string formJob() {
    return "~CREATE;T;X\r\nSCALE;DOT;203;203\r\nALPHA\r\nAF1;16;POINT;100;30;20;20\r\nSTOP\r\nEND\r\n";
}

std::string labelJob(const std::string& text) { return "~EXECUTE;T;1\r\n~AF1;\"" + text + "\"\r\n~NORMAL\r\n"; }

// The child's output goes to a file, so that its log never fills a pipe
// that nobody reads.
std::string Workbench::logText() const {
    std::string text;
    char buf[4096];
    if (logFd_ < 0) return text;
    for (off_t at = 0;;) {
        const ssize_t n = pread(logFd_, buf, sizeof buf, at);
        if (n <= 0) return text;
        text.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
}

void Workbench::start(const std::vector<std::string>& args) {
    char path[] = "/tmp/qovemu-workbench-XXXXXX";
    logFd_ = mkstemp(path);
    ASSERT_GE(logFd_, 0);
    unlink(path);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
        dup2(logFd_, 1);
        dup2(logFd_, 2);
        std::vector<const char*> argv = {"qovemu"};
        for (const auto& a : args) argv.push_back(a.c_str());
        argv.push_back(nullptr);
        execv(QOVEMU_PROGRAM, const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::size_t h = std::string::npos;
    while (Clock::now() < deadline) {
        log_ = logText();
        h = log_.find("http listening 127.0.0.1:");
        if (h != std::string::npos && log_.find('\n', h) != std::string::npos) break;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(h, std::string::npos) << log_;
    httpPort_ = std::atoi(log_.c_str() + h + 25);
    std::size_t at = 0;
    while ((at = log_.find("printer ", at)) != std::string::npos) {
        const auto sp = log_.find(" listening 127.0.0.1:", at);
        if (sp == std::string::npos) break;
        ports_[log_.substr(at + 8, sp - at - 8)] = std::atoi(log_.c_str() + sp + 21);
        at = sp;
    }
    if (ports_.empty() && log_.compare(0, 20, "listening 127.0.0.1:") == 0)
        ports_["default"] = std::atoi(log_.c_str() + 20);
    ASSERT_GT(httpPort_, 0) << log_;
}

void Workbench::TearDown() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 500 && (done = waitpid(pid_, &status, WNOHANG)) == 0; ++i) usleep(10000);
        if (done == 0) {
            ADD_FAILURE() << "qovemu did not stop on SIGTERM";
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        } else if (done == pid_) {
            // A clean stop; under the sanitizers a report makes this fail too.
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << logText();
        }
    }
    if (logFd_ >= 0) close(logFd_);
}

int Workbench::printerPort(const std::string& name) const {
    auto it = ports_.find(name);
    return it == ports_.end() ? 0 : it->second;
}

httplib::Client Workbench::client() const {
    httplib::Client c("127.0.0.1", httpPort_);
    c.set_read_timeout(5, 0);
    c.set_connection_timeout(5, 0);
    return c;
}

nlohmann::json Workbench::getJson(const std::string& path) const {
    auto c = client();
    auto r = c.Get(path.c_str());
    if (!r) {
        ADD_FAILURE() << "GET " << path << " failed";
        return nullptr;
    }
    EXPECT_EQ(r->get_header_value("Content-Type"), "application/json") << path;
    return nlohmann::json::parse(r->body, nullptr, false);
}

int Workbench::put(const std::string& path) const {
    auto c = client();
    auto r = c.Put(path.c_str());
    return r ? r->status : -1;
}

int Workbench::del(const std::string& path) const {
    auto c = client();
    auto r = c.Delete(path.c_str());
    return r ? r->status : -1;
}

nlohmann::json Workbench::waitFor(const std::string& path, const std::function<bool(const nlohmann::json&)>& ok,
                                  int ms) const {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    nlohmann::json last;
    do {
        last = getJson(path);
        if (!last.is_discarded() && ok(last)) return last;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    ADD_FAILURE() << "waited in vain on " << path << ": " << last.dump();
    return last;
}

}  // namespace qovemu::test
