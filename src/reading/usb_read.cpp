// Read-until-text on USB handles: UsbRead_judge (any handle the caller
// passes, its own event per call) and the overlapped reader used for
// connections opened for overlapped I/O.
#include <cstring>

#include "export_guard.h"
#include "qovlib.h"
#include "reading/read_limit.h"
#include "reading/read_request.h"
#include "reading/readers.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"

namespace qov {

namespace {
// A request may complete at once with nothing (a handle without overlapped
// I/O on a quiet printer, a device that has gone): quiet for as long as one
// request's wait counts as a time-out, instead of reading on for ever.
std::int64_t quietSeconds(std::uint32_t waitMs) {
    return waitMs / 1000 == 0 ? 1 : static_cast<std::int64_t>(waitMs / 1000);
}

// A request that came back empty within the second it was issued in (a
// device that has closed completes every request at once) is followed by
// this pause, so that the quiet limit is reached by waiting, not by asking
// in a tight loop.
constexpr std::uint32_t kEmptyReadPauseMs = 50;

// How long a read loop has heard nothing, against its quiet limit.
class QuietWatch {
public:
    explicit QuietWatch(std::uint32_t waitMs)
        : limit_(quietSeconds(waitMs)), since_(os().calendarSeconds()) {}

    // After a request of `count` bytes issued at `issuedAt`: true when the
    // device has now been quiet for the limit. An empty request within its
    // own second is followed by a pause when `pause` is set.
    bool quietTooLong(std::uint32_t count, std::int64_t issuedAt, bool pause) {
        if (count > 0) {
            since_ = os().calendarSeconds();
            return false;
        }
        if (os().calendarSeconds() - since_ >= limit_) return true;
        if (pause && os().calendarSeconds() == issuedAt) os().sleep(kEmptyReadPauseMs);
        return false;
    }

private:
    std::int64_t limit_;
    std::int64_t since_;
};
}  // namespace

bool usbReadJudge(Handle h, const char* terminator, std::uint32_t waitMs, std::uint32_t limitMs) {
    auto& rs = receiveState();
    zeroReceiveBuffer();
    rs.usbCount = 0;
    os().sleep(50);
    Overlapped ov{};
    ScopedEvent event(os().createEvent(false, false));
    std::memset(rs.usbChunk, 0, sizeof rs.usbChunk);
    if (!event) return false;
    ov.event = event.get();

    QuietWatch quiet(waitMs);
    // A request on a handle without overlapped I/O completes within the
    // call however long it takes; the limit is then checked after it.
    const ReadLimit limit(limitMs);

    for (;;) {
        const std::int64_t issuedAt = os().calendarSeconds();
        ReadRequest request = issueRead(h, rs.usbChunk, kReadChunkSize, ov);
        std::uint32_t count = request.count;
        if (!request.completed) {
            // A time-out leaves the reply text as the caller's read set it;
            // so does a request the device refused (nothing was queued, so
            // asking again would only spin).
            if (awaitRead(h, ov, request, waitMs, &count) == WaitOutcome::TimedOut) return true;
            if (!request.pending) return true;
        }
        switch (appendAndSearch(rs.usbCount, rs.usbChunk, count, terminator)) {
        case SearchResult::Found:
        case SearchResult::Full:  // nothing more fits: ends as a time-out
            return true;
        case SearchResult::NotFound:
            break;
        }
        if (quiet.quietTooLong(count, issuedAt, true) || limit.reached()) return true;
        std::memset(rs.usbChunk, 0, sizeof rs.usbChunk);
    }
}

bool usbReadUntilTextAsync(Handle h, const char* terminator, std::uint32_t waitMs,
                           std::uint32_t delayBefore, std::uint32_t delayAfter) {
    auto& rs = receiveState();
    zeroReceiveBuffer();
    rs.usbCount = 0;
    os().sleep(50);
    const bool haveEvent = renewReadEvent();
    std::memset(rs.usbChunk, 0, sizeof rs.usbChunk);
    if (!haveEvent) return false;
    QuietWatch quiet(waitMs);
    ReadLimit limit(waitMs);

    // The caller's delays already space the requests out.
    const bool paced = delayBefore != 0 || delayAfter != 0;

    for (;;) {
        const std::int64_t issuedAt = os().calendarSeconds();
        limit.pace(delayBefore);
        ReadRequest request = issueRead(h, rs.usbChunk, kReadChunkSize, rs.readOverlapped);
        limit.pace(delayAfter);
        std::uint32_t count = request.count;
        if (!request.completed &&
            (awaitRead(h, rs.readOverlapped, request, limit.requestWait(waitMs), &count) ==
                 WaitOutcome::TimedOut ||
             !request.pending)) {
            rs.replyText = kTimeOutText;
            return true;
        }
        switch (appendAndSearch(rs.usbCount, rs.usbChunk, count, terminator)) {
        case SearchResult::Found:
            return true;
        case SearchResult::Full:
            rs.replyText = kTimeOutText;
            return true;
        case SearchResult::NotFound:
            break;
        }
        if (quiet.quietTooLong(count, issuedAt, !paced) || limit.reached()) {
            rs.replyText = kTimeOutText;
            return true;
        }
        std::memset(rs.usbChunk, 0, sizeof rs.usbChunk);
    }
}

}  // namespace qov

bool UsbRead_judge(void* handle, char* terminator) {
    return qov::noThrow(false, [&] {
        qov::CallerHandle h(handle);
        return qov::usbReadJudge(h.get(), terminator, qov::kUsbWaitMs, qov::kUsbWaitMs);
    });
}

bool UsbRead_judge(void* handle, char* terminator, int waitTimeout) {
    return qov::noThrow(false, [&] {
        qov::CallerHandle h(handle);
        const std::uint32_t wait = qov::waitMs(waitTimeout);
        return qov::usbReadJudge(h.get(), terminator, wait, wait);
    });
}
