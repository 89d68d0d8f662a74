// The writer for USB handles opened for overlapped I/O.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qov {

// Clears the receive buffer and the USB receive count, writes the bytes with
// an overlapped record and its own event, and waits for completion without
// time-out. Returns the count written when it equals `size`, else 0 (also
// when the event cannot be created or the write fails).
std::uint32_t overlappedWrite(Handle h, const void* data, std::uint32_t size);

}  // namespace qov
