// One read request on a device handle, and the wait for it.
//
// Every reader issues 512-byte requests with an overlapped record and waits
// on the record's event when a request does not complete at once. A request
// given up on is cancelled and then reaped, so that the OS is done with the
// chunk and the record before either is reused or goes out of scope.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qov {

// An event handle that is closed when it goes out of scope.
class ScopedEvent {
public:
    explicit ScopedEvent(Handle h) : handle_(h) {}
    ~ScopedEvent();
    ScopedEvent(const ScopedEvent&) = delete;
    ScopedEvent& operator=(const ScopedEvent&) = delete;
    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != kNullHandle; }

private:
    Handle handle_;
};

// A device handle that the application passed in (to a USB chunk reader or
// UsbRead_judge), taken in from the backend for the length of one call.
class CallerHandle {
public:
    explicit CallerHandle(void* value)
        : handle_(os().adoptCallerHandle(reinterpret_cast<std::intptr_t>(value))) {}
    ~CallerHandle() { os().releaseCallerHandle(handle_); }
    CallerHandle(const CallerHandle&) = delete;
    CallerHandle& operator=(const CallerHandle&) = delete;
    Handle get() const { return handle_; }

private:
    Handle handle_;
};

struct ReadRequest {
    bool completed = false;  // finished within the read call
    bool pending = false;    // queued: the OS still owns the chunk and the record
    std::uint32_t count = 0; // bytes of a request that completed at once
};

enum class WaitOutcome {
    Completed,   // the request finished; the count is its byte count
    TimedOut,    // cancelled and reaped; count 0
    WaitFailed,  // cancelled and reaped; count 0
};

// Issues one read request of `size` bytes into `chunk` with `ov`.
ReadRequest issueRead(Handle h, void* chunk, std::uint32_t size, Overlapped& ov);

// Waits up to `waitMs` on the record's event for a request that did not
// complete at once, and collects its byte count into *count.
WaitOutcome awaitRead(Handle h, Overlapped& ov, const ReadRequest& request, std::uint32_t waitMs,
                      std::uint32_t* count);

// Cancels the request on the handle and, when it was queued, waits until
// the OS has let go of it.
void cancelRead(Handle h, Overlapped& ov, const ReadRequest& request);

// Delays and time-outs given as int by callers, bounded as wait_bounds.h
// says (a negative time-out is the default 5,000 ms, never an endless wait).
std::uint32_t delayMs(int ms);
std::uint32_t waitMs(int ms);

}  // namespace qov
