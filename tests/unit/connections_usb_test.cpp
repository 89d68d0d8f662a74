// USB discovery (vendor filter, last match, identified and numbered forms)
// and the USB slot opens.
#include <gtest/gtest.h>

#include <cctype>

#include "connections_test_support.h"
#include "qovlib.h"

using conn_test::addUsbPrinter;
using conn_test::Flags;
using conn_test::flags;
using conn_test::kNone;
using conn_test::usbDevicePath;
using qov::connection;
using qov::UsbSearchRecord;
using namespace qov::sim;

namespace {
std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}
}  // namespace

TEST(ConnectionsUsbDiscovery, FilterLooksAtCharactersEightToFifteenOnly) {
    SimScope sim;
    const std::string vid = qov::vendorFilter();
    const std::string ours = usbDevicePath(vid, "0001", "A");
    const std::string otherPrefix = "\\\\?\\hid#" + vid + "&pid_0002#B";
    sim->addUsbInterface(ours);
    sim->addUsbInterface(otherPrefix);                            // same place: passes
    sim->addUsbInterface(usbDevicePath(upper(vid), "0003", "C"));       // case differs
    sim->addUsbInterface(usbDevicePath("vid_0000", vid.substr(4), "D"));  // digits elsewhere
    sim->addUsbInterface("\\\\?\\usb#" + vid.substr(0, 6));       // too short
    UsbSearchRecord r;
    qov::discoverLastUsbDevice(r);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.devicePath, otherPrefix);

    qov::discoverUsbNumbered(r);
    EXPECT_EQ(r.slotPaths[1], ours);
    EXPECT_EQ(r.slotPaths[2], otherPrefix);
    EXPECT_EQ(r.slotPaths[3], "");
}

TEST(ConnectionsUsbDiscovery, LastMatchWinsAndFailedDetailsAreSkipped) {
    SimScope sim;
    addUsbPrinter(sim.os(), "SN1");
    const std::string second = addUsbPrinter(sim.os(), "SN2");
    addUsbPrinter(sim.os(), "SN3", /*detailFails=*/true);
    sim->addUsbInterface(usbDevicePath("vid_0a5f", "0001", "LATE"));
    UsbSearchRecord r;
    r.slotPaths[2] = "left over";
    qov::discoverLastUsbDevice(r);
    EXPECT_EQ(r.devicePath, second);
    EXPECT_EQ(r.slotPaths[2], "");  // a fresh record every time

    sim->usbEnumerationFails = true;
    qov::discoverLastUsbDevice(r);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.devicePath, "");
}

TEST(ConnectionsUsbDiscovery, IdentifiedFormMatchesALowerCaseCopyOfTheText) {
    SimScope sim;
    const std::string a = addUsbPrinter(sim.os(), "line7a");
    const std::string b = addUsbPrinter(sim.os(), "line7b");
    const std::string caps = addUsbPrinter(sim.os(), "CAPS9");
    UsbSearchRecord r;
    qov::discoverUsbById(r, 2, "LINE7A");
    EXPECT_EQ(r.slotPaths[2], a);
    EXPECT_EQ(r.devicePath, caps);
    qov::discoverUsbById(r, 4, "Line7");  // both hold it: the last wins
    EXPECT_EQ(r.slotPaths[4], b);
    qov::discoverUsbById(r, 1, "");  // empty text: every device
    EXPECT_EQ(r.slotPaths[1], caps);
    qov::discoverUsbById(r, 3, "CAPS9");  // the path itself is not lowered
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.slotPaths[3], "");
    qov::discoverUsbById(r, 7, "line7a");
    for (const auto& p : r.slotPaths) EXPECT_EQ(p, "");
}

