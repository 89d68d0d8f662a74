// Command sends: the bytes, kinds and number of writes on every transport,
// the orders in which the exports test the transports, and the slots.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sending_test_support.h"

namespace {

using namespace sending_test;
using qov::sim::SimScope;

// ---------------------------------------------------------------------------
// Every command export on every transport, after the transport's own open.
// ---------------------------------------------------------------------------

struct LinkCase {
    Link link;
    const char* withLineEnd;  // sendcommand("AB")
    const char* noLineEnd;    // sendcommand_withoutcrlf("AB")
    bool slotOneShared;       // reachable through sendcommand_mult(1, ...)
    bool slotOneOwn;          // reachable through sendcommandmult(1, ...)
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << linkName(c.link); }

const LinkCase kLinkCases[] = {
    {Link::Spooler, "WritePrinter[AB] WritePrinter[\\r\\n]", "WritePrinter[AB]", true, true},
    {Link::Lpt, "WriteFile[AB] WriteFile[\\r\\n]", "WriteFile[AB]", false, false},
    {Link::Usb, "WriteFile[AB] WriteFile[\\r\\n]", "WriteFile[AB]", true, true},
    {Link::UsbAsync, "WriteFileOv[AB] WriteFileOv[\\r\\n]", "WriteFileOv[AB]", true, true},
    {Link::Network, "Send[AB] Send[\\r\\n]", "Send[AB]", true, false},
    // Text and line end leave in one serial write.
    {Link::Com, "WriteFileOv[AB\\r\\n]", "WriteFileOv[AB]", true, false},
};

class SendingCommandOnLink : public ::testing::TestWithParam<LinkCase> {
protected:
    void SetUp() override { open(sim.os(), GetParam().link); }

    // Runs one send and checks that every write went to the open link.
    int send(std::string& writes, const std::function<int()>& call) {
        const std::size_t from = sim->writes.size();
        const int rc = run(sim.os(), writes, call);
        for (const std::string& target : targetsSince(sim.os(), from)) {
            EXPECT_EQ(target, targetOf(GetParam().link));
        }
        return rc;
    }

    SimScope sim;
    char ab[3] = "AB";
};

TEST_P(SendingCommandOnLink, CurrentConnectionSendsWithAndWithoutLineEnd) {
    const LinkCase& c = GetParam();
    std::string w;
    EXPECT_EQ(send(w, [] { return sendcommand("AB"); }), 1);
    EXPECT_EQ(w, c.withLineEnd);
    EXPECT_EQ(send(w, [&] { return sendcommand_withoutcrlf(ab); }), 1);
    EXPECT_EQ(w, c.noLineEnd);
    // Byte-identical to sendcommand_withoutcrlf on every transport.
    EXPECT_EQ(send(w, [] { return sendcommandnocrlf("AB"); }), 1);
    EXPECT_EQ(w, c.noLineEnd);
}

TEST_P(SendingCommandOnLink, EncodedSendsWriteLikeSendcommand) {
    const LinkCase& c = GetParam();
    std::string w;
    EXPECT_EQ(send(w, [] { return sendcommandutf8("AB"); }), 1);
    EXPECT_EQ(w, c.withLineEnd);
    wchar_t wide[] = L"AB";
    EXPECT_EQ(send(w, [&] { return sendcommandUnicode(wide); }), 1);
    EXPECT_EQ(w, c.withLineEnd);
}

TEST_P(SendingCommandOnLink, SlotOneSharedSends) {
    const LinkCase& c = GetParam();
    std::string w;
    const int expected = c.slotOneShared ? 1 : 0;
    EXPECT_EQ(send(w, [&] { return sendcommand_mult(1, ab); }), expected);
    EXPECT_EQ(w, c.slotOneShared ? c.withLineEnd : "");
    EXPECT_EQ(send(w, [&] { return sendcommand_withoutcrlf_mult(1, ab); }), expected);
    EXPECT_EQ(w, c.slotOneShared ? c.noLineEnd : "");
    EXPECT_EQ(send(w, [&] { return sendcommandutf8_mult(1, ab); }), expected);
    EXPECT_EQ(w, c.slotOneShared ? c.withLineEnd : "");
}

TEST_P(SendingCommandOnLink, SlotOneOwnSend) {
    const LinkCase& c = GetParam();
    std::string w;
    EXPECT_EQ(send(w, [&] { return sendcommandmult(1, ab); }), c.slotOneOwn ? 1 : 0);
    EXPECT_EQ(w, c.slotOneOwn ? c.withLineEnd : "");
}

INSTANTIATE_TEST_SUITE_P(AllLinks, SendingCommandOnLink, ::testing::ValuesIn(kLinkCases),
                         [](const auto& info) { return std::string(linkName(info.param.link)); });

// ---------------------------------------------------------------------------
// Orders of tests
// ---------------------------------------------------------------------------

TEST(SendingOrder, SpoolerIsTestedBeforeNetwork) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    open(sim.os(), Link::Network);
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 1);
    EXPECT_EQ(w, "WritePrinter[X] WritePrinter[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommandutf8("X"); }), 1);
    EXPECT_EQ(w, "WritePrinter[X] WritePrinter[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [] { return sendBinaryData("X", 1); }), 1);
    EXPECT_EQ(w, "WritePrinter[X] WritePrinter[\\r\\n]");
    EXPECT_TRUE(sim->bytesTo(peerTarget()).empty());

    // With the printer closed the socket is next.
    ASSERT_EQ(closeport(), 1);
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
    EXPECT_EQ(sim->bytesTo(peerTarget()), "X\r\n");
}

TEST(SendingOrder, CommandsPreferTheSocketBinaryWritersTheComPort) {
    SimScope sim;
    open(sim.os(), Link::Com);
    open(sim.os(), Link::Network);
    std::string w;
    char x[] = "X";
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(1, x); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [] { return sendBinaryData("X", 1); }), 1);
    EXPECT_EQ(w, "WriteFileOv[X] WriteFileOv[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [&] { return ZULOutBuffer(x); }), 1);
    EXPECT_EQ(w, "WriteFileOv[X]");
    EXPECT_EQ(sim->bytesTo("COM1"), "X\r\nX");
}

