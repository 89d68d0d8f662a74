// Read-until-text on the COM port of the current connection.
#include <cstring>

#include "connections/connection_record.h"
#include "reading/read_limit.h"
#include "reading/read_request.h"
#include "reading/readers.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"

namespace qov {

bool comportReadUntilText(const char* terminator, std::uint32_t waitMs,
                          std::uint32_t delayBefore, std::uint32_t delayAfter) {
    auto& rs = receiveState();
    const Handle port = connection().current.handle;
    const bool haveEvent = renewReadEvent();
    std::memset(rs.serialChunk, 0, sizeof rs.serialChunk);
    if (!haveEvent) return false;
    // A port whose read time-outs end each request keeps a line that sends
    // now and then busy; so would an overlapped request that a chunk
    // completes just before its wait runs out.
    ReadLimit limit(waitMs);

    for (;;) {
        limit.pace(delayBefore);
        ReadRequest request = issueRead(port, rs.serialChunk, kReadChunkSize, rs.readOverlapped);
        limit.pace(delayAfter);
        std::uint32_t count = request.count;
        if (!request.completed &&
            awaitRead(port, rs.readOverlapped, request, limit.requestWait(waitMs), &count) ==
                WaitOutcome::TimedOut) {
            rs.replyText = kTimeOutText;
            return true;
        }
        // The port's read time-outs end a request on a quiet line with
        // nothing: the printer has stopped talking.
        if (count == 0) {
            rs.serialCount = 0;
            rs.replyText = kTimeOutText;
            return true;
        }
        switch (appendAndSearch(rs.serialCount, rs.serialChunk, count, terminator)) {
        case SearchResult::Found:
            return true;
        case SearchResult::Full:
            rs.replyText = kTimeOutText;
            return true;
        case SearchResult::NotFound:
            break;
        }
        if (limit.reached()) {
            rs.replyText = kTimeOutText;
            return true;
        }
        std::memset(rs.serialChunk, 0, sizeof rs.serialChunk);
    }
}

}  // namespace qov
