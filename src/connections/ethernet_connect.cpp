// openethernet, openethernet_async and openethernetmult: TCP connections to
// a printer's dotted IPv4 address.
#include <cstdint>

#include "connections/connection_record.h"
#include "connections/network_close.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"
#include "reading/receive_state.h"

namespace qov {
namespace {

constexpr std::uint32_t kSocketTimeoutMs = 1000;
// The printer needs a moment after the connect before it takes data.
constexpr std::uint32_t kSettleMs = 50;
constexpr long kAsyncConnectWaitSeconds = 5;

void setSocketTimeouts(Socket s) {
    os().setSendTimeout(s, kSocketTimeoutMs);
    os().setReceiveTimeout(s, kSocketTimeoutMs);
}

// Socket-layer start-up, TCP socket, blocking connect, time-outs, settle.
// On failure everything it opened is closed again and kInvalidSocket is
// returned; on success the caller holds the socket and one start-up.
Socket connectBlocking(const char* address, int port) {
    os().socketStartup();
    const Socket s = os().createTcpSocket();
    if (s == kInvalidSocket) {
        os().socketCleanup();
        return kInvalidSocket;
    }
    if (os().connect(s, os().inetAddr(address), static_cast<std::uint16_t>(port)) != 0) {
        os().closeSocket(s);
        os().socketCleanup();
        return kInvalidSocket;
    }
    setSocketTimeouts(s);
    os().sleep(kSettleMs);
    return s;
}

// A failed open leaves an earlier connection's socket in place: only a
// connected socket replaces it, and the replaced one is closed.
int openEthernetImpl(const char* address, int port) {
    ConnectionRecord& c = connection();
    receiveState().socketErrorFlag = 0;
    const Socket s = connectBlocking(address, port);
    if (s == kInvalidSocket) return 1;
    replaceCurrentSocket(s);
    c.networkFlag = 1;
    c.connectionOpenFlag = 1;
    return 0;
}

int openEthernetAsyncImpl(const char* address, int port) {
    ConnectionRecord& c = connection();
    os().socketStartup();
    const Socket s = os().createTcpSocket();
    if (s == kInvalidSocket) {
        os().socketCleanup();
        return 1;
    }
    auto discard = [&] {
        os().closeSocket(s);
        os().socketCleanup();
    };
    // The socket stays non-blocking for every later send and read.
    os().setNonBlocking(s, true);
    // A non-blocking connect reports that it would block; select tells.
    os().connect(s, os().inetAddr(address), static_cast<std::uint16_t>(port));
    setSocketTimeouts(s);
    if (os().selectWritable(s, kAsyncConnectWaitSeconds, 0) <= 0) {
        discard();
        return 1;
    }
    int error = -1;
    os().socketError(s, &error);
    if (error != 0) {
        c.connectionOpenFlag = 0;
        c.networkFlag = 0;
        discard();
        return 1;
    }
    replaceCurrentSocket(s);
    c.connectionOpenFlag = 1;
    c.networkFlag = 1;
    return 0;
}

int openEthernetMultImpl(int slot, const char* address, int port) {
    if (!validSlot(slot)) return 1;
    ConnectionRecord& c = connection();
    receiveState().socketErrorFlag = 0;
    const Socket s = connectBlocking(address, port);
    if (s == kInvalidSocket) return 1;
    replaceSlotSocket(slot, s);
    c.slotNet[slot].networkFlag = 1;
    c.connectionOpenFlag = 1;
    return 0;
}

}  // namespace
}  // namespace qov

// A null address, or a port outside 1..65535 (which would otherwise wrap to
// another port's low 16 bits), connects nothing and changes nothing.
namespace {
bool validPort(int port) { return port >= 1 && port <= 65535; }
}  // namespace

int openethernet(const char* address, int port) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (address == nullptr || !validPort(port)) return 1;
        return qov::openEthernetImpl(address, port);
    });
}

int openethernet_async(const char* address, int port) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (address == nullptr || !validPort(port)) return 1;
        return qov::openEthernetAsyncImpl(address, port);
    });
}

// The port travels in the pointer argument's own value, never dereferenced.
int openethernetmult(int slot, char* address, int* port) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (address == nullptr) return 1;
        const auto portValue = static_cast<int>(reinterpret_cast<std::uintptr_t>(port) & 0xFFFFu);
        if (!validPort(portValue)) return 1;
        return qov::openEthernetMultImpl(slot, address, portValue);
    });
}
