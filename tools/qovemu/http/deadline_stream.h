// One HTTP connection's socket as the HTTP library's stream, every wait
// bounded by its request's deadline rather than per read: a client that
// trickles its request a byte at a time is cut off when the request's time
// is up, not only when it stops for a whole time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include <httplib.h>

namespace qovemu {

using HttpClock = std::chrono::steady_clock;

class DeadlineStream : public httplib::Stream {
public:
    // `pending`: bytes of the connection already read (the request's head).
    // `stopping`: when set, every wait ends at once.
    DeadlineStream(int fd, std::string pending, const std::atomic<bool>& stopping);

    // A request begins: its bytes must have arrived by `readBy`; its answer
    // must be taken within `writeMs` of its first byte.
    void begin(HttpClock::time_point readBy, int writeMs);
    // Bytes read past the request just served (the start of the next one),
    // taken out, and put back when the next request is served here too.
    std::string takePending();
    void setPending(std::string bytes);
    bool timedOut() const { return timedOut_; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return fd_; }

private:
    // Waits for `events` until `deadline` (or stopping); false when it passed.
    bool wait(short events, HttpClock::time_point deadline) const;

    int fd_;
    std::string buffer_;
    std::size_t at_ = 0;  // next unread byte of buffer_
    const std::atomic<bool>& stopping_;
    HttpClock::time_point readBy_;
    HttpClock::time_point writeBy_;
    int writeMs_ = 0;
    bool writing_ = false;
    mutable bool timedOut_ = false;
};

}  // namespace qovemu