TEST(ConnectionsUsbDiscovery, NumberedFormFillsFiveSlotsEveryCall) {
    SimScope sim;
    std::vector<std::string> paths;
    for (int i = 1; i <= 7; ++i) {
        paths.push_back(addUsbPrinter(sim.os(), "N" + std::to_string(i)));
        sim->addUsbInterface(usbDevicePath("vid_0a5f", "0001", "X" + std::to_string(i)));
    }
    for (int round = 0; round < 2; ++round) {  // the counter starts at 1 again
        UsbSearchRecord r;
        qov::discoverUsbNumbered(r);
        for (int k = 1; k <= 5; ++k) EXPECT_EQ(r.slotPaths[k], paths[k - 1]) << round << k;
        EXPECT_EQ(r.devicePath, paths[6]);
    }
}

TEST(ConnectionsUsbDiscovery, LongDevicePathsAreHeldWhole) {
    SimScope sim;
    const std::string path = addUsbPrinter(sim.os(), std::string(200, 's'));
    ASSERT_GT(path.size(), 200u);
    EXPECT_EQ(openport("USB"), 0);
    EXPECT_EQ(sim->device(path)->openHandles, 1);
}

TEST(ConnectionsUsbOpen, IdentifiedOpenIntoSlotOne) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    addUsbPrinter(sim.os(), "sn1");
    const std::string last = addUsbPrinter(sim.os(), "sn2");
    Printer& p = *sim->printer("P");
    ASSERT_EQ(openport("P"), 0);
    // The port name is normalised; the search uses the text as given.
    EXPECT_EQ(openport_usbid(1, " sn2 "), 1);
    EXPECT_EQ(connection().portName, "SN2");
    EXPECT_EQ(p.docsEnded, 1);  // closeport ran first
    EXPECT_EQ(openport_usbid(1, "Sn2"), 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open}));
    EXPECT_EQ(sim->device(last)->lastShare, 0u);

    EXPECT_EQ(openport_usbid_async(1, ""), 0);  // empty text: the last device
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open, &Flags::overlapped}));
    EXPECT_EQ(sim->device(last)->lastFlags, qov::kFlagOverlapped | qov::kFlagNormalAttributes);
    EXPECT_EQ(sim->device(last)->lastShare, 0u);  // ports are never shared
    EXPECT_EQ(openport_usbid(1, "SN2"), 0);
    EXPECT_EQ(flags().overlapped, 0);
}

TEST(ConnectionsUsbOpen, IdentifiedOpenIntoAnotherSlotLeavesTheCurrentConnectionClosed) {
    SimScope sim;
    const std::string path = addUsbPrinter(sim.os(), "sn1");
    EXPECT_EQ(openport_usbid_async(2, "SN1"), 0);
    EXPECT_EQ(connection().slots[2].usbFlag, 1);
    EXPECT_EQ(connection().slots[2].overlappedUsbFlag, 1);
    EXPECT_EQ(flags(), kNone);

    // A reopen that fails keeps the device the slot already holds.
    sim->device(path)->openFails = true;
    EXPECT_EQ(openport_usbid(2, "sn1"), 1);
    EXPECT_EQ(connection().slots[2].usbFlag, 1);
    EXPECT_EQ(sim->device(path)->openHandles, 1);
}

TEST(ConnectionsUsbOpen, IdentifiedOpenFailures) {
    SimScope sim;
    EXPECT_EQ(openport_usbid(1, "sn1"), 1);  // nothing passes the filter
    addUsbPrinter(sim.os(), "sn1");
    EXPECT_EQ(openport_usbid(1, "nomatch"), 1);
    for (int slot : {0, -3, 6}) {
        EXPECT_EQ(openport_usbid(slot, "sn1"), 1) << slot;
        EXPECT_EQ(openport_usbid_async(slot, "sn1"), 1) << slot;
    }
    EXPECT_EQ(openport_usbid(1, nullptr), 1);
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);
    EXPECT_TRUE(sim->boxes.empty());
    EXPECT_EQ(flags(), kNone);
}

