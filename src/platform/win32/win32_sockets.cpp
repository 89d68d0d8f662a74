// Windows Sockets 2: start-up, TCP sockets, connect, options, select for
// write, send and receive.
#include "platform/win32/win32_platform.h"

#include <map>
#include <set>

namespace qov::win32 {

namespace {

// What the backend has set on its sockets: which are non-blocking, and the
// send time-out of each (Winsock cannot be asked for the first).
std::set<SOCKET>& nonBlockingSockets() {
    static std::set<SOCKET> sockets;
    return sockets;
}
std::map<SOCKET, DWORD>& sendTimeouts() {
    static std::map<SOCKET, DWORD> timeouts;
    return timeouts;
}

}  // namespace

static_assert(sizeof(Socket) == sizeof(SOCKET), "sockets are pointer-wide");
// INVALID_SOCKET is ~0, the library's kInvalidSocket (-1).

int Win32Platform::socketStartup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

int Win32Platform::socketCleanup() { return WSACleanup(); }

Socket Win32Platform::createTcpSocket() {
    return fromWinSocket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

std::uint32_t Win32Platform::inetAddr(const char* text) { return ::inet_addr(text); }

int Win32Platform::connect(Socket s, std::uint32_t addr, std::uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = ::htons(port);
    peer.sin_addr.s_addr = addr;
    return ::connect(toWinSocket(s), reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0
               ? 0
               : -1;
}

int Win32Platform::setNonBlocking(Socket s, bool on) {
    u_long mode = on ? 1 : 0;
    if (::ioctlsocket(toWinSocket(s), FIONBIO, &mode) != 0) return -1;
    if (on) {
        nonBlockingSockets().insert(toWinSocket(s));
    } else {
        nonBlockingSockets().erase(toWinSocket(s));
    }
    return 0;
}

namespace {
// Winsock takes the time-outs as a DWORD of milliseconds.
int setTimeout(Socket s, int option, std::uint32_t ms) {
    const DWORD value = ms;
    return ::setsockopt(toWinSocket(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                        sizeof(value)) == 0
               ? 0
               : -1;
}
}  // namespace

int Win32Platform::setSendTimeout(Socket s, std::uint32_t ms) {
    if (setTimeout(s, SO_SNDTIMEO, ms) != 0) return -1;
    sendTimeouts()[toWinSocket(s)] = ms;
    return 0;
}

int Win32Platform::setReceiveTimeout(Socket s, std::uint32_t ms) {
    return setTimeout(s, SO_RCVTIMEO, ms);
}

int Win32Platform::selectWritable(Socket s, long seconds, long microseconds) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(toWinSocket(s), &writable);
    timeval limit{seconds, microseconds};
    return ::select(0, nullptr, &writable, nullptr, &limit);
}

int Win32Platform::socketError(Socket s, int* value) {
    int length = sizeof(int);
    return ::getsockopt(toWinSocket(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(value),
                        &length) == 0
               ? 0
               : -1;
}

namespace {

// A blocking send whose send time-out expires may already have sent part of
// the block and still report only WSAETIMEDOUT: the count is lost, and
// sending the block again would repeat those bytes. So on a blocking socket
// the block is offered without blocking, after a wait for room of at most
// the send time-out: the result is the count taken, or WSAETIMEDOUT with
// nothing taken.
int sendWithoutLoss(SOCKET s, const char* data, int size) {
    const auto timeout = sendTimeouts().find(s);
    const DWORD ms = timeout == sendTimeouts().end() ? 0 : timeout->second;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    timeval limit{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    const int ready = ::select(0, nullptr, &writable, nullptr, ms == 0 ? nullptr : &limit);
    if (ready == SOCKET_ERROR) return -1;
    if (ready == 0) {
        WSASetLastError(WSAETIMEDOUT);
        return -1;
    }
    u_long on = 1;
    if (::ioctlsocket(s, FIONBIO, &on) != 0) return -1;
    const int n = ::send(s, data, size, 0);
    const int error = n == SOCKET_ERROR ? WSAGetLastError() : 0;
    u_long off = 0;
    ::ioctlsocket(s, FIONBIO, &off);
    if (n != SOCKET_ERROR) return n;
    WSASetLastError(error == WSAEWOULDBLOCK ? WSAETIMEDOUT : error);
    return -1;
}

}  // namespace

int Win32Platform::send(Socket s, const void* data, int size) {
    const SOCKET w = toWinSocket(s);
    const char* bytes = static_cast<const char*>(data);
    if (size > 0 && nonBlockingSockets().count(w) == 0) return sendWithoutLoss(w, bytes, size);
    const int n = ::send(w, bytes, size, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int Win32Platform::recv(Socket s, void* data, int size) {
    const int n = ::recv(toWinSocket(s), static_cast<char*>(data), size, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int Win32Platform::closeSocket(Socket s) {
    // A later socket may get the same value.
    nonBlockingSockets().erase(toWinSocket(s));
    sendTimeouts().erase(toWinSocket(s));
    return ::closesocket(toWinSocket(s)) == 0 ? 0 : -1;
}

int Win32Platform::socketLastError() { return WSAGetLastError(); }

}  // namespace qov::win32
