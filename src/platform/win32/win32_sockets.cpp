// Windows Sockets 2: start-up, TCP sockets, connect, options, select for
// write, send and receive.
#include "platform/win32/win32_platform.h"

namespace qov::win32 {

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
    return ::ioctlsocket(toWinSocket(s), FIONBIO, &mode) == 0 ? 0 : -1;
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
    return setTimeout(s, SO_SNDTIMEO, ms);
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

int Win32Platform::send(Socket s, const void* data, int size) {
    const int n = ::send(toWinSocket(s), static_cast<const char*>(data), size, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int Win32Platform::recv(Socket s, void* data, int size) {
    const int n = ::recv(toWinSocket(s), static_cast<char*>(data), size, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int Win32Platform::closeSocket(Socket s) {
    return ::closesocket(toWinSocket(s)) == 0 ? 0 : -1;
}

int Win32Platform::socketLastError() { return WSAGetLastError(); }

}  // namespace qov::win32
