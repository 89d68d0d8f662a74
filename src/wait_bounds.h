// The meaning of every wait and delay a caller gives in milliseconds as an
// int, so that no value (negative, huge) blocks a long-running application
// without end.
#pragma once

#include <cstdint>

namespace qov {

// What a read waits when the caller names no sensible wait: QOVA_Read's own.
constexpr std::uint32_t kDefaultWaitMs = 5000;
// The longest wait for one read request (and a network read's whole limit).
constexpr std::uint32_t kMaxWaitMs = 600000;
// The longest pause before or after a read request, or before a close.
constexpr std::uint32_t kMaxDelayMs = 60000;

// A negative wait is the default wait; a wait above the maximum is the
// maximum; 0 waits not at all.
constexpr std::uint32_t boundedWaitMs(int ms) {
    return ms < 0 ? kDefaultWaitMs
                  : static_cast<std::uint32_t>(ms) > kMaxWaitMs ? kMaxWaitMs
                                                                : static_cast<std::uint32_t>(ms);
}

// A negative delay sleeps 0; a delay above the maximum sleeps the maximum.
constexpr std::uint32_t boundedDelayMs(int ms) {
    return ms < 0 ? 0u
                  : static_cast<std::uint32_t>(ms) > kMaxDelayMs ? kMaxDelayMs
                                                                 : static_cast<std::uint32_t>(ms);
}

}  // namespace qov
