// QOVA_Read and QOVA_Read_withTimeout: pick the reader by the kind of the
// current connection (spooler and LPT first, then USB, serial, network).
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

struct ReadTimings {
    std::uint32_t wait;
    std::uint32_t before;
    std::uint32_t after;
};

// The give-up limit of a read in whole calendar seconds: the bounded wait
// / 1000, and 1 second when that is 0.
std::int64_t secondsOf(std::uint32_t waitMs) {
    const std::int64_t seconds = waitMs / 1000;
    return seconds == 0 ? 1 : seconds;
}

bool passed(std::int64_t start, std::int64_t limit) {
    return os().calendarSeconds() - start >= limit;
}

const char* readReply(const char* terminator, const ReadTimings& usbAsync,
                      const ReadTimings& serial, std::int64_t usbLimit, std::int64_t netLimit) {
    auto& rs = receiveState();
    const auto& c = connection();
    const std::int64_t start = os().calendarSeconds();
    rs.usbCount = 0;
    std::memset(rs.receiveBuffer, 0, kReadChunkSize);
    rs.replyText = kTimeOutText;

    if (c.current.spoolerFlag == 1 || c.parallelFlag == 1) {
        os().sleep(100);
        return kEmptyText;
    }
    if (c.current.usbFlag == 1) {
        if (c.current.overlappedUsbFlag) {
            // The reader fails only when it cannot create its event; that
            // may last, so it gets the same give-up limit as the plain USB.
            while (!usbReadUntilTextAsync(c.current.handle, terminator, usbAsync.wait,
                                          usbAsync.before, usbAsync.after)) {
                if (passed(start, usbLimit)) return kFailedText;
            }
        } else {
            // Each request waits the fixed USB wait; the whole read is
            // limited by the caller's wait (QOVA_Read's is 5,000 ms).
            while (!usbReadJudge(c.current.handle, terminator, kUsbWaitMs, usbAsync.wait)) {
                if (passed(start, usbLimit)) return kFailedText;
            }
        }
        return rs.replyText;
    }
    if (c.serialFlag == 1) {
        zeroReceiveBuffer();
        rs.serialCount = 0;
        while (!comportReadUntilText(terminator, serial.wait, serial.before, serial.after)) {
            if (passed(start, 3)) return kFailedText;
            // The serial reader fails before it sleeps; without a pause the
            // retries would spin for the whole 3 seconds.
            os().sleep(50);
        }
        return rs.replyText;
    }
    if (c.networkFlag == 1) {
        zeroReceiveBuffer();
        if (!ethernetReadUntilText(terminator, netLimit)) return kFailedText;  // error or closed
        return rs.socketErrorFlag == 1 ? kFailedText : rs.replyText;
    }
    return kEmptyText;
}

}  // namespace
}  // namespace qov

const char* QOVA_Read(const char* terminator) {
    return qov::noThrow<const char*>(qov::kFailedText, [&] {
        return qov::readReply(terminator, {5000, 3000, 300}, {5000, 100, 1000}, 5, 5);
    });
}

const char* QOVA_Read_withTimeout(const char* terminator, int waitTimeout, int delayBefore,
                                  int delayAfter) {
    return qov::noThrow<const char*>(qov::kFailedText, [&]() -> const char* {
        const qov::ReadTimings own{qov::waitMs(waitTimeout), qov::delayMs(delayBefore),
                                   qov::delayMs(delayAfter)};
        const std::int64_t limit = qov::secondsOf(own.wait);
        return qov::readReply(terminator, own, own, limit, limit);
    });
}
