#include "workbench_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "bounded_pool.h"

namespace qovemu {

namespace {

// What the handlers of the request on this thread asked for.
thread_local bool closeRequested = false;
thread_local const DeadlineStream* currentStream = nullptr;

// Accepting only hands the connection to the waiting room, so it runs on
// the accepting thread itself.
class InlineQueue : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

// Waits up to `ms` for more bytes of the connection's next request and adds
// what came; false when the client closed or the connection failed.
bool readMore(int fd, std::string& bytes, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return true;
    char buf[4096];
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
    if (n > 0) bytes.append(buf, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

WorkbenchServer::WorkbenchServer(ServingLimits limits)
    : limits_(limits),
      pool_(std::make_unique<BoundedPool>(limits.threads, limits.queue)),
      room_(limits.waiting, [this](ReadyConnection c) {
          pool_->enqueue([this, c = std::move(c)]() mutable { serve(std::move(c)); });
      }) {
    new_task_queue = [] { return new InlineQueue; };
    // What the library's answers announce in their Keep-Alive header.
    set_keep_alive_max_count(limits.requestsPerConnection);
    set_keep_alive_timeout(std::max(1, limits.waiting.idleMs / 1000));
}

WorkbenchServer::~WorkbenchServer() { stopServing(); }

bool WorkbenchServer::startServing(std::string& error) {
    // The library listens with a backlog of 5: several clients connecting at
    // once lost their SYN and came 1 s later. Listening again only widens it.
    if (svr_sock_ != INVALID_SOCKET) ::listen(svr_sock_, 128);
    serving_ = room_.start(error);
    return serving_;
}

void WorkbenchServer::stopServing() {
    stopping_ = true;
    room_.stop();
    pool_->shutdown();
}

void WorkbenchServer::closeAfterAnswer(httplib::Response& res) {
    if (res.get_header_value("Connection") != "close") res.set_header("Connection", "close");
    closeRequested = true;
}

bool WorkbenchServer::requestTimedOut() { return currentStream && currentStream->timedOut(); }

bool WorkbenchServer::process_and_close_socket(socket_t sock) {
    room_.admit(sock, std::string(), 0);
    return true;
}

void WorkbenchServer::serve(ReadyConnection c) {
    DeadlineStream stream(c.fd, std::move(c.bytes), stopping_);
    HttpClock::time_point readBy = c.readBy;
    for (std::size_t served = c.served + 1;; ++served) {
        if (stopping_) break;
        stream.begin(readBy, limits_.waiting.requestMs);
        closeRequested = false;
        currentStream = &stream;
        bool closed = false;
        const bool last = served >= limits_.requestsPerConnection;
        const bool ok = process_request(stream, last, closed, nullptr);
        currentStream = nullptr;
        if (ok && closeRequested) return room_.drain(c.fd);
        if (!ok || closed || last) break;
        std::string rest = stream.takePending();
        if (!headComplete(rest) && !readMore(c.fd, rest, limits_.nextRequestMs)) break;
        if (!headComplete(rest)) return room_.admit(c.fd, std::move(rest), served);
        // The next request is already in (pipelined, or sent at once): served on this thread.
        readBy = HttpClock::now() + std::chrono::milliseconds(limits_.waiting.requestMs);
        stream.setPending(std::move(rest));
    }
    shutdown(c.fd, SHUT_RDWR);
    close(c.fd);
}

}  // namespace qovemu
