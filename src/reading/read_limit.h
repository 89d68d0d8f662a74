// The overall limit of one read-until-text on a device handle (USB, serial).
//
// Each request has its own wait, but a printer that sends a chunk just
// before every wait runs out (or a handle without overlapped I/O whose
// requests block until the next chunk) would otherwise keep a read going
// until the receive buffer is full: hours with long waits. The limit is the
// caller's wait (bounded as wait_bounds.h says, at least one second, as the
// network read's), counted from the start of the read and not renewed by
// the chunks that arrive. The caller's own delays around each request are
// its pacing and do not count against it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/platform.h"

namespace qov {

// The shortest overall limit, so that a wait of 0 still collects a reply
// that is already there in several chunks.
constexpr std::uint32_t kShortestReadLimitMs = 1000;

class ReadLimit {
public:
    explicit ReadLimit(std::uint32_t waitMs)
        : limitMs_(std::max(waitMs, kShortestReadLimitMs)), startMs_(os().tickMs()) {}

    // Sleeps one of the caller's delays; the time it takes does not count.
    void pace(std::uint32_t ms) {
        const std::uint64_t before = os().tickMs();
        os().sleep(ms);
        pacedMs_ += os().tickMs() - before;
    }

    // The time the read has used of its limit.
    std::uint64_t usedMs() const {
        const std::uint64_t elapsed = os().tickMs() - startMs_;
        return elapsed > pacedMs_ ? elapsed - pacedMs_ : 0;
    }

    bool reached() const { return usedMs() >= limitMs_; }

    // A request's own wait, shortened to what is left of the limit.
    std::uint32_t requestWait(std::uint32_t waitMs) const {
        const std::uint64_t used = usedMs();
        const std::uint64_t left = used >= limitMs_ ? 0 : limitMs_ - used;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(waitMs, left));
    }

private:
    std::uint32_t limitMs_;
    std::uint64_t startMs_;
    std::uint64_t pacedMs_ = 0;
};

}  // namespace qov
