#include "reading/read_request.h"

#include "wait_bounds.h"

namespace qov {

ScopedEvent::~ScopedEvent() {
    if (handle_ != kNullHandle) os().closeHandle(handle_);
}

ReadRequest issueRead(Handle h, void* chunk, std::uint32_t size, Overlapped& ov) {
    ReadRequest request;
    std::uint32_t got = 0;
    if (os().readFile(h, chunk, size, &got, &ov)) {
        request.completed = true;
        request.count = got;
    } else {
        request.pending = os().lastError() == kErrorIoPending;
    }
    return request;
}

void cancelRead(Handle h, Overlapped& ov, const ReadRequest& request) {
    os().cancelIo(h);
    if (request.pending) {
        std::uint32_t ignored = 0;
        os().getOverlappedResult(h, &ov, &ignored, true);
    }
}

WaitOutcome awaitRead(Handle h, Overlapped& ov, const ReadRequest& request, std::uint32_t waitMs,
                      std::uint32_t* count) {
    *count = 0;
    switch (os().waitForSingleObject(ov.event, waitMs)) {
    case WaitResult::Signaled: {
        std::uint32_t got = 0;
        if (os().getOverlappedResult(h, &ov, &got, true)) *count = got;
        return WaitOutcome::Completed;
    }
    case WaitResult::Timeout:
        cancelRead(h, ov, request);
        return WaitOutcome::TimedOut;
    case WaitResult::Failed:
    default:
        cancelRead(h, ov, request);
        return WaitOutcome::WaitFailed;
    }
}

std::uint32_t delayMs(int ms) { return boundedDelayMs(ms); }

std::uint32_t waitMs(int ms) { return boundedWaitMs(ms); }

}  // namespace qov
