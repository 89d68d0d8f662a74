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

SearchResult appendAndSearch(int& count, const unsigned char* data, std::size_t n,
                             const char* terminator) {
    auto& rs = receiveState();
    if (count < 0) count = 0;
    std::size_t at = static_cast<std::size_t>(count);
    if (at > kReceiveBufferSize) at = kReceiveBufferSize;
    const std::size_t fits = std::min(n, kReceiveBufferSize - at);
    if (fits > 0) std::memcpy(rs.receiveBuffer + at, data, fits);
    count = static_cast<int>(at + fits);

    const char* term = terminator ? terminator : "";
    const std::size_t termLength = std::strlen(term);
    const unsigned char* begin = rs.receiveBuffer;
    const unsigned char* end = rs.receiveBuffer + kReceiveBufferSize;
    // The whole buffer is searched: NUL bytes in the reply do not hide a
    // terminator after them, and the zeroed rest cannot match.
    const bool found = termLength == 0 ||
                       std::search(begin, end, term, term + termLength,
                                   [](unsigned char a, char b) {
                                       return a == static_cast<unsigned char>(b);
                                   }) != end;
    if (found) {
        count = 0;
        const char* text = reinterpret_cast<const char*>(rs.receiveBuffer);
        storeReply(text, std::strlen(text));  // the spare last byte is always 0
        return SearchResult::Found;
    }
    return static_cast<std::size_t>(count) >= kReceiveBufferSize ? SearchResult::Full
                                                                 : SearchResult::NotFound;
}

}  // namespace qov
