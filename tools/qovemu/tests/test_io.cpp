#include "test_io.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace qovemu::test {

std::string readUntil(int fd, const std::string& until, int ms, std::string* keep) {
    using Clock = std::chrono::steady_clock;
    std::string got = keep ? *keep : std::string();
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (got.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    if (keep) *keep = got;
    return got;
}

}  // namespace qovemu::test
