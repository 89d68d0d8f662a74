#include "loopback_peer.h"

#ifdef _WIN32
#include <winsock2.h>
using SockLen = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SockLen = socklen_t;
#endif

#include <chrono>
#include <stdexcept>

namespace qov::contract {

namespace {

#ifdef _WIN32
void closeFd(std::intptr_t s) { ::closesocket(static_cast<SOCKET>(s)); }
// Winsock is started once for the rig's own sockets.
void startSockets() {
    static const bool started = [] {
        WSADATA d;
        return WSAStartup(MAKEWORD(2, 2), &d) == 0;
    }();
    if (!started) throw std::runtime_error("WSAStartup failed");
}
#else
void closeFd(std::intptr_t s) { ::close(static_cast<int>(s)); }
void startSockets() {}
#endif

// Waits until the socket is readable, at most `ms`.
bool readable(std::intptr_t s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return ::select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &tv) > 0;
}

std::intptr_t boundLoopback(std::uint16_t* port) {
    startSockets();
    std::intptr_t s = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_STREAM, 0));
    if (s < 0) throw std::runtime_error("socket failed");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        closeFd(s);
        throw std::runtime_error("bind failed");
    }
    SockLen len = sizeof sa;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    *port = ntohs(sa.sin_port);
    return s;
}

}  // namespace

LoopbackPeer::LoopbackPeer() {
    listener_ = boundLoopback(&port_);
    ::listen(listener_, 4);
}

LoopbackPeer::~LoopbackPeer() {
    closeConnection();
    closeFd(listener_);
}

void LoopbackPeer::accept() {
    if (conn_ >= 0) return;
    if (!readable(listener_, 2000)) throw std::runtime_error("nobody connected to the peer");
    conn_ = static_cast<std::intptr_t>(::accept(listener_, nullptr, nullptr));
    if (conn_ < 0) throw std::runtime_error("accept failed");
}

void LoopbackPeer::send(const std::string& bytes) {
    accept();
    ::send(conn_, bytes.data(), static_cast<int>(bytes.size()), 0);
}

std::string LoopbackPeer::take(std::size_t size) {
    accept();
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (taken_.size() < size && std::chrono::steady_clock::now() < end) {
        if (!readable(conn_, 50)) continue;
        char buf[4096];
        int n = static_cast<int>(::recv(conn_, buf, sizeof buf, 0));
        if (n <= 0) break;
        taken_.append(buf, static_cast<std::size_t>(n));
    }
    return taken_;
}

void LoopbackPeer::hangUp() {
    accept();
    closeConnection();
}

void LoopbackPeer::closeConnection() {
    if (conn_ < 0) return;
    closeFd(conn_);
    conn_ = -1;
}

std::uint16_t LoopbackPeer::closedPort() {
    std::uint16_t port = 0;
    closeFd(boundLoopback(&port));
    return port;
}

}  // namespace qov::contract