TEST(ConnectionsUsbOpen, NumberedOpenBySlotPosition) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    addUsbPrinter(sim.os(), "SN1");
    const std::string second = addUsbPrinter(sim.os(), "SN2");
    ASSERT_EQ(openport("P"), 0);
    EXPECT_EQ(openusbportmult(2), 1);
    EXPECT_EQ(sim->device(second)->openHandles, 1);
    EXPECT_EQ(connection().slots[2].usbFlag, 1);
    // The open flag follows slot 1's USB flag, which is clear.
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler}));
    // Slot 1 is the current connection: its printer is closed, replaced.
    EXPECT_EQ(openusbportmult(1), 1);
    EXPECT_EQ(flags(), Flags::with({&Flags::usb, &Flags::open}));
    EXPECT_EQ(sim->printer("P")->openHandles, 0);
    EXPECT_TRUE(sim->boxes.empty());
}

TEST(ConnectionsUsbOpen, NumberedOpenFailuresShowTheirMessages) {
    struct Case {
        int slot;
        int printers;
        const char* text;
    };
    for (const Case& c : {Case{0, 1, "Can't using USB_Mult port"},
                          Case{-2, 0, "Can't using USB_Mult port"},
                          Case{1, 0, "Can't find printer by USB."},
                          Case{2, 1, "Couldn't create port by USB."},
                          Case{6, 1, "Couldn't create port by USB."}}) {
        SimScope sim;
        sim->addPrinter("P", "USB001");
        for (int i = 0; i < c.printers; ++i) addUsbPrinter(sim.os(), "SN" + std::to_string(i));
        ASSERT_EQ(openport("P"), 0);
        EXPECT_EQ(openusbportmult(c.slot), 0) << c.slot;
        ASSERT_EQ(sim->boxes.size(), 1u) << c.slot;
        EXPECT_EQ(sim->boxes[0].text, c.text);
        EXPECT_EQ(sim->boxes[0].caption, "Error Message");
        EXPECT_EQ(sim->boxes[0].icon, qov::Icon::Warning);
        // A bad slot number also drops the spooler flag; the others keep it.
        EXPECT_EQ(flags(), (c.slot > 0 ? Flags::with({&Flags::spooler}) : kNone)) << c.slot;
        EXPECT_EQ(sim->countCalls("EnumUsbDevices"), c.slot > 0 ? 1 : 0);
    }
}

TEST(ConnectionsUsbOpen, BadSlotNumberFinishesTheOpenSpoolerDocumentFirst) {
    SimScope sim;
    qov::sim::Printer& printer = sim->addPrinter("P", "USB001");
    ASSERT_EQ(openport("P"), 0);
    ASSERT_EQ(sendcommand("LABEL"), 1);
    EXPECT_EQ(openusbportmult(0), 0);
    // Box, then page, document and printer closed, in that order.
    const int box = conn_test::callAt(sim.os(), "MessageBox Error Message: Can't using USB_Mult port");
    const int endPage = conn_test::callAt(sim.os(), "EndPagePrinter P");
    const int endDoc = conn_test::callAt(sim.os(), "EndDocPrinter P");
    const int close = conn_test::callAt(sim.os(), "ClosePrinter P");
    ASSERT_GE(box, 0);
    EXPECT_LT(box, endPage);
    EXPECT_LT(endPage, endDoc);
    EXPECT_LT(endDoc, close);
    EXPECT_EQ(printer.docsEnded, 1);
    EXPECT_EQ(printer.openHandles, 0);
    EXPECT_EQ(flags(), kNone);
    // Nothing is open: a close has nothing left to end.
    EXPECT_EQ(closeport(), 0);
    EXPECT_EQ(sim->countCalls("ClosePrinter"), 1);
    // Without a document open, only the box.
    EXPECT_EQ(openusbportmult(-1), 0);
    EXPECT_EQ(sim->countCalls("EndPagePrinter"), 1);
}
