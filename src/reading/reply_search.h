// Appending received bytes to the receive buffer, searching it for the
// caller's terminator, and the reply copies the read exports return.
#pragma once

#include <cstddef>

namespace qov {

// The fixed texts the read exports return.
extern const char kTimeOutText[];  // "Time Out\r\n"
extern const char kFailedText[];   // "-1"
extern const char kEmptyText[];    // ""

enum class SearchResult {
    Found,     // the terminator is in the buffer; the reply copy is made
    NotFound,  // keep reading
    Full,      // the buffer is full without the terminator: nothing more fits
};

// Appends n bytes at `count` (never past the receive buffer; bytes that do
// not fit are dropped), then searches the buffer for `terminator` as a
// whole: all of it when appending at 0, else the stretch a match through the
// new bytes can cover (an earlier append searched the rest).
// An empty terminator matches at once. On a match `count` is reset to 0 and
// the reply text becomes a copy of the buffer up to its first NUL byte.
SearchResult appendAndSearch(int& count, const unsigned char* data, std::size_t n,
                             const char* terminator);

// Sets the reply text to a new copy of `text` (in the ring of recent
// replies) and returns it.
const char* storeReply(const char* text, std::size_t length);

// Zeroes the whole receive buffer.
void zeroReceiveBuffer();

}  // namespace qov
