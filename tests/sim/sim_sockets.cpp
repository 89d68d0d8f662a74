// TCP sockets to scripted network peers.
#include "sim_impl.h"

namespace qov::sim {

int SimPlatform::socketStartup() {
    impl_->log("WSAStartup");
    ++socketStartups;
    return 0;
}

int SimPlatform::socketCleanup() {
    impl_->log("WSACleanup");
    ++socketCleanups;
    return 0;
}

Socket SimPlatform::createTcpSocket() {
    if (socketCreationFails) {
        impl_->log("socket failed");
        impl_->lastError = kSimWsaNoBufs;
        return kInvalidSocket;
    }
    impl_->log("socket");
    Socket s = impl_->newHandle();
    impl_->sockets[s] = Impl::SocketRec{};
    return s;
}

// inet_addr: one to four parts, each decimal, octal (leading 0) or hex
// (0x); the last part fills the bytes the earlier ones leave ("10.0.0" is
// 10.0.0.0, "10.1" is 10.0.0.1). Trailing white space ends the text.
std::uint32_t SimPlatform::inetAddr(const char* text) {
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    if (!text) return kNone;
    std::uint64_t parts[4];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == 4 || !std::isdigit(static_cast<unsigned char>(*p))) return kNone;
        unsigned base = 10;
        if (*p == '0') {
            base = 8;
            ++p;
            if (*p == 'x' || *p == 'X') {
                base = 16;
                ++p;
                if (!std::isxdigit(static_cast<unsigned char>(*p))) return kNone;
            }
        }
        std::uint64_t v = 0;
        for (;; ++p) {
            unsigned char c = static_cast<unsigned char>(*p);
            unsigned digit;
            if (std::isdigit(c)) digit = unsigned(c - '0');
            else if (base == 16 && std::isxdigit(c)) digit = unsigned(std::tolower(c) - 'a' + 10);
            else break;
            if (digit >= base) return kNone;
            v = v * base + digit;
            if (v > 0xFFFFFFFFull) return kNone;
        }
        parts[count++] = v;
        if (*p != '.') break;
        ++p;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p != '\0') return kNone;
    std::uint64_t host = 0;  // host order
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF) return kNone;
        host |= parts[i] << (24 - 8 * i);
    }
    const std::uint64_t lastMax = 0xFFFFFFFFull >> (8 * (count - 1));
    if (parts[count - 1] > lastMax) return kNone;
    host |= parts[count - 1];
    const std::uint32_t h = static_cast<std::uint32_t>(host);
    // Network order: the first byte of the address first in memory.
    return (h >> 24) | ((h >> 8) & 0xFF00u) | ((h << 8) & 0xFF0000u) | (h << 24);
}

int SimPlatform::connect(Socket s, std::uint32_t addr, std::uint16_t port) {
    std::string a = addrText(addr);
    std::string target = "tcp:" + a + ":" + std::to_string(port);
    impl_->log("connect " + target);
    auto* k = impl_->lookupSocket(s);
    if (!k) return -1;
    if (k->connected || k->connecting) {
        impl_->lastError = std::uint32_t(k->connected ? int(kSimWsaIsConn) : int(kWsaWouldBlock));
        return -1;
    }
    k->target = target;
    NetworkPeer* p = peer(a, port);
    k->peer = p;
    NetworkPeer::Behaviour b = p ? p->behaviour : NetworkPeer::Silent;
    k->connectTimeoutMs = p ? p->connectTimeoutMs : 21000;
    if (b == NetworkPeer::Accept) {
        auto conn = std::make_shared<Endpoint>();
        conn->name = target;
        conn->script = p->script;
        conn->anchorMs = now_;
        p->connections.push_back(conn);
        k->conn = conn;
        k->soError = 0;
        k->connectedAtMs = now_;
        if (k->nonBlocking) {
            k->connecting = true;
            impl_->lastError = kWsaWouldBlock;
            return -1;
        }
        k->connected = true;
        return 0;
    }
    if (k->nonBlocking) {
        k->connecting = true;
        k->soError = b == NetworkPeer::Refuse ? kWsaConnRefused : 0;
        impl_->lastError = kWsaWouldBlock;
        return -1;
    }
    if (b == NetworkPeer::Refuse) {
        impl_->lastError = kWsaConnRefused;
        return -1;
    }
    advance(k->connectTimeoutMs);
    impl_->lastError = kWsaTimedOut;
    return -1;
}

int SimPlatform::setNonBlocking(Socket s, bool on) {
    auto* k = impl_->lookupSocket(s);
    impl_->log(std::string("ioctlsocket FIONBIO ") + (on ? "1" : "0"));
    if (!k) return -1;
    k->nonBlocking = on;
    return 0;
}

int SimPlatform::setSendTimeout(Socket s, std::uint32_t ms) {
    auto* k = impl_->lookupSocket(s);
    impl_->log("setsockopt SO_SNDTIMEO " + std::to_string(ms));
    if (!k) return -1;
    k->sendTimeoutMs = ms;
    return 0;
}