TEST(SendingOrder, LptPortIsUnreachableThroughSlotSends) {
    SimScope sim;
    open(sim.os(), Link::Lpt);
    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(1, x); }), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_withoutcrlf_mult(1, x); }), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandutf8_mult(1, x); }), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(1, x); }), 0);
    EXPECT_TRUE(sim->writes.empty());
    // The current connection reaches it.
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 1);
    EXPECT_EQ(w, "WriteFile[X] WriteFile[\\r\\n]");
}

TEST(SendingOrder, SlotOneSocketOfOpenethernetOnlyReachedBySendcommandMult) {
    SimScope sim;
    open(sim.os(), Link::Network);
    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(1, x); }), 0);
    EXPECT_EQ(w, "");
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(1, x); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
    EXPECT_EQ(sim->bytesTo(peerTarget()), "X\r\n");
}

TEST(SendingOrder, SlotOneSocketOfOpenethernetmultOnlyReachedBySendcommandmult) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort);
    ASSERT_EQ(openethernetmult(1, const_cast<char*>(kPeerAddress), portArg(kPeerPort)), 0);
    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(1, x); }), 0);
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 0);
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(1, x); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
}

TEST(SendingOrder, SlotOneSocketsStaySeparate) {
    SimScope sim;
    open(sim.os(), Link::Network);
    sim->addPeer("10.0.0.8", 9101);
    char other[] = "10.0.0.8";
    ASSERT_EQ(openethernetmult(1, other, portArg(9101)), 0);
    char a[] = "A", b[] = "B";
    EXPECT_EQ(sendcommand_mult(1, a), 1);
    EXPECT_EQ(sendcommandmult(1, b), 1);
    EXPECT_EQ(sim->bytesTo(peerTarget()), "A\r\n");
    EXPECT_EQ(sim->bytesTo(peerTarget("10.0.0.8", 9101)), "B\r\n");
}

TEST(SendingOrder, SendcommandmultTestsUsbBeforeTheSpooler) {
    SimScope sim;
    sim->addPrinter("ZP-2", "USB002");
    sim->addUsbInterface(usbPath());
    sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
    char zp2[] = "ZP-2";
    ASSERT_EQ(openportmult(2, zp2), 1);
    ASSERT_EQ(openport_usbid(2, ""), 0);
    // The USB open closed the slot's printer; both flags set is a state no
    // open leaves any more, set here to show the order of the tests.
    ASSERT_EQ(qov::connection().slots[2].spoolerFlag, 0);
    qov::connection().slots[2].spoolerFlag = 1;
    ASSERT_EQ(qov::connection().slots[2].usbFlag, 1);

    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(2, x); }), 1);
    EXPECT_EQ(w, "WriteFile[X] WriteFile[\\r\\n]");
    EXPECT_EQ(sim->bytesTo(usbPath()), "X\r\n");
    // sendcommand_mult tests the spooler first: a WritePrinter on the slot
    // handle, which is the USB device's now and takes no spooler writes.
    const int attempts = sim->countCalls("WritePrinter");
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(2, x); }), 1);
    EXPECT_EQ(w, "");
    EXPECT_EQ(sim->countCalls("WritePrinter") - attempts, 2);
    EXPECT_EQ(sim->bytesTo(usbPath()), "X\r\n");
}

