// closeethernetport, closeethernetportmult and the socket closes that
// closeport shares.
#include <cstdint>

#include "connections/connection_record.h"
#include "connections/network_close.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"

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

// A negative delay would be an endless sleep once taken as unsigned.
std::uint32_t delayMs(int delay) { return delay > 0 ? static_cast<std::uint32_t>(delay) : 0; }

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