int SimPlatform::setReceiveTimeout(Socket s, std::uint32_t ms) {
    auto* k = impl_->lookupSocket(s);
    impl_->log("setsockopt SO_RCVTIMEO " + std::to_string(ms));
    if (!k) return -1;
    k->recvTimeoutMs = ms;
    return 0;
}

int SimPlatform::selectWritable(Socket s, long seconds, long microseconds) {
    impl_->log("select");
    auto* k = impl_->lookupSocket(s);
    if (!k) return -1;
    std::uint64_t ms = std::uint64_t(seconds < 0 ? 0 : seconds) * 1000 +
                       std::uint64_t(microseconds < 0 ? 0 : microseconds) / 1000;
    if (k->connected) return impl_->waitForRoom(*k, ms) ? 1 : 0;
    if (k->connecting) {
        NetworkPeer::Behaviour b = k->peer ? k->peer->behaviour : NetworkPeer::Silent;
        if (b == NetworkPeer::Accept) {
            k->connecting = false;
            k->connected = true;
            return 1;
        }
        // A refused connect never becomes writable (it would be in the
        // exception set): select waits out its time-out below, and SO_ERROR
        // tells kWsaConnRefused.
        if (b == NetworkPeer::Refuse) k->connecting = false;
    }
    advance(ms);
    return 0;
}

int SimPlatform::socketError(Socket s, int* value) {
    auto* k = impl_->lookupSocket(s);
    impl_->log("getsockopt SO_ERROR");
    if (!k) return -1;
    if (value) *value = k->soError;
    return 0;
}

int SimPlatform::send(Socket s, const void* data, int size) {
    auto* k = impl_->lookupSocket(s, "send");
    if (!k) return -1;
    impl_->log("send " + (k->target.empty() ? std::string("unconnected") : k->target));
    if (!k->conn || !(k->connected || k->connecting)) {
        impl_->lastError = kSimWsaNotConn;
        return -1;
    }
    if (size < 0) size = 0;
    if (size > 0 && !impl_->gone(*k) && impl_->room(*k) == 0) {
        if (k->nonBlocking) {
            impl_->lastError = kWsaWouldBlock;
            return -1;
        }
        if (!impl_->waitForRoom(*k, k->sendTimeoutMs ? k->sendTimeoutMs : kNever)) {
            impl_->lastError = kWsaTimedOut;
            return -1;
        }
    }
    if (impl_->gone(*k)) {
        impl_->lastError = kWsaConnReset;
        return -1;
    }
    int n = size;
    if (k->peer && k->peer->partialSend >= 0) n = std::min(size, k->peer->partialSend);
    const std::uint64_t room = impl_->room(*k);
    if (room < std::uint64_t(n)) n = int(room);
    if (room != kNever) k->takenWhilePaused += std::uint64_t(n);
    std::string bytes(static_cast<const char*>(data), std::size_t(n));
    endpointWrite(*k->conn, bytes, now_);
    impl_->record(k->target, WriteKind::Send, std::move(bytes));
    return n;
}

int SimPlatform::recv(Socket s, void* data, int size) {
    auto* k = impl_->lookupSocket(s, "recv");
    if (!k) return -1;
    impl_->log("recv " + (k->target.empty() ? std::string("unconnected") : k->target));
    if (!k->conn || !(k->connected || k->connecting)) {
        impl_->lastError = kSimWsaNotConn;
        return -1;
    }
    std::shared_ptr<Endpoint> ep = k->conn;
    ReadState st = readState(*ep, now_);
    if (st == ReadState::Nothing) {
        if (k->nonBlocking) {
            impl_->lastError = kWsaWouldBlock;
            return -1;
        }
        std::uint32_t limit = k->recvTimeoutMs;
        std::uint64_t next = nextReadEvent(*ep);
        if (next != kNever && (limit == 0 || next <= now_ + limit)) {
            advance(next - now_);
            st = readState(*ep, now_);
        } else {
            if (limit == 0) {
                impl_->log("wait forever");
            } else {
                advance(limit);
            }
            impl_->lastError = kWsaTimedOut;
            return -1;
        }
    }
    switch (st) {
    case ReadState::Data: return int(takeChunk(*ep, data, std::uint32_t(size < 0 ? 0 : size)));
    case ReadState::Closed: return 0;
    case ReadState::Failed: impl_->lastError = kWsaConnReset; return -1;
    case ReadState::Nothing: break;
    }
    impl_->lastError = kWsaTimedOut;
    return -1;
}

int SimPlatform::closeSocket(Socket s) {
    auto* k = impl_->lookupSocket(s, "closesocket");
    if (!k) return -1;
    impl_->log(k->target.empty() ? std::string("closesocket") : "closesocket " + k->target);
    k->open = false;
    return 0;
}

int SimPlatform::socketLastError() { return int(impl_->lastError); }

}  // namespace qov::sim
