#include "raw_intake.h"

#include "byte_size.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qovprint {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::chrono::milliseconds kStopCheck{1000};

bool writeAll(int fd, const char* p, std::size_t n) {
    while (n) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

std::string durationText(std::chrono::milliseconds d) {
    return d.count() % 1000 == 0 ? std::to_string(d.count() / 1000) + " s" : std::to_string(d.count()) + " ms";
}

}  // namespace

IntakeResult receiveDocument(int socket, int file, const RawLimits& limits, const std::atomic<bool>& stop) {
    using clock = std::chrono::steady_clock;
    IntakeResult r;
    static thread_local char buffer[kReadChunk];
    auto lastData = clock::now();
    for (;;) {
        if (stop) {
            r.end = IntakeEnd::Stopped;
            r.message = "the server stopped while the document arrived";
            return r;
        }
        const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - lastData);
        if (quiet >= limits.idle) {
            r.end = IntakeEnd::Idle;
            r.message = "no data for " + durationText(limits.idle) + " after " + std::to_string(r.bytes) + " bytes";
            return r;
        }
        pollfd p{socket, POLLIN, 0};
        const auto wait = std::min(limits.idle - quiet, kStopCheck);
        const int ready = ::poll(&p, 1, static_cast<int>(wait.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            r.message = std::string("poll: ") + std::strerror(errno);
            return r;
        }
        if (ready == 0) continue;
        // Never more than one byte past the limit is asked for: that byte tells "too large".
        const std::uint64_t room = limits.maxBytes - r.bytes;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, room + 1));
        const ssize_t n = ::recv(socket, buffer, want, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            r.message = std::string("receive: ") + std::strerror(errno);
            return r;
        }
        if (n == 0) {
            r.end = IntakeEnd::Complete;
            return r;
        }
        const auto got = static_cast<std::uint64_t>(n);
        if (got > room) {
            r.end = IntakeEnd::TooLarge;
            r.message = "the document is larger than " + byteSizeText(limits.maxBytes);
            return r;
        }
        if (!writeAll(file, buffer, static_cast<std::size_t>(n))) {
            r.message = std::string("spool write: ") + std::strerror(errno);
            return r;
        }
        r.bytes += got;
        lastData = clock::now();
    }
}

bool parseByteSize(const char* text, std::uint64_t* bytes) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || end == text || text[0] == '-') return false;
    unsigned shift = 0;
    if (*end == 'K' || *end == 'k') shift = 10;
    else if (*end == 'M' || *end == 'm') shift = 20;
    else if (*end == 'G' || *end == 'g') shift = 30;
    if (shift) ++end;
    if (*end || v == 0 || v > ((1ull << 60) >> shift)) return false;  // 1 EiB: far beyond any disk
    *bytes = static_cast<std::uint64_t>(v) << shift;
    return true;
}

}  // namespace qovprint
