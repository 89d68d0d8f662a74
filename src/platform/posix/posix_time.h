// Sleeping and the clocks.
#pragma once

#include <cstdint>

namespace qov::posix {

// Sleeps the whole time, also when a signal interrupts the sleep.
void sleepMs(std::uint32_t ms);

}  // namespace qov::posix
