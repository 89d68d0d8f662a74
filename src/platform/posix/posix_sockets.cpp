// TCP sockets with Winsock's results and error codes.
//
// Only descriptors this backend created are sockets: a socket value the
// library never got from createTcpSocket (0 in a zeroed record, a closed
// one) is refused with kWsaNotSocket instead of reaching another descriptor.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_objects.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_time.h"

namespace qov::posix {

namespace {

std::set<int>& sockets() {
    static std::set<int> open;
    return open;
}

bool known(Socket s) {
    if (s < 0 || s > 0x7fffffff || !sockets().count(static_cast<int>(s))) {
        setThreadSocketError(kWsaNotSocket);
        return false;
    }
    return true;
}

int fail(int err) {
    setThreadSocketError(wsaErrorFromErrno(err));
    return -1;
}

bool nonBlocking(int fd) {
    int fl = ::fcntl(fd, F_GETFL);
    return fl >= 0 && (fl & O_NONBLOCK);
}

// Linux reports an expired SO_RCVTIMEO/SO_SNDTIMEO as EAGAIN, like a
// non-blocking socket without data; Winsock reports it as a time-out.
int failTransfer(int fd, int err) {
    if ((err == EAGAIN || err == EWOULDBLOCK) && !nonBlocking(fd)) {
        setThreadSocketError(kWsaTimedOut);
        return -1;
    }
    return fail(err);
}

// A transfer that succeeds leaves no error behind: the readers test the
// last error after every receive, whatever it returned.
int succeeded(int n) {
    setThreadSocketError(0);
    return n;
}

int setTimeout(Socket s, int option, std::uint32_t ms) {
    if (!known(s)) return -1;
    timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    if (::setsockopt(static_cast<int>(s), SOL_SOCKET, option, &tv, sizeof tv) != 0)
        return fail(errno);
    return 0;
}

}  // namespace

int PosixPlatform::socketStartup() { return 0; }
int PosixPlatform::socketCleanup() { return 0; }

Socket PosixPlatform::createTcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        fail(errno);
        return kInvalidSocket;
    }
    sockets().insert(fd);
    return fd;
}

std::uint32_t PosixPlatform::inetAddr(const char* text) {
    if (!text) return INADDR_NONE;
    return ::inet_addr(text);
}

int PosixPlatform::connect(Socket s, std::uint32_t addr, std::uint16_t port) {
    if (!known(s)) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = addr;
    if (::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return fail(errno);
    return 0;
}

int PosixPlatform::setNonBlocking(Socket s, bool on) {
    if (!known(s)) return -1;
    int fd = static_cast<int>(s);
    int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0) return fail(errno);
    fl = on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
    if (::fcntl(fd, F_SETFL, fl) != 0) return fail(errno);
    return 0;
}

int PosixPlatform::setSendTimeout(Socket s, std::uint32_t ms) { return setTimeout(s, SO_SNDTIMEO, ms); }

int PosixPlatform::setReceiveTimeout(Socket s, std::uint32_t ms) {
    return setTimeout(s, SO_RCVTIMEO, ms);
}

int PosixPlatform::selectWritable(Socket s, long seconds, long microseconds) {
    if (!known(s)) return -1;
    if (seconds < 0 || microseconds < 0) {
        setThreadSocketError(kWsaInvalid);
        return -1;
    }
    int fd = static_cast<int>(s);
    const std::int64_t deadline =
        monotonicMs() + seconds * 1000 + (microseconds + 999) / 1000;
    for (;;) {
        std::int64_t left = deadline - monotonicMs();
        pollfd p{fd, POLLOUT, 0};
        int n = ::poll(&p, 1, left > 0 ? static_cast<int>(std::min<std::int64_t>(left, 1 << 30)) : 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (n == 0) return 0;
        if ((p.revents & (POLLERR | POLLHUP)) == 0) return 1;
        // Winsock puts a connect that failed into the exception set, never
        // into the write set: for a select on writability alone the socket
        // stays quiet until the time-out. A connected socket that failed
        // later is writable (its next send reports the error).
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0) return 1;
        left = deadline - monotonicMs();
        if (left > 0) sleepMs(static_cast<std::uint32_t>(left));
        return 0;
    }
}

int PosixPlatform::socketError(Socket s, int* value) {
    if (!known(s)) return -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return fail(errno);
    if (value) *value = wsaErrorFromErrno(err);
    return 0;
}

int PosixPlatform::send(Socket s, const void* data, int size) {
    if (!known(s)) return -1;
    if (size < 0 || (!data && size > 0)) {
        setThreadSocketError(kWsaFault);
        return -1;
    }
    int fd = static_cast<int>(s);
    for (;;) {
        // MSG_NOSIGNAL: a peer that went away is an error code, not SIGPIPE.
        ssize_t n = ::send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (n >= 0) return succeeded(static_cast<int>(n));
        if (errno == EINTR) continue;
        return failTransfer(fd, errno);
    }
}

int PosixPlatform::recv(Socket s, void* data, int size) {
    if (!known(s)) return -1;
    if (size < 0 || (!data && size > 0)) {
        setThreadSocketError(kWsaFault);
        return -1;
    }
    // Linux would wait for data even for nothing; Winsock answers at once.
    if (size == 0) return succeeded(0);
    int fd = static_cast<int>(s);
    for (;;) {
        ssize_t n = ::recv(fd, data, static_cast<std::size_t>(size), 0);
        if (n >= 0) return succeeded(static_cast<int>(n));
        if (errno == EINTR) continue;
        return failTransfer(fd, errno);
    }
}

int PosixPlatform::closeSocket(Socket s) {
    if (!known(s)) return -1;
    int fd = static_cast<int>(s);
    sockets().erase(fd);
    ::close(fd);
    return 0;
}

int PosixPlatform::socketLastError() { return threadSocketError(); }

}  // namespace qov::posix
