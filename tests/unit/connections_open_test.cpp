// openport, openport_async and openportmult: the order of the transport
// tests, the flags each leaves, the message boxes of the failures.
#include <gtest/gtest.h>

#include "connections_test_support.h"
#include "qovlib.h"

using conn_test::callAt;
using conn_test::Flags;
using conn_test::flags;
using conn_test::kNone;
using qov::connection;
using namespace qov::sim;

TEST(ConnectionsOpenPort, SpoolerNameStartsDocumentAndPage) {
    SimScope sim;
    Printer& p = sim->addPrinter("Shop Label 1", "USB001");
    EXPECT_EQ(openport("Shop Label 1"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::open}));
    EXPECT_EQ(sim->calls, (std::vector<std::string>{"OpenPrinter Shop Label 1",
                                                     "StartDocPrinter Shop Label 1 Printing...",
                                                     "StartPagePrinter Shop Label 1"}));
    EXPECT_EQ(p.openHandles, 1);
    EXPECT_TRUE(sim->boxes.empty());
}

TEST(ConnectionsOpenPort, LongSpoolerNameIsOpenedWhole) {
    SimScope sim;
    const std::string name = "\\\\print-server-07\\Warehouse Dock Label A";  // 40 characters
    ASSERT_EQ(name.size(), 40u);
    Printer& p = sim->addPrinter(name, "IP_10.0.0.7");
    EXPECT_EQ(openport(name.c_str()), 0);
    EXPECT_EQ(connection().portName, name);
    EXPECT_EQ(p.docsStarted, 1);
    EXPECT_EQ(openportmult(2, const_cast<char*>(name.c_str())), 1);
    EXPECT_EQ(p.openHandles, 2);
}

TEST(ConnectionsOpenPort, UnknownNameShowsTheNameAsPassedThenTheDriverBox) {
    SimScope sim;
    EXPECT_EQ(openport("  Front desk\t"), 1);
    ASSERT_EQ(sim->boxes.size(), 2u);
    EXPECT_EQ(sim->boxes[0].text, "  Front desk\t");
    EXPECT_EQ(sim->boxes[1].text, "Can't Find Printer Driver, Please check Driver Name");
    for (const auto& box : sim->boxes) {
        EXPECT_EQ(box.caption, "Error Message");
        EXPECT_EQ(box.icon, qov::Icon::Warning);
    }
    EXPECT_EQ(connection().portName, "FRONT DESK");
    EXPECT_EQ(flags(), kNone);
}

TEST(ConnectionsOpenPort, NearMissPortNamesAreUnknownNames) {
    for (const char* name : {"COM6", "COM10", "LPT5", "LPT0", "USB2", "U SB"}) {
        SimScope sim;
        EXPECT_EQ(openport(name), 1) << name;
        EXPECT_EQ(sim->boxes.size(), 2u) << name;
        EXPECT_EQ(sim->countCalls("CreateFile"), 0) << name;
        EXPECT_EQ(sim->countCalls("EnumUsbDevices"), 0) << name;
    }
}

TEST(ConnectionsOpenPort, PortNamesAreNormalisedOnlyAfterTheSpoolerRejectedThem) {
    SimScope sim;
    const std::string path = conn_test::addUsbPrinter(sim.os(), "SN1");
    EXPECT_EQ(openport(" usb\t"), 0);
    EXPECT_EQ(sim->calls.at(0), "OpenPrinter  usb\t");
    EXPECT_LT(0, callAt(sim.os(), "EnumUsbDevices"));
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open}));
    const Device& d = *sim->device(path);
    EXPECT_EQ(d.lastAccess, qov::kAccessRead | qov::kAccessWrite);
    EXPECT_EQ(d.lastShare, 0u);
    EXPECT_EQ(d.lastFlags, 0u);
    ASSERT_TRUE(d.timeoutsSet);
    EXPECT_EQ(d.timeouts.readInterval, 1000u);
    EXPECT_EQ(d.timeouts.readTotalConstant + d.timeouts.writeTotalConstant, 0u);
}

TEST(ConnectionsOpenPort, SpoolerIsTriedBeforePortNames) {
    SimScope sim;
    sim->addPrinter("LPT1", "LPT1:");
    sim->addDevice("LPT1", DeviceKind::Lpt);
    EXPECT_EQ(openport("LPT1"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::open}));
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);
}

