// Read-until-text on the network socket of the current connection.
#include <cstring>

#include "connections/connection_record.h"
#include "reading/readers.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"

namespace qov {

namespace {
bool isSocketFailure(int error) { return error != 0 && error != kWsaWouldBlock; }
}  // namespace

bool ethernetReadUntilText(const char* terminator, std::int64_t limitSeconds) {
    auto& rs = receiveState();
    const Socket socket = connection().networkSocket;
    rs.networkCount = 0;
    const std::int64_t start = os().calendarSeconds();
    int lastError = 0;

    for (;;) {
        std::memset(rs.networkChunk, 0, sizeof rs.networkChunk);
        os().sleep(100);
        // The error of the previous round's receive: only now does it become
        // the socket error flag. A receive that failed on the last round
        // before the limit ends the read as a time-out and leaves the flag.
        if (isSocketFailure(lastError)) {
            rs.socketErrorFlag = 1;
            return false;
        }

        const int got = os().recv(socket, rs.networkChunk, static_cast<int>(kNetworkChunkSize));
        lastError = got < 0 ? os().socketLastError() : 0;
        if (got == 0) {  // the peer closed the connection
            rs.networkCount = 0;
            return false;
        }
        const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
        switch (appendAndSearch(rs.networkCount, rs.networkChunk, n, terminator)) {
        case SearchResult::Found:
            return true;
        case SearchResult::Full:
            return true;  // nothing more fits: ends as a time-out
        case SearchResult::NotFound:
            break;
        }
        if (os().calendarSeconds() - start >= limitSeconds) return true;
    }
}

}  // namespace qov
