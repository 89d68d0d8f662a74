#include "platform/posix/posix_io_request.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_time.h"

namespace qov::posix {

namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// What the serial time-outs make of one request.
struct Plan {
    bool immediate = false;    // return at once with what is there
    bool firstByte = false;    // return as soon as anything arrived
    std::int64_t total = -1;   // absolute deadline of the whole request, -1 none
    std::uint32_t interval = 0;  // allowed gap between bytes, 0 none
};

Plan planFor(const IoRequest& r, const FileObject& f) {
    Plan p;
    // A USB printer read without overlapped I/O ends after the USB wait,
    // with nothing when the printer stayed silent, as Windows ends it.
    if (f.kind == DeviceKind::Usb && !f.overlapped && !r.write) {
        p.total = r.startMs + kUsbSyncReadMs;
        return p;
    }
    if (f.kind != DeviceKind::Serial) return p;
    const CommTimeouts& t = f.timeouts;
    auto totalOf = [&](std::uint32_t mult, std::uint32_t constant) -> std::int64_t {
        if (mult == 0 && constant == 0) return -1;
        return r.startMs + static_cast<std::int64_t>(mult) * r.size + constant;
    };
    if (r.write) {
        p.total = totalOf(t.writeTotalMultiplier, t.writeTotalConstant);
        return p;
    }
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0) {
        p.immediate = true;
        return p;
    }
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == kMaxDword &&
        t.readTotalConstant > 0 && t.readTotalConstant < kMaxDword) {
        p.firstByte = true;
        p.total = r.startMs + t.readTotalConstant;
        return p;
    }
    p.total = totalOf(t.readTotalMultiplier, t.readTotalConstant);
    p.interval = t.readInterval == kMaxDword ? 0 : t.readInterval;
    return p;
}

std::int64_t earliest(std::int64_t a, std::int64_t b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

bool finish(IoRequest& r, std::uint32_t error) {
    r.complete = true;
    r.error = error;
    return true;
}

// Sleeps until `until` (monotonic ms, not -1).
void sleepUntil(std::int64_t until) {
    std::int64_t left = until - monotonicMs();
    if (left > 0) sleepMs(static_cast<std::uint32_t>(std::min<std::int64_t>(left, 1 << 30)));
}

// Waits for readiness until `until` (-1: no limit). EINTR just returns.
void waitReady(int fd, short events, std::int64_t until) {
    int timeout = -1;
    if (until >= 0) {
        std::int64_t left = until - monotonicMs();
        if (left <= 0) return;
        timeout = static_cast<int>(std::min<std::int64_t>(left, 1 << 30));
    }
    pollfd p{fd, events, 0};
    ::poll(&p, 1, timeout);
}

ssize_t transfer(IoRequest& r, const FileObject& f) {
    if (r.write) {
        const unsigned char* src = r.writeData.data() + r.done;
        std::size_t n = r.size - r.done;
        return r.useOffset ? ::pwrite(f.fd, src, n, static_cast<off_t>(r.offset + r.done))
                           : ::write(f.fd, src, n);
    }
    unsigned char* dst = r.readBuffer + r.done;
    std::size_t n = r.size - r.done;
    return r.useOffset ? ::pread(f.fd, dst, n, static_cast<off_t>(r.offset + r.done))
                       : ::read(f.fd, dst, n);
}

}  // namespace

IoRequest makeRequest(Handle file, FileObject& f, bool write, void* data, std::uint32_t size,
                      Overlapped* ov) {
    IoRequest r;
    r.file = file;
    r.ov = ov;
    r.event = ov ? ov->event : kNullHandle;
    r.write = write;
    r.size = size;
    if (write) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        if (size > 0) r.writeData.assign(bytes, bytes + size);
    } else {
        r.readBuffer = static_cast<unsigned char*>(data);
    }
    // A record gives the position in a regular file; devices have none.
    if (ov && f.regular) {
        r.useOffset = true;
        r.offset = (static_cast<std::uint64_t>(ov->offsetHigh) << 32) | ov->offset;
    }
    r.startMs = monotonicMs();
    return r;
}

bool driveRequest(IoRequest& r, FileObject& f, std::int64_t deadlineMs) {
    if (r.complete) return true;
    const Plan plan = planFor(r, f);
    // A USB printer at end of file or hung up has nothing to read, as a
    // silent one has; poll would report it ready at once, so its request
    // sleeps out its time instead of spinning.
    const bool quietAtEnd = !r.write && f.kind == DeviceKind::Usb;
    for (;;) {
        bool ended = false;
        if (r.done >= r.size) return finish(r, 0);
        ssize_t n = transfer(r, f);
        if (n > 0) {
            r.done += static_cast<std::uint32_t>(n);
            r.lastByteMs = monotonicMs();
            if (r.write) continue;
            if (r.done >= r.size) return finish(r, 0);
            // Only a serial port waits for more than the first chunk.
            if (f.kind != DeviceKind::Serial || plan.firstByte || plan.immediate)
                return finish(r, 0);
            continue;
        }
        if (n == 0) {
            // End of file (or of the stream): the request ends with what it has.
            if (!r.write && (!quietAtEnd || r.done > 0)) return finish(r, 0);
            ended = !r.write;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            // A device that fails after delivering bytes still hands them over.
            if (!r.write && r.done > 0) return finish(r, 0);
            if (!(quietAtEnd && errno == EIO)) return finish(r, win32ErrorFromErrno(errno));
            ended = true;  // a terminal whose other side has gone
        }
        if (plan.immediate) return finish(r, 0);

        std::int64_t now = monotonicMs();
        std::int64_t limit = plan.total;
        if (!r.write && plan.interval > 0 && r.done > 0)
            limit = earliest(limit, r.lastByteMs + plan.interval);
        // A serial time-out is a completion, not a failure.
        if (limit >= 0 && now >= limit) return finish(r, 0);
        if (deadlineMs >= 0 && now >= deadlineMs) return false;
        if (ended) {
            // Nothing can end an unbounded wait on a stream that has ended.
            if (limit < 0 && deadlineMs < 0) return finish(r, 0);
            sleepUntil(earliest(limit, deadlineMs));
            continue;
        }
        waitReady(f.fd, r.write ? POLLOUT : POLLIN, earliest(limit, deadlineMs));
    }
}

std::map<Overlapped*, IoRequest>& pendingRequests() {
    static std::map<Overlapped*, IoRequest> table;
    return table;
}

void publishCompletion(IoRequest& r) {
    if (r.ov) {
        r.ov->internal = r.error;
        r.ov->internalHigh = r.done;
    }
    if (r.event != kNullHandle) signalEvent(r.event);
}

bool drivePending(Overlapped* ov, std::int64_t deadlineMs) {
    auto& table = pendingRequests();
    auto it = table.find(ov);
    if (it == table.end()) return true;
    FileObject* f = findFile(it->second.file);
    if (!f) {
        table.erase(it);
        return true;
    }
    if (!driveRequest(it->second, *f, deadlineMs)) return false;
    IoRequest done = std::move(it->second);
    table.erase(it);
    publishCompletion(done);
    return true;
}

void dropRequestsOf(Handle file) {
    auto& table = pendingRequests();
    for (auto it = table.begin(); it != table.end();) {
        if (it->second.file == file) {
            // Closing ends the request: its event is set, as a cancel does.
            if (it->second.event != kNullHandle) signalEvent(it->second.event);
            it = table.erase(it);
        }
        else
            ++it;
    }
}

}  // namespace qov::posix
