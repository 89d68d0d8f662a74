#include "sending/socket_send.h"

#include <algorithm>

namespace qov::sending {

namespace {

// A send takes an int count.
constexpr std::size_t kLargestSend = 0x7FFFFFF0u;

// Waits for room in the send buffer for what is left of the stall limit.
// False when the socket cannot be waited on.
bool waitWritable(Socket s, std::uint64_t leftMs) {
    const long seconds = static_cast<long>(leftMs / 1000);
    const long microseconds = static_cast<long>((leftMs % 1000) * 1000);
    return os().selectWritable(s, seconds, microseconds) >= 0;
}

}  // namespace

bool sendAll(Socket s, const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    std::size_t left = size;
    std::uint64_t lastProgress = os().tickMs();
    while (left > 0) {
        const int n = os().send(s, next, static_cast<int>(std::min(left, kLargestSend)));
        if (n > 0) {
            next += n;
            left -= static_cast<std::size_t>(n);
            lastProgress = os().tickMs();
            continue;
        }
        // A send of a non-empty block that takes nothing without an error
        // would repeat for ever: it counts as a failed connection.
        if (n == 0) return false;
        const int error = os().socketLastError();
        if (error != kWsaWouldBlock && error != kWsaTimedOut) return false;
        const std::uint64_t idle = os().tickMs() - lastProgress;
        if (idle >= kSendStallLimitMs) return false;
        // A blocking send has waited its send time-out already.
        if (error == kWsaWouldBlock && !waitWritable(s, kSendStallLimitMs - idle)) return false;
    }
    return true;
}

}  // namespace qov::sending
