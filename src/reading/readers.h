// The read-until-text routines behind QOVA_Read and QOVA_Read_withTimeout.
//
// Each collects incoming bytes into the receive buffer until the terminator
// has arrived somewhere in what was received. Each returns true when the
// read has ended (terminator found: the reply text is the copy; time-out:
// the reply text is "Time Out\r\n") and false when it could not start or
// the connection failed.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qov {

// The fixed wait for one pending USB request of the two-argument
// UsbRead_judge and of the USB chunk readers.
constexpr std::uint32_t kUsbWaitMs = 5000;

// Synchronous-USB reader on a caller's handle; on a time-out the reply
// text is left as it was. `waitMs` is the wait for one pending request,
// `limitMs` the whole read's (read_limit.h).
bool usbReadJudge(Handle h, const char* terminator, std::uint32_t waitMs, std::uint32_t limitMs);

// Overlapped-USB reader, with the read event of the receive state; the
// wait of one request is also the whole read's limit (read_limit.h).
bool usbReadUntilTextAsync(Handle h, const char* terminator, std::uint32_t waitMs,
                           std::uint32_t delayBefore, std::uint32_t delayAfter);

// Serial reader on the connection's device handle; a read that brings
// nothing ends the read with "Time Out\r\n", and so does the whole read's
// limit, the wait of one request (read_limit.h).
bool comportReadUntilText(const char* terminator, std::uint32_t waitMs,
                          std::uint32_t delayBefore, std::uint32_t delayAfter);

// Network reader on the connection's socket, polling every 100 ms until
// `limitSeconds` whole calendar seconds have passed. False on a socket
// error (the socket error flag is then 1) or when the peer closed.
bool ethernetReadUntilText(const char* terminator, std::int64_t limitSeconds);

}  // namespace qov