TEST(ConnectionsOpenPort, UsbWithoutAPrinterOrWithoutAccessFailsSilently) {
    SimScope sim;
    sim->addUsbInterface(conn_test::usbDevicePath("vid_0a5f", "0001", "OTHER"));
    EXPECT_EQ(openport("USB"), 1);
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);
    const std::string path = conn_test::addUsbPrinter(sim.os(), "SN1");
    sim->device(path)->openFails = true;
    EXPECT_EQ(openport("USB"), 1);
    EXPECT_EQ(sim->countCalls("CreateFile"), 1);
    EXPECT_EQ(flags(), kNone);
    EXPECT_TRUE(sim->boxes.empty());
}

TEST(ConnectionsOpenPort, ParallelPortIsCreatedForWritingWithItsEvent) {
    SimScope sim;
    Device& lpt = sim->addDevice("LPT2", DeviceKind::Lpt);
    EXPECT_EQ(openport("lpt2"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::parallel, &Flags::open}));
    EXPECT_EQ(lpt.lastAccess, qov::kAccessWrite);
    EXPECT_EQ(lpt.lastShare, 0u);  // ports are never shared
    EXPECT_EQ(lpt.lastDisposition, qov::Disposition::CreateAlways);
    EXPECT_EQ(lpt.lastFlags, qov::kFlagNormalAttributes);
    EXPECT_NE(connection().portOverlapped.event, qov::kNullHandle);
    // A second open replaces the event rather than leaking the first.
    EXPECT_EQ(openport("LPT2"), 0);
    EXPECT_EQ(sim->openEventCount(), 1);
    EXPECT_EQ(lpt.openHandles, 1);

    lpt.openFails = true;
    EXPECT_EQ(openport("LPT2"), 1);
    EXPECT_EQ(flags(), kNone);
    EXPECT_EQ(sim->openEventCount(), 1);  // created whether or not the port opened
    EXPECT_TRUE(sim->boxes.empty());
}

TEST(ConnectionsOpenPort, SerialPortGetsItsTimeoutsAndKeepsItsLineSettings) {
    SimScope sim;
    Device& com = sim->addDevice("COM3", DeviceKind::Com);
    com.serial = {19200, 1, 7, 2, 2};
    EXPECT_EQ(openport("com3 "), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::serial, &Flags::open}));
    EXPECT_EQ(com.lastAccess, qov::kAccessRead | qov::kAccessWrite);
    EXPECT_EQ(com.lastShare, 0u);
    EXPECT_EQ(com.lastDisposition, qov::Disposition::OpenExisting);
    EXPECT_EQ(com.lastFlags, 0u);
    const auto& t = com.timeouts;
    EXPECT_EQ((std::vector<std::uint32_t>{t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                                          t.writeTotalMultiplier, t.writeTotalConstant}),
              (std::vector<std::uint32_t>{50, 10, 50, 10, 50}));
    EXPECT_EQ(com.serial.baudRate, 19200u);
    EXPECT_EQ(sim->countCalls("SetCommState"), 0);
}

TEST(ConnectionsOpenPort, SerialPortThatCannotBeOpenedShowsOneMessage) {
    SimScope sim;
    EXPECT_EQ(openport("COM5"), 1);  // no such device
    ASSERT_EQ(sim->boxes.size(), 1u);
    EXPECT_EQ(sim->boxes[0].text, "Couldn't open the specific COM port.");
    EXPECT_EQ(sim->boxes[0].caption, "Message");
    EXPECT_EQ(sim->boxes[0].icon, qov::Icon::Warning);
    EXPECT_EQ(flags(), kNone);
}

TEST(ConnectionsOpenPort, ClosesTheFirstOpenTransportFirst) {
    SimScope sim;
    Printer& p = sim->addPrinter("P", "USB001");
    sim->addPeer("10.1.1.9", 9100);
    ASSERT_EQ(openport("P"), 0);
    ASSERT_EQ(openethernet("10.1.1.9", 9100), 0);
    ASSERT_EQ(openport("P"), 0);  // closes only the printer
    EXPECT_EQ(p.docsEnded, 1);
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::network, &Flags::open}));
    ASSERT_EQ(closeport(), 1);

    // With only the socket left, the next open waits 1000 ms and closes it.
    sim->calls.clear();
    ASSERT_EQ(openport("P"), 0);
    EXPECT_LT(callAt(sim.os(), "Sleep 1000"), callAt(sim.os(), "closesocket tcp:10.1.1.9:9100"));
    EXPECT_LT(callAt(sim.os(), "closesocket"), callAt(sim.os(), "OpenPrinter P"));
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::open}));
}

