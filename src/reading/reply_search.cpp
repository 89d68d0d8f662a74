#include "reading/reply_search.h"

#include <algorithm>
#include <cstring>

#include "reading/receive_state.h"

namespace qov {

const char kTimeOutText[] = "Time Out\r\n";
const char kFailedText[] = "-1";
const char kEmptyText[] = "";

void zeroReceiveBuffer() {
    auto& rs = receiveState();
    std::memset(rs.receiveBuffer, 0, sizeof rs.receiveBuffer);
}

const char* storeReply(const char* text, std::size_t length) {
    auto& rs = receiveState();
    // Older copies stay where they are: callers that keep a reply pointer
    // past the next read still see their text for 15 more replies.
    std::string& slot = rs.replies[rs.nextReply];
    rs.nextReply = (rs.nextReply + 1) % kReplyRingSize;
    slot.assign(text, length);
    rs.replyText = slot.c_str();
    return rs.replyText;
}

namespace {

// Whether the bytes hold `text` (not empty: the empty text is always held).
// memchr finds the candidates, so a mostly zero buffer is passed over fast.
bool contains(const unsigned char* bytes, std::size_t size, const char* text) {
    const std::size_t length = std::strlen(text);
    if (length == 0) return true;
    if (length > size) return false;
    const unsigned char first = static_cast<unsigned char>(text[0]);
    const unsigned char* at = bytes;
    const unsigned char* last = bytes + (size - length);
    while (at <= last) {
        const void* hit = std::memchr(at, first, static_cast<std::size_t>(last - at) + 1);
        if (!hit) return false;
        at = static_cast<const unsigned char*>(hit);
        if (std::memcmp(at, text, length) == 0) return true;
        ++at;
    }
    return false;
}

}  // namespace

SearchResult appendAndSearch(int& count, const unsigned char* data, std::size_t n,
                             const char* terminator) {
    auto& rs = receiveState();
    if (count < 0) count = 0;
    std::size_t at = static_cast<std::size_t>(count);
    if (at > kReceiveBufferSize) at = kReceiveBufferSize;
    const std::size_t fits = std::min(n, kReceiveBufferSize - at);
    if (fits > 0) std::memcpy(rs.receiveBuffer + at, data, fits);
    count = static_cast<int>(at + fits);

    // The buffer is searched as a whole (NUL bytes in the reply do not hide
    // a terminator after them). Appending at the start, all of it is looked
    // at; later, the earlier search found nothing, so only a match taking in
    // the new bytes is possible, and only that stretch is looked at: a long
    // reply then costs time in proportion to its length, not its square.
    const char* wanted = terminator ? terminator : "";
    const std::size_t length = std::strlen(wanted);
    std::size_t from = 0;
    std::size_t to = kReceiveBufferSize;
    if (at > 0 && length > 0) {
        from = at >= length - 1 ? at - (length - 1) : 0;
        to = std::min(kReceiveBufferSize, at + fits + (length - 1));
    }
    if (contains(rs.receiveBuffer + from, to - from, wanted)) {
        count = 0;
        const char* text = reinterpret_cast<const char*>(rs.receiveBuffer);
        storeReply(text, std::strlen(text));  // the spare last byte is always 0
        return SearchResult::Found;
    }
    return static_cast<std::size_t>(count) >= kReceiveBufferSize ? SearchResult::Full
                                                                 : SearchResult::NotFound;
}

}  // namespace qov