// ---------------------------------------------------------------------------
// Slots 2 to 5
// ---------------------------------------------------------------------------

TEST(SendingSlots, SpoolerSlotIsReachedOnlyThroughItsNumber) {
    SimScope sim;
    sim->addPrinter("ZP-3", "USB003");
    char zp3[] = "ZP-3";
    ASSERT_EQ(openportmult(3, zp3), 1);
    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(1, x); }), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(2, x); }), 0);
    EXPECT_TRUE(sim->writes.empty());

    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(3, x); }), 1);
    EXPECT_EQ(w, "WritePrinter[X] WritePrinter[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_withoutcrlf_mult(3, x); }), 1);
    EXPECT_EQ(w, "WritePrinter[X]");
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(3, x); }), 1);
    EXPECT_EQ(w, "WritePrinter[X] WritePrinter[\\r\\n]");
    EXPECT_EQ(sim->bytesTo("ZP-3"), "X\r\nXX\r\n");
}

TEST(SendingSlots, NetworkSlotHasItsOwnSocket) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort);
    char address[] = "10.0.0.7";
    ASSERT_EQ(openethernetmult(5, address, portArg(kPeerPort)), 0);
    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(5, x); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(5, x); }), 1);
    EXPECT_EQ(w, "Send[X] Send[\\r\\n]");
    // The current connection has no socket of its own.
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("X"); }), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(4, x); }), 0);
    EXPECT_EQ(sim->bytesTo(peerTarget()), "X\r\nX\r\n");
}

TEST(SendingSlots, OverlappedUsbSlotWritesOverlappedFromEverySlotSend) {
    SimScope sim;
    sim->addUsbInterface(usbPath());
    sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
    ASSERT_EQ(openport_usbid_async(2, ""), 0);
    char x[] = "X";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_mult(2, x); }), 1);
    EXPECT_EQ(w, "WriteFileOv[X] WriteFileOv[\\r\\n]");
    // A plain WriteFile would be rejected by the overlapped handle.
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandmult(2, x); }), 1);
    EXPECT_EQ(w, "WriteFileOv[X] WriteFileOv[\\r\\n]");
    EXPECT_EQ(sim->bytesTo(usbPath()), "X\r\nX\r\n");
}

TEST(SendingSlots, SlotNumbersOutsideOneToFiveSendNothing) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    char x[] = "X";
    for (int slot : {0, -1, 6, 100}) {
        EXPECT_EQ(sendcommand_mult(slot, x), 0) << slot;
        EXPECT_EQ(sendcommand_withoutcrlf_mult(slot, x), 0) << slot;
        EXPECT_EQ(sendcommandmult(slot, x), 0) << slot;
        EXPECT_EQ(sendcommandutf8_mult(slot, x), 0) << slot;
    }
    EXPECT_TRUE(sim->writes.empty());
}

// ---------------------------------------------------------------------------
// Connection state, texts and results
// ---------------------------------------------------------------------------

TEST(SendingCommand, NothingOpenSendsNothing) {
    SimScope sim;
    char x[] = "X";
    EXPECT_EQ(sendcommand("X"), 0);
    EXPECT_EQ(sendcommand_withoutcrlf(x), 0);
    EXPECT_EQ(sendcommandnocrlf("X"), 0);
    EXPECT_EQ(sendcommandutf8("X"), 0);
    wchar_t wide[] = L"X";
    EXPECT_EQ(sendcommandUnicode(wide), 0);
    EXPECT_EQ(sendcommand_mult(1, x), 0);
    EXPECT_EQ(sendcommandmult(1, x), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingCommand, AfterCloseTheOpenFlagStaysButNoTransportApplies) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    ASSERT_EQ(closeport(), 1);
    ASSERT_EQ(qov::connection().connectionOpenFlag, 1);
    EXPECT_EQ(sendcommand("X"), 0);
    EXPECT_EQ(sendcommandutf8("X"), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingCommand, ClosedSocketIsNoLongerATransport) {
    SimScope sim;
    open(sim.os(), Link::Network);
    ASSERT_EQ(closeethernetport(0), 1);
    EXPECT_EQ(sendcommand("X"), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingCommand, EmptyTextMakesAZeroLengthWriteThenTheLineEnd) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand(""); }), 1);
    EXPECT_EQ(w, "WritePrinter[] WritePrinter[\\r\\n]");
}

TEST(SendingCommand, TextEndsAtItsFirstZeroByteAndIsLeftUnchanged) {
    SimScope sim;
    open(sim.os(), Link::Network);
    char text[] = "AB\0CD";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommand_withoutcrlf(text); }), 1);
    EXPECT_EQ(w, "Send[AB]");
    EXPECT_EQ(std::memcmp(text, "AB\0CD", 6), 0);
}

