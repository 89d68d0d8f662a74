// The one way the library puts bytes on a socket.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace qov::sending {

// How long a send waits while the printer takes no byte at all.
constexpr std::uint64_t kSendStallLimitMs = 30000;

// Sends every byte of the block, in order: a partial send is continued
// with the rest, a full send buffer of a non-blocking socket is waited out
// (select for writability), and the send time-out of a blocking socket only
// means "nothing taken yet". Returns false when the connection fails or the
// printer has taken no byte for kSendStallLimitMs; the bytes taken before
// that stay sent.
bool sendAll(Socket s, const void* data, std::size_t size);

}  // namespace qov::sending
