// Discarding what the printer has sent and nobody has read yet, so that the
// next command's reply starts clean.
#include <cstring>

#include "connections/connection_record.h"
#include "export_guard.h"
#include "qovlib.h"
#include "reading/read_request.h"
#include "reading/readers.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"

namespace qov {

namespace {

// A printer that never stops sending (or a wait that keeps failing) would
// keep a drain going for ever: each drain issues at most as many requests
// as the receive buffer holds chunks, far more than any reply a printer
// keeps waiting.
constexpr std::size_t kMostDrainRequests = kReceiveBufferSize / kReadChunkSize;

// How long the serial clearing retries a read event that cannot be made,
// as the serial read does, with a pause between tries.
constexpr std::int64_t kEventRetrySeconds = 3;
constexpr std::uint32_t kEventRetryPauseMs = 50;

// Drains an overlapped USB handle until a request stays pending for 300 ms
// or completes with nothing, or it has issued the most requests a drain may.
void drainOverlappedUsb(Handle h) {
    auto& rs = receiveState();
    zeroReceiveBuffer();
    rs.usbCount = 0;
    os().sleep(50);
    if (!renewReadEvent()) return;

    for (std::size_t requests = 0; requests < kMostDrainRequests; ++requests) {
        os().sleep(300);
        ReadRequest request = issueRead(h, rs.usbChunk, kReadChunkSize, rs.readOverlapped);
        os().sleep(300);
        std::uint32_t count = request.count;
        if (!request.completed) {
            const WaitOutcome outcome = awaitRead(h, rs.readOverlapped, request, 300, &count);
            if (outcome == WaitOutcome::TimedOut) {
                rs.replyText = kTimeOutText;
                return;
            }
            if (outcome == WaitOutcome::WaitFailed) continue;
        }
        // A request that brings nothing means the input is quiet; without
        // this a handle that completes every request at once would keep
        // the caller here for ever.
        if (count == 0) {
            rs.replyText = kTimeOutText;
            return;
        }
    }
}

char clearSerialInput() {
    auto& rs = receiveState();
    const auto& c = connection();
    if (c.serialFlag == 0) return 0;
    const Handle port = c.current.handle;
    const std::int64_t start = os().calendarSeconds();
    while (!renewReadEvent()) {
        // Nothing can be read without the event: the input stays as it is.
        if (os().calendarSeconds() - start >= kEventRetrySeconds) return 1;
        os().sleep(kEventRetryPauseMs);
    }
    std::memset(rs.serialChunk, 0, sizeof rs.serialChunk);
    for (std::size_t requests = 0; requests < kMostDrainRequests; ++requests) {
        ReadRequest request = issueRead(port, rs.serialChunk, kReadChunkSize, rs.readOverlapped);
        std::uint32_t count = request.count;
        if (!request.completed &&
            awaitRead(port, rs.readOverlapped, request, 1000, &count) == WaitOutcome::TimedOut) {
            rs.replyText = kTimeOutText;
            return 1;
        }
        if (count == 0) {
            rs.serialCount = 0;
            rs.replyText = kTimeOutText;
            return 1;
        }
    }
    return 1;
}

}  // namespace
}  // namespace qov

void USB_ClearBuffer(void) {
    return qov::noThrow([&] {
        qov::noThrow(false, [&] {
            const auto& c = qov::connection();
            if (c.current.usbFlag == 0) return true;
            if (!c.current.overlappedUsbFlag) {
                // The empty terminator matches after the first request: one
                // chunk at most is read and dropped.
                qov::usbReadJudge(c.current.handle, "", 300, 300);
                return true;
            }
            qov::drainOverlappedUsb(c.current.handle);
            return true;
        });
    });
}

char Serial_ClearBuffer(void) {
    return qov::noThrow<char>(0, [&] { return qov::clearSerialInput(); });
}
