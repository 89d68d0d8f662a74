#include "deadline_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qovemu {

namespace {

// Large enough that the byte-wise reading of a request's lines rarely
// reaches the socket; the same size as the library's own buffer.
constexpr std::size_t kReadChunk = 4096;
// A stop is noticed within this even while a wait's deadline is far.
constexpr int kStopCheckMs = 100;

void addressOf(const sockaddr_storage& a, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

}  // namespace

DeadlineStream::DeadlineStream(int fd, std::string pending, const std::atomic<bool>& stopping)
    : fd_(fd), buffer_(std::move(pending)), stopping_(stopping) {}

void DeadlineStream::begin(HttpClock::time_point readBy, int writeMs) {
    readBy_ = readBy;
    writeMs_ = writeMs;
    writing_ = false;
    timedOut_ = false;
}

std::string DeadlineStream::takePending() {
    std::string rest = buffer_.substr(at_);
    buffer_.clear();
    at_ = 0;
    return rest;
}

void DeadlineStream::setPending(std::string bytes) {
    buffer_ = std::move(bytes);
    at_ = 0;
}

bool DeadlineStream::wait(short events, HttpClock::time_point deadline) const {
    for (;;) {
        if (stopping_) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - HttpClock::now()).count();
        if (left <= 0) {
            timedOut_ = true;
            return false;
        }
        pollfd p{fd_, events, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min<long long>(left, kStopCheckMs)));
        if (n > 0) return true;  // ready, or an error the next call reports
        if (n < 0 && errno != EINTR) return false;
    }
}

bool DeadlineStream::is_readable() const { return at_ < buffer_.size() || wait(POLLIN, readBy_); }

bool DeadlineStream::is_writable() const {
    return wait(POLLOUT, writing_ ? writeBy_ : HttpClock::now() + std::chrono::milliseconds(writeMs_));
}

ssize_t DeadlineStream::read(char* ptr, size_t size) {
    while (at_ == buffer_.size()) {
        buffer_.clear();
        at_ = 0;
        if (!wait(POLLIN, readBy_)) return -1;
        const bool direct = size >= kReadChunk;  // a body's large read goes straight in
        if (!direct) buffer_.resize(kReadChunk);
        const ssize_t n = recv(fd_, direct ? ptr : &buffer_[0], direct ? size : kReadChunk, MSG_DONTWAIT);
        const int error = errno;
        if (!direct) buffer_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n < 0 && (error == EAGAIN || error == EINTR)) continue;
        if (n <= 0 || direct) return n;
    }
    const std::size_t n = std::min(size, buffer_.size() - at_);
    std::memcpy(ptr, buffer_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t DeadlineStream::write(const char* ptr, size_t size) {
    if (!writing_) {
        writing_ = true;
        writeBy_ = HttpClock::now() + std::chrono::milliseconds(writeMs_);
    }
    for (;;) {
        if (!wait(POLLOUT, writeBy_)) return -1;
        const ssize_t n = send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EINTR)) return n;
    }
}

void DeadlineStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) addressOf(a, ip, port);
}

void DeadlineStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) addressOf(a, ip, port);
}

}  // namespace qovemu
