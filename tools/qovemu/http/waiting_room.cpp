#include "waiting_room.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdint>

namespace qovemu {

namespace {

const char* reason(int status) {
    switch (status) {
    case 408: return "Request Timeout";
    case 431: return "Request Header Fields Too Large";
    default: return "Service Unavailable";
    }
}

// An answer sent without waiting: the socket's buffer takes it whole.
void answerNow(int fd, int status, const std::string& text) {
    const std::string body = "{\"error\":\"" + text + "\"}";
    const std::string a = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) +
                          "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body;
    (void)send(fd, a.data(), a.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

bool headComplete(const std::string& bytes, std::size_t from) {
    return bytes.find("\r\n\r\n", from > 3 ? from - 3 : 0) != std::string::npos;
}

WaitingRoom::WaitingRoom(WaitingLimits limits, Ready ready) : limits_(limits), ready_(std::move(ready)) {}

WaitingRoom::~WaitingRoom() {
    stop();
    if (epoll_ >= 0) close(epoll_);
    if (wake_ >= 0) close(wake_);
}

bool WaitingRoom::start(std::string& error) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wake_;
    if (epoll_ < 0 || wake_ < 0 || epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev) != 0) {
        error = "cannot wait for HTTP connections: " + std::string(std::strerror(errno));
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void WaitingRoom::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
    }
    const std::uint64_t one = 1;
    if (wake_ >= 0) (void)::write(wake_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    for (auto& a : arriving_) close(a.first);
    arriving_.clear();
}

void WaitingRoom::admit(int fd, std::string bytes, std::size_t served) {
    const auto now = HttpClock::now();
    Entry e;
    e.served = served;
    e.begun = !bytes.empty();
    e.readBy = now + std::chrono::milliseconds(limits_.requestMs);
    e.deadline = e.begun ? e.readBy : now + std::chrono::milliseconds(limits_.idleMs);
    e.bytes = std::move(bytes);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ || count_ >= limits_.connections) {
        if (!stopped_) answerNow(fd, 503, "too many connections waiting");
        close(fd);
        return;
    }
    ++count_;
    arriving_.emplace_back(fd, std::move(e));
    const std::uint64_t one = 1;
    (void)::write(wake_, &one, sizeof one);
}

void WaitingRoom::drain(int fd) {
    shutdown(fd, SHUT_WR);
    Entry e;
    e.draining = true;
    e.deadline = HttpClock::now() + std::chrono::milliseconds(limits_.drainMs);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) {
        close(fd);
        return;
    }
    ++count_;  // over the limit if need be: it is on its way out
    arriving_.emplace_back(fd, std::move(e));
    const std::uint64_t one = 1;
    (void)::write(wake_, &one, sizeof one);
}

void WaitingRoom::forget(int fd) {
    epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    entries_.erase(fd);
    --count_;
}

void WaitingRoom::refuse(int fd, Entry& e, int status, const std::string& text) {
    answerNow(fd, status, text);
    shutdown(fd, SHUT_WR);
    e.draining = true;
    e.bytes.clear();
    e.bytes.shrink_to_fit();
    e.deadline = HttpClock::now() + std::chrono::milliseconds(limits_.drainMs);
}

void WaitingRoom::receive(int fd, Entry& e) {
    char buf[16384];
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) return forget(fd);  // the client closed, or the connection failed
    const auto size = static_cast<std::size_t>(n);
    if (e.draining) {
        e.dropped += size;
        if (e.dropped > limits_.drainBytes) forget(fd);
        return;
    }
    if (!e.begun) {
        e.begun = true;
        e.readBy = HttpClock::now() + std::chrono::milliseconds(limits_.requestMs);
        e.deadline = e.readBy;
    }
    const std::size_t from = e.bytes.size();
    e.bytes.append(buf, size);
    if (headComplete(e.bytes, from)) {
        ReadyConnection c{fd, std::move(e.bytes), e.readBy, e.served};
        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        entries_.erase(fd);
        --count_;
        ready_(std::move(c));
    } else if (e.bytes.size() > limits_.headBytes) {
        refuse(fd, e, 431, "request head over " + std::to_string(limits_.headBytes) + " bytes");
    }
}

void WaitingRoom::run() {
    epoll_event events[64];
    for (;;) {
        std::vector<std::pair<int, Entry>> arrived;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopped_) break;
            arrived.swap(arriving_);
        }
        for (auto& a : arrived) {
            epoll_event ev{};
            ev.events = EPOLLIN | EPOLLRDHUP;
            ev.data.fd = a.first;
            entries_[a.first] = std::move(a.second);
            if (epoll_ctl(epoll_, EPOLL_CTL_ADD, a.first, &ev) != 0) forget(a.first);
        }
        auto next = HttpClock::now() + std::chrono::seconds(1);
        for (const auto& e : entries_) next = std::min(next, e.second.deadline);
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(next - HttpClock::now()).count();
        const int n = epoll_wait(epoll_, events, 64, static_cast<int>(std::max<long long>(0, waitMs) + 1));
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wake_) {
                std::uint64_t count = 0;
                (void)::read(wake_, &count, sizeof count);
                continue;
            }
            auto it = entries_.find(fd);
            if (it != entries_.end()) receive(fd, it->second);
        }
        const auto now = HttpClock::now();
        for (auto it = entries_.begin(); it != entries_.end();) {
            const int fd = it->first;
            Entry& e = it->second;
            ++it;  // forget() erases the entry
            if (e.deadline > now) continue;
            if (e.draining || !e.begun) forget(fd);
            else refuse(fd, e, 408, "request not complete within " + std::to_string(limits_.requestMs) + " ms");
        }
    }
    for (auto& e : entries_) close(e.first);
    count_ -= entries_.size();
    entries_.clear();
}

}  // namespace qovemu
