// Reopening without a close in between, thousands of times, on every
// transport and slot: what the record held before is closed, so the open
// handles, sockets and socket-layer start-ups stay flat, and the connection
// still works after the last reopen.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "connections_test_support.h"
#include "qovlib.h"

using conn_test::addUsbPrinter;
using conn_test::Flags;
using conn_test::flags;
using conn_test::portArg;
using qov::connection;
using namespace qov::sim;

namespace {

constexpr int kReopens = 5000;


struct Held {
    int handles, sockets, startups;
    bool operator==(const Held& o) const {
        return handles == o.handles && sockets == o.sockets && startups == o.startups;
    }
};
std::ostream& operator<<(std::ostream& out, const Held& h) {
    return out << "{handles " << h.handles << ", sockets " << h.sockets << ", start-ups "
               << h.startups << "}";
}
Held held(const SimPlatform& sim) {
    return {sim.openHandleCount(), sim.openSocketCount(), sim.socketStartups - sim.socketCleanups};
}

// Runs `open` kReopens times; every call must succeed and leave what is
// held as after the first.
void reopenFlat(SimPlatform& sim, const std::function<bool()>& open) {
    ASSERT_TRUE(open());
    const Held first = held(sim);
    for (int i = 1; i < kReopens; ++i) {
        if (!open()) FAIL() << "reopen " << i << " failed";
    }
    EXPECT_EQ(held(sim), first);
}

TEST(ConnectionsReopen, SocketsOfEveryNetworkOpenStayFlat) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    reopenFlat(sim.os(), [] { return openethernet("10.0.0.1", 9100) == 0; });
    reopenFlat(sim.os(), [] { return openethernet_async("10.0.0.1", 9100) == 0; });
    for (int slot : {1, 2, 5}) {
        reopenFlat(sim.os(), [slot] {
            return openethernetmult(slot, const_cast<char*>("10.0.0.1"), portArg(9100)) == 0;
        });
    }
    // The current socket and slots 1, 2 and 5: one each.
    EXPECT_EQ(held(sim.os()), (Held{0, 4, 4}));

    // The last socket of each is the one in use.
    char text[] = "X";
    ASSERT_EQ(sendcommand(text), 1);
    ASSERT_EQ(sendcommand_mult(5, text), 1);
    const auto& peer = *sim->peer("10.0.0.1", 9100);
    EXPECT_EQ(peer.connections.size(), 5u * kReopens);
    EXPECT_EQ(peer.connections[2 * kReopens - 1]->received, "X\r\n");
    EXPECT_EQ(peer.connections.back()->received, "X\r\n");

    EXPECT_EQ(closeethernetport(0), 1);
    for (int slot : {1, 2, 5}) EXPECT_EQ(closeethernetportmult(slot, 0), 1);
    EXPECT_EQ(held(sim.os()), (Held{0, 0, 0}));
}

TEST(ConnectionsReopen, SpoolerPrintersOfTheCurrentConnectionAndSlotsStayFlat) {
    SimScope sim;
    Printer& p = sim->addPrinter("P", "USB001");
    reopenFlat(sim.os(), [] { return openport("P") == 0; });
    reopenFlat(sim.os(), [] { return openportmult(2, const_cast<char*>("P")) == 1; });
    // Slot 1 is the current connection's printer: openport and
    // openportmult(1) take turns on the one handle.
    reopenFlat(sim.os(), [] {
        return openportmult(1, const_cast<char*>("P")) == 1 && openport("P") == 0;
    });
    EXPECT_EQ(held(sim.os()), (Held{2, 0, 0}));
    EXPECT_EQ(p.docsStarted - p.docsEnded, 2);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(closeportmult(2), 1);
    EXPECT_EQ(held(sim.os()), (Held{0, 0, 0}));
    EXPECT_EQ(p.docsStarted, p.docsEnded);
}

TEST(ConnectionsReopen, SpoolerLookupsStayFlat) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    reopenFlat(sim.os(), [] { return std::string(driver_portname("P")) == "USB001"; });
    reopenFlat(sim.os(), [] { return std::string(returndriver(const_cast<char*>("USB001"))) == "P"; });
    reopenFlat(sim.os(), [] { return compareport(const_cast<char*>("USB001")) == 1; });
    EXPECT_EQ(held(sim.os()), (Held{1, 0, 0}));
}

TEST(ConnectionsReopen, UsbSlotsStayFlatAndAFailedReopenKeepsTheDevice) {
    SimScope sim;
    // The identifying text is searched for in lower case.
    addUsbPrinter(sim.os(), "aaa");
    addUsbPrinter(sim.os(), "bbb");
    // One slot, two devices in turn, through each USB open: each open
    // replaces (and closes) the device the one before it left in the slot.
    reopenFlat(sim.os(), [] {
        return openusbportmult(2) == 1 && openport_usbid(2, "aaa") == 0 &&
               openport_usbid_async(2, "bbb") == 0 && openport_usbid(2, "aaa") == 0;
    });
    EXPECT_EQ(held(sim.os()), (Held{1, 0, 0}));

    // Opened without sharing, the device slot 2 holds cannot be opened
    // again: that reopen fails and the slot keeps it, reachable.
    EXPECT_EQ(openport_usbid(2, "aaa"), 1);
    EXPECT_EQ(held(sim.os()), (Held{1, 0, 0}));
    char text[] = "Y";
    EXPECT_EQ(sendcommand_mult(2, text), 1);
}

TEST(ConnectionsReopen, UsbOfTheCurrentConnectionStaysFlatAfterASlotOpenClearedTheOpenFlag) {
    SimScope sim;
    addUsbPrinter(sim.os(), "AAA");
    addUsbPrinter(sim.os(), "BBB");
    // openusbportmult(1) then a failing openusbportmult(4) leave slot 1's
    // device flagged with the open flag 0, which closeport does not reach.
    reopenFlat(sim.os(), [] {
        return openusbportmult(1) == 1 && openusbportmult(4) == 0 && openport("USB") == 0;
    });
    EXPECT_EQ(held(sim.os()), (Held{1, 0, 0}));
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open}));
}

TEST(ConnectionsReopen, ComPortReopenedByOpencomportStaysOpenAndWorks) {
    SimScope sim;
    Device& com = sim->addDevice("COM1", DeviceKind::Com);
    reopenFlat(sim.os(), [] { return std::string(opencomport(const_cast<char*>("COM1"))) == "1"; });
    EXPECT_EQ(com.openHandles, 1);
    char text[] = "Z";
    EXPECT_EQ(sendcommand(text), 1);
    EXPECT_EQ(com.io.received, "Z\r\n");
    EXPECT_EQ(sim->openEventCount(), 0);
}

}  // namespace
