// closeport and closeportmult: which transport each closes, in which order,
// and what stays open.
#include <gtest/gtest.h>

#include "connections_test_support.h"
#include "qovlib.h"
#include "reading/receive_state.h"

using conn_test::callAt;
using conn_test::Flags;
using conn_test::flags;
using qov::connection;
using namespace qov::sim;

TEST(ConnectionsClose, NothingOpenReturnsZero) {
    SimScope sim;
    EXPECT_EQ(closeport(), 0);
    EXPECT_TRUE(sim->calls.empty());
}

TEST(ConnectionsClose, RepeatedCallsWalkSpoolerThenSocketThenStop) {
    SimScope sim;
    Printer& p = sim->addPrinter("P", "USB001");
    sim->addPeer("10.1.1.9", 9100);
    ASSERT_EQ(openport("P"), 0);
    ASSERT_EQ(openethernet("10.1.1.9", 9100), 0);
    sim->calls.clear();
    const auto t0 = sim->nowMs();

    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(sim->calls, (std::vector<std::string>{"EndPagePrinter P", "EndDocPrinter P",
                                                     "ClosePrinter P"}));
    EXPECT_EQ(p.openHandles, 0);
    EXPECT_EQ(sim->nowMs(), t0);
    EXPECT_EQ(flags(), Flags::with({&Flags::network, &Flags::open}));

    sim->calls.clear();
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(sim->nowMs(), t0 + 1000);
    EXPECT_EQ(callAt(sim.os(), "Sleep 1000"), 0);
    EXPECT_EQ(callAt(sim.os(), "closesocket tcp:10.1.1.9:9100"), 1);
    EXPECT_EQ(sim->openSocketCount(), 0);
    // The open flag survives every close.
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));

    sim->calls.clear();
    EXPECT_EQ(closeport(), 0);
    EXPECT_TRUE(sim->calls.empty());
}

TEST(ConnectionsClose, SerialCloseReleasesPortAndReadEventsOnce) {
    SimScope sim;
    sim->addDevice("COM1", DeviceKind::Com);
    ASSERT_EQ(openport("COM1"), 0);
    connection().portOverlapped.event = sim->createEvent(true, false);
    qov::receiveState().readOverlapped.event = sim->createEvent(false, false);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(sim->openEventCount(), 0);
    EXPECT_EQ(sim->openHandleCount(), 0);
    EXPECT_EQ(connection().portOverlapped.event, qov::kNullHandle);
    EXPECT_EQ(qov::receiveState().readOverlapped.event, qov::kNullHandle);
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));

    // Without the events held, a serial close closes only the port.
    ASSERT_EQ(openport("COM1"), 0);
    sim->calls.clear();
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(sim->calls, (std::vector<std::string>{"CloseHandle COM1"}));
}

TEST(ConnectionsClose, ParallelAndUsbHandlesAreClosed) {
    SimScope sim;
    Device& lpt = sim->addDevice("LPT1", DeviceKind::Lpt);
    const std::string path = conn_test::addUsbPrinter(sim.os(), "SN1");
    ASSERT_EQ(openport("LPT1"), 0);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(lpt.openHandles, 0);
    ASSERT_EQ(openport("USB"), 0);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(sim->device(path)->openHandles, 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));
}

TEST(ConnectionsCloseMult, SlotsCloseTheirOwnUsbOrPrinter) {
    SimScope sim;
    Printer& p = sim->addPrinter("P", "USB001");
    const std::string path = conn_test::addUsbPrinter(sim.os(), "SN1");
    ASSERT_EQ(openportmult(3, const_cast<char*>("P")), 1);
    EXPECT_EQ(closeportmult(3), 1);
    EXPECT_EQ(p.docsEnded, 1);
    EXPECT_EQ(p.openHandles, 0);
    EXPECT_EQ(connection().slots[3].spoolerFlag, 0);

    // A USB open into slot 2 replaces its printer, which it closes first;
    // closeportmult then closes the USB device.
    const std::string second = conn_test::addUsbPrinter(sim.os(), "SN2");
    ASSERT_EQ(openportmult(2, const_cast<char*>("P")), 1);
    ASSERT_EQ(openusbportmult(2), 1);
    EXPECT_EQ(p.docsEnded, 2);
    EXPECT_EQ(p.openHandles, 0);
    EXPECT_EQ(connection().slots[2].spoolerFlag, 0);
    sim->calls.clear();
    EXPECT_EQ(closeportmult(2), 1);
    EXPECT_EQ(sim->calls, (std::vector<std::string>{"CloseHandle " + second}));
    EXPECT_EQ(connection().slots[2].usbFlag, 0);
    EXPECT_EQ(sim->device(path)->openHandles, 0);
}

TEST(ConnectionsCloseMult, EmptyOrBadSlotsFallBackToTheCurrentLptOrUsb) {
    SimScope sim;
    Device& lpt = sim->addDevice("LPT1", DeviceKind::Lpt);
    ASSERT_EQ(openport("LPT1"), 0);
    EXPECT_EQ(closeportmult(3), 1);
    EXPECT_EQ(lpt.openHandles, 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));

    const std::string path = conn_test::addUsbPrinter(sim.os(), "SN1");
    ASSERT_EQ(openport("USB"), 0);
    EXPECT_EQ(closeportmult(9), 1);
    EXPECT_EQ(sim->device(path)->openHandles, 0);
    EXPECT_EQ(flags().usb, 0);

    sim->calls.clear();
    EXPECT_EQ(closeportmult(9), 1);
    EXPECT_EQ(closeportmult(0), 1);
    EXPECT_TRUE(sim->calls.empty());
}

TEST(ConnectionsCloseMult, NeverClosesSerialPortsOrSockets) {
    SimScope sim;
    sim->addDevice("COM2", DeviceKind::Com);
    sim->addPeer("10.1.1.9", 9100);
    ASSERT_EQ(openport("COM2"), 0);
    ASSERT_EQ(openethernet("10.1.1.9", 9100), 0);
    sim->calls.clear();
    for (int slot : {1, 2, 6}) EXPECT_EQ(closeportmult(slot), 1);
    EXPECT_TRUE(sim->calls.empty());
    EXPECT_EQ(flags(), Flags::with({&Flags::serial, &Flags::network, &Flags::open}));
}