TEST(SendingCommand, TextLongerThanTheCopyBufferGoesOutWhole) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    std::string text(700000, 'A');
    text.back() = 'Z';
    EXPECT_EQ(sendcommand(text.c_str()), 1);
    ASSERT_EQ(sim->writes.size(), 2u);
    EXPECT_EQ(sim->writes[0].bytes, text);
    EXPECT_EQ(sim->writes[1].bytes, "\r\n");
}

TEST(SendingCommand, NullTextSendsNothing) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    EXPECT_EQ(sendcommand(nullptr), 0);
    EXPECT_EQ(sendcommand_withoutcrlf(nullptr), 0);
    EXPECT_EQ(sendcommandnocrlf(nullptr), 0);
    EXPECT_EQ(sendcommand_mult(1, nullptr), 0);
    EXPECT_EQ(sendcommand_withoutcrlf_mult(1, nullptr), 0);
    EXPECT_EQ(sendcommandmult(1, nullptr), 0);
    EXPECT_EQ(sendcommandutf8(nullptr), 0);
    EXPECT_EQ(sendcommandutf8_mult(1, nullptr), 0);
    EXPECT_EQ(sendcommandUnicode(nullptr), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingCommand, RejectedSpoolerWriteStillCounts) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    // A printer handle the spooler no longer takes: the write fails.
    ASSERT_EQ(closeport(), 1);
    qov::connection().current.spoolerFlag = 1;
    EXPECT_EQ(sendcommand("X"), 1);
}

// ---------------------------------------------------------------------------
// The serial write: its event and its wait
// ---------------------------------------------------------------------------

TEST(SendingSerial, EventThatCannotBeCreatedWritesNothing) {
    SimScope sim;
    open(sim.os(), Link::Com);
    char x[] = "X";
    sim->failNextEvents = 1;
    EXPECT_EQ(sendcommand("X"), 0);
    sim->failNextEvents = 1;
    EXPECT_EQ(sendcommand_withoutcrlf(x), 0);
    sim->failNextEvents = 1;
    EXPECT_EQ(sendcommand_mult(1, x), 0);
    sim->failNextEvents = 1;
    EXPECT_EQ(sendcommand_withoutcrlf_mult(1, x), 0);
    sim->failNextEvents = 1;
    EXPECT_EQ(sendcommandutf8("X"), 0);
    sim->failNextEvents = 1;
    EXPECT_EQ(sendcommandutf8_mult(1, x), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingSerial, SendcommandnocrlfNeedsNoEvent) {
    SimScope sim;
    open(sim.os(), Link::Com);
    sim->failNextEvents = 1;
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommandnocrlf("X"); }), 1);
    EXPECT_EQ(w, "WriteFileOv[X]");
    EXPECT_EQ(sim->failNextEvents, 1) << "no event was asked for";
}

TEST(SendingSerial, EveryEventIsClosedAfterItsWrite) {
    SimScope sim;
    open(sim.os(), Link::Com);
    const int before = sim->openEventCount();
    char x[] = "X";
    ASSERT_EQ(sendcommand("X"), 1);
    ASSERT_EQ(sendcommand_mult(1, x), 1);
    ASSERT_EQ(sendcommandutf8("X"), 1);
    EXPECT_EQ(sim->openEventCount(), before);
}

TEST(SendingSerial, PendingWriteOnAnOverlappedPortIsWaitedFor) {
    SimScope sim;
    qov::sim::Device& com = sim->addDevice("COM2", qov::sim::DeviceKind::Com);
    com.writesPend = true;
    com.writeCompletesAfterMs = 40;
    char name[] = "COM2";
    opencomport(name);
    ASSERT_EQ(qov::connection().serialFlag, 1);

    std::string w;
    const int waits = sim->countCalls("WaitForSingleObject INFINITE");
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommand("AB"); }), 1);
    EXPECT_EQ(w, "WriteFileOv[AB\\r\\n]");
    EXPECT_EQ(sim->nowMs(), 40u);
    EXPECT_EQ(sim->countCalls("WaitForSingleObject INFINITE") - waits, 1);
    // Without an event the result call itself waits.
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommandnocrlf("CD"); }), 1);
    EXPECT_EQ(w, "WriteFileOv[CD]");
    EXPECT_EQ(sim->nowMs(), 80u);
    EXPECT_EQ(sim->countCalls("WaitForSingleObject INFINITE") - waits, 1);
    EXPECT_EQ(sim->countCalls("wait forever"), 0);
    EXPECT_EQ(com.io.received, "AB\r\nCD");
    EXPECT_EQ(sim->openEventCount(), 0);
}

}  // namespace
