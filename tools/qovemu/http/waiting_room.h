// Connections between requests wait here, all on one thread, until the head
// of their next request has come in whole; only then does a serving thread
// take them. A client that sends nothing, or trickles its request's head,
// holds no serving thread and is closed at its deadline.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "deadline_stream.h"

namespace qovemu {

struct WaitingLimits {
    int idleMs = 2000;                  // no request begun: closed after this
    int requestMs = 5000;               // from a request's first byte to its end
    std::size_t headBytes = 64u << 10;  // a request's line and headers
    std::size_t connections = 256;      // waiting at once; more are refused (503)
    int drainMs = 500;                  // a refused body is read and dropped this long,
    std::size_t drainBytes = 4u << 20;  // or this much, before the close
};

// A connection whose request head is complete.
struct ReadyConnection {
    int fd = -1;
    std::string bytes;                 // read so far: the head, perhaps some body
    HttpClock::time_point readBy;      // the request's deadline
    std::size_t served = 0;            // requests it had before this one
};

class WaitingRoom {
public:
    using Ready = std::function<void(ReadyConnection)>;
    WaitingRoom(WaitingLimits limits, Ready ready);
    ~WaitingRoom();
    WaitingRoom(const WaitingRoom&) = delete;
    WaitingRoom& operator=(const WaitingRoom&) = delete;

    bool start(std::string& error);
    // Closes every waiting connection; those admitted later are closed at once.
    void stop();

    // A connection between requests, `bytes` already read of its next one.
    void admit(int fd, std::string bytes, std::size_t served);
    // An answered connection whose client may still be sending (a body that
    // was refused unread): its answer is out and its sending side shut; what
    // the client still sends is dropped for a bounded time, so that it reads
    // the answer and the close instead of a reset, then it is closed.
    void drain(int fd);

    const WaitingLimits& limits() const { return limits_; }

private:
    struct Entry {
        std::string bytes;
        HttpClock::time_point deadline;
        HttpClock::time_point readBy;
        std::size_t served = 0;
        std::size_t dropped = 0;
        bool begun = false;
        bool draining = false;
    };

    void run();
    void receive(int fd, Entry& e);
    // Answers `status` without waiting, then drains the connection.
    void refuse(int fd, Entry& e, int status, const std::string& text);
    void forget(int fd);  // closes it and drops its entry

    const WaitingLimits limits_;
    Ready ready_;
    int epoll_ = -1;
    int wake_ = -1;
    std::mutex mutex_;
    std::vector<std::pair<int, Entry>> arriving_;
    bool stopped_ = false;
    std::atomic<std::size_t> count_{0};
    std::map<int, Entry> entries_;  // the room's thread's own
    std::thread thread_;
};

// True when `bytes` holds a whole request head (ended by an empty line).
bool headComplete(const std::string& bytes, std::size_t from = 0);

}  // namespace qovemu