TEST(ConnectionsOpenPort, NullNameChangesNothing) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    ASSERT_EQ(openport("P"), 0);
    sim->calls.clear();
    EXPECT_EQ(openport(nullptr), 1);
    EXPECT_EQ(openport_async(nullptr), 1);
    EXPECT_EQ(openportmult(2, nullptr), 0);
    EXPECT_TRUE(sim->calls.empty());
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::open}));
}

TEST(ConnectionsOpenPortAsync, OpensTheLastUsbPrinterForOverlappedIo) {
    SimScope sim;
    conn_test::addUsbPrinter(sim.os(), "SN1");
    const std::string last = conn_test::addUsbPrinter(sim.os(), "SN2");
    EXPECT_EQ(openport_async("Usb"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open, &Flags::overlapped}));
    EXPECT_EQ(sim->countCalls("OpenPrinter"), 0);
    const Device& d = *sim->device(last);
    EXPECT_EQ(d.openHandles, 1);
    EXPECT_EQ(d.lastShare, 0u);  // ports are never shared
    EXPECT_EQ(d.lastFlags, qov::kFlagOverlapped | qov::kFlagNormalAttributes);
    // A plain openport clears the overlapped flag again.
    EXPECT_EQ(openport("USB"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open}));
}

TEST(ConnectionsOpenPortAsync, OtherNamesOnlyCloseWhatWasOpen) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    sim->addDevice("LPT1", DeviceKind::Lpt);
    ASSERT_EQ(openport("P"), 0);
    EXPECT_EQ(openport_async("LPT1"), 1);
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));  // as closeport left them
}

TEST(ConnectionsOpenPortAsync, FailsWhenNoPrinterIsFoundDespiteAnEarlierHandle) {
    SimScope sim;
    conn_test::addUsbPrinter(sim.os(), "SN1");
    ASSERT_EQ(openport_async("USB"), 0);
    // The stored handle is now a closed one; it must not count as opened.
    sim->usbEnumerationFails = true;
    EXPECT_EQ(openport_async("USB"), 1);
    EXPECT_EQ(flags(), kNone);
}

TEST(ConnectionsOpenPortMult, OpensIntoASlotWithoutTouchingTheCurrentConnection) {
    SimScope sim;
    Printer& p = sim->addPrinter("Dock", "USB002");
    EXPECT_EQ(openportmult(3, const_cast<char*>(" Dock")), 0);  // not trimmed
    EXPECT_EQ(connection().portName, " Dock");
    EXPECT_EQ(openportmult(3, const_cast<char*>("Dock")), 1);
    EXPECT_EQ(connection().slots[3].spoolerFlag, 1);
    EXPECT_EQ(p.docsStarted, 1);
    EXPECT_EQ(p.pagesStarted, 1);
    EXPECT_EQ(flags(), kNone);

    // Slot 1 is the current connection: closeport ends its document.
    EXPECT_EQ(openportmult(1, const_cast<char*>("Dock")), 1);
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::open}));
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(p.docsEnded, 1);
}

TEST(ConnectionsOpenPortMult, BadSlotsAndUnknownPrintersOpenNothing) {
    SimScope sim;
    Printer& p = sim->addPrinter("Dock", "USB002");
    for (int slot : {0, -1, 6}) {
        EXPECT_EQ(openportmult(slot, const_cast<char*>("Dock")), 0) << slot;
    }
    EXPECT_EQ(sim->countCalls("OpenPrinter"), 0);
    EXPECT_EQ(connection().portName, "Dock");

    ASSERT_EQ(openportmult(2, const_cast<char*>("Dock")), 1);
    EXPECT_EQ(openportmult(2, const_cast<char*>("Nowhere")), 0);
    // The printer already open in the slot stays open and reachable.
    EXPECT_EQ(connection().slots[2].spoolerFlag, 1);
    EXPECT_EQ(closeportmult(2), 1);
    EXPECT_EQ(p.docsEnded, 1);
    EXPECT_EQ(p.openHandles, 0);
}
