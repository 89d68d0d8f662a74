// closeethernetport, closeethernetportmult and the socket closes that
// closeport shares.
#include <cstdint>

#include "connections/connection_record.h"
#include "connections/network_close.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"
#include "wait_bounds.h"

namespace qov {
namespace {

void closeSocketAndStartups(Socket& s, int& startups) {
    if (s != kInvalidSocket) {
        os().closeSocket(s);
        s = kInvalidSocket;
    }
    // Every open starts the socket layer; the close balances it.
    for (; startups > 0; --startups) os().socketCleanup();
}

// A negative delay would be an endless sleep once taken as unsigned, a huge
// one nearly so.
std::uint32_t delayMs(int delay) { return boundedDelayMs(delay); }

}  // namespace

void closeCurrentSocket() {
    ConnectionRecord& c = connection();
    closeSocketAndStartups(c.networkSocket, c.networkStartups);
    c.networkFlag = 0;
}

void closeSlotSocket(int slot) {
    SlotNetwork& net = connection().slotNet[slot];
    closeSocketAndStartups(net.socket, net.startups);
    net.networkFlag = 0;
}

void replaceCurrentSocket(Socket s) {
    ConnectionRecord& c = connection();
    closeSocketAndStartups(c.networkSocket, c.networkStartups);
    c.networkSocket = s;
    c.networkStartups = 1;
}

void replaceSlotSocket(int slot, Socket s) {
    SlotNetwork& net = connection().slotNet[slot];
    closeSocketAndStartups(net.socket, net.startups);
    net.socket = s;
    net.startups = 1;
}

}  // namespace qov

// The delay gives the printer time to take the last data before the close.

int closeethernetport(int delay) {
    return qov::noThrow(1, [&] {
        qov::os().sleep(qov::delayMs(delay));
        qov::closeCurrentSocket();
        return 1;
    });
}

int closeethernetportmult(int slot, int delay) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (!qov::validSlot(slot)) return 0;
        qov::os().sleep(qov::delayMs(delay));
        qov::closeSlotSocket(slot);
        return 1;
    });
}
