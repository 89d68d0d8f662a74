// The overlapped write, usbportwrite and the Ethernetsend exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "reading/receive_state.h"
#include "sending/overlapped_write.h"
#include "sending_test_support.h"

namespace {

using namespace sending_test;
using qov::sim::SimScope;

// Leaves an unread reply in the receive buffer, as a reader would.
void leaveUnreadReply() {
    qov::ReceiveState& rs = qov::receiveState();
    std::memcpy(rs.receiveBuffer, "OLD REPLY", 9);
    rs.receiveBuffer[qov::kReceiveBufferSize - 1] = 'Z';
    rs.usbCount = 9;
    rs.serialCount = 4;
}

bool receiveBufferClear() {
    const qov::ReceiveState& rs = qov::receiveState();
    return std::all_of(std::begin(rs.receiveBuffer), std::end(rs.receiveBuffer),
                       [](unsigned char b) { return b == 0; });
}

// ---------------------------------------------------------------------------
// The overlapped write
// ---------------------------------------------------------------------------

class SendingOverlappedWrite : public ::testing::Test {
protected:
    void SetUp() override {
        sim->addUsbInterface(usbPath());
        usb = &sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
        ASSERT_EQ(openport_async("USB"), 0);
        handle = qov::connection().current.handle;
    }
    SimScope sim;
    qov::sim::Device* usb = nullptr;
    qov::Handle handle = qov::kNullHandle;
};

TEST_F(SendingOverlappedWrite, ClearsTheReceiveBufferAndUsbCount) {
    leaveUnreadReply();
    EXPECT_EQ(qov::overlappedWrite(handle, "ABC", 3), 3u);
    EXPECT_TRUE(receiveBufferClear());
    EXPECT_EQ(qov::receiveState().usbCount, 0);
    // The serial reader's count is not the USB one.
    EXPECT_EQ(qov::receiveState().serialCount, 4);
    EXPECT_EQ(usb->io.received, "ABC");
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST_F(SendingOverlappedWrite, EverySendOnAnOverlappedUsbHandleClearsIt) {
    leaveUnreadReply();
    ASSERT_EQ(sendcommand("X"), 1);
    EXPECT_TRUE(receiveBufferClear());
    EXPECT_EQ(qov::receiveState().usbCount, 0);
}

TEST_F(SendingOverlappedWrite, EventThatCannotBeCreatedWritesNothing) {
    leaveUnreadReply();
    sim->failNextEvents = 1;
    EXPECT_EQ(qov::overlappedWrite(handle, "ABC", 3), 0u);
    EXPECT_TRUE(sim->writes.empty());
    // The buffer is cleared before the event is made.
    EXPECT_TRUE(receiveBufferClear());
}

TEST_F(SendingOverlappedWrite, ShortenedWriteCountsAsNothingWritten) {
    usb->writeShortens = true;
    EXPECT_EQ(qov::overlappedWrite(handle, "ABC", 3), 0u);
    // Also when the short count arrives after a pending wait.
    usb->writesPend = true;
    usb->writeCompletesAfterMs = 10;
    EXPECT_EQ(qov::overlappedWrite(handle, "ABCD", 4), 0u);
}

TEST_F(SendingOverlappedWrite, PendingWriteIsWaitedForWithoutTimeLimit) {
    usb->writesPend = true;
    usb->writeCompletesAfterMs = 60000;
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_EQ(qov::overlappedWrite(handle, "ABCD", 4), 4u);
    EXPECT_EQ(sim->nowMs() - t0, 60000u);
    EXPECT_EQ(usb->io.received, "ABCD");
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST_F(SendingOverlappedWrite, RejectedWriteGivesZero) {
    ASSERT_EQ(closeport(), 1);
    EXPECT_EQ(qov::overlappedWrite(handle, "ABC", 3), 0u);
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST(SendingOverlapped, PlainUsbSendLeavesTheReceiveBufferAlone) {
    SimScope sim;
    open(sim.os(), Link::Usb);
    leaveUnreadReply();
    ASSERT_EQ(sendcommand("X"), 1);
    EXPECT_EQ(std::memcmp(qov::receiveState().receiveBuffer, "OLD REPLY", 9), 0);
    EXPECT_EQ(qov::receiveState().usbCount, 9);
}

// ---------------------------------------------------------------------------
// usbportwrite
// ---------------------------------------------------------------------------

TEST(SendingUsbPortWrite, WritesTextBlankAndTwoLineEndsThroughItsOwnHandle) {
    SimScope sim;
    sim->addUsbInterface(usbPath());
    qov::sim::Device& usb = sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
    char text[] = "~RESTART";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return usbportwrite(text); }), 0);
    EXPECT_EQ(w, "WriteFile[~RESTART \\r\\n] WriteFile[\\r\\n]");
    EXPECT_EQ(usb.openCount, 1);
    EXPECT_EQ(usb.openHandles, 0) << "the handle is closed again";
    EXPECT_EQ(usb.lastAccess, qov::kAccessRead | qov::kAccessWrite);
    EXPECT_EQ(usb.lastShare, 0u);
    EXPECT_EQ(usb.lastFlags, 0u);
    // The connection record is not touched.
    EXPECT_EQ(qov::connection().current.usbFlag, 0);
    EXPECT_EQ(qov::connection().connectionOpenFlag, 0);
    EXPECT_EQ(qov::connection().current.handle, qov::kNullHandle);
}

TEST(SendingUsbPortWrite, GoesToTheLastMatchingDevice) {
    SimScope sim;
    for (const char* serial : {"SN1", "SN2"}) {
        sim->addUsbInterface(usbPath(serial));
        sim->addDevice(usbPath(serial), qov::sim::DeviceKind::Usb);
    }
    sim->addUsbInterface("\\\\?\\usb#vid_ffff&pid_0001#X#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    char text[] = "T";
    EXPECT_EQ(usbportwrite(text), 0);
    EXPECT_EQ(sim->bytesTo(usbPath("SN2")), "T \r\n\r\n");
    EXPECT_EQ(sim->bytesTo(usbPath("SN1")), "");
}

TEST(SendingUsbPortWrite, NoMatchingPrinterGivesMinusOne) {
    SimScope sim;
    char text[] = "T";
    EXPECT_EQ(usbportwrite(text), -1);
    sim->addUsbInterface("\\\\?\\usb#vid_ffff&pid_0001#X#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_EQ(usbportwrite(text), -1);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingUsbPortWrite, PrinterThatCannotBeOpenedGivesMinusTwo) {
    SimScope sim;
    sim->addUsbInterface(usbPath());
    sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb).openFails = true;
    char text[] = "T";
    EXPECT_EQ(usbportwrite(text), -2);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingUsbPortWrite, LongTextGoesOutWhole) {
    SimScope sim;
    sim->addUsbInterface(usbPath());
    sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
    std::string text(5000, 'q');
    text.back() = 'E';
    EXPECT_EQ(usbportwrite(text.data()), 0);
    ASSERT_EQ(sim->writes.size(), 2u);
    EXPECT_EQ(sim->writes[0].bytes, text + " \r\n");
}

TEST(SendingUsbPortWrite, NullTextWritesNothingAndSaysSo) {
    SimScope sim;
    sim->addUsbInterface(usbPath());
    qov::sim::Device& usb = sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
    EXPECT_EQ(usbportwrite(nullptr), -1);
    EXPECT_EQ(usb.openCount, 0);
    EXPECT_TRUE(sim->writes.empty());
}

// ---------------------------------------------------------------------------
// Ethernetsend
// ---------------------------------------------------------------------------

std::vector<std::string> boxTexts(const qov::sim::SimPlatform& sim) {
    std::vector<std::string> out;
    for (const auto& b : sim.boxes) {
        EXPECT_EQ(b.caption, "Error Message");
        EXPECT_EQ(b.icon, qov::Icon::Warning);
        EXPECT_FALSE(b.wide);
        out.push_back(b.text);
    }
    return out;
}

TEST(SendingEthernetsend, ShowsEachAnswerUntilThePrinterCloses) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort).script = {
        qov::sim::expect("PING"), qov::sim::reply("ONE"), qov::sim::reply("TWO", 200),
        qov::sim::closeAfter(300)};
    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    char text[] = "PING";
    EXPECT_EQ(Ethernetsend(text), 1);
    EXPECT_EQ(boxTexts(sim.os()), (std::vector<std::string>{"ONE", "TWO", "Hi"}));
    EXPECT_EQ(sim->stdoutText, "Connection Closed.\n");
    EXPECT_EQ(sim->connectionTo(kPeerAddress, kPeerPort).received, "PING");
    EXPECT_TRUE(sim->allScriptsDone());
}

TEST(SendingEthernetsend, ReceiveErrorShowsItsResultThenEnd) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort).script = {qov::sim::expect("PING"),
                                                   qov::sim::reply("ONE")};
    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    const std::uint64_t t0 = sim->nowMs();
    char text[] = "PING";
    EXPECT_EQ(Ethernetsend(text), 1);
    EXPECT_EQ(boxTexts(sim.os()), (std::vector<std::string>{"ONE", "-1", "end"}));
    EXPECT_EQ(sim->stdoutText, "");
    // The socket's one-second receive time-out ends the exchange.
    EXPECT_EQ(sim->nowMs() - t0, 1000u);
}

TEST(SendingEthernetsend, NonBlockingSocketWaitsForAnswersAsTheBlockingOneDoes) {
    // The same exchange on the socket of each open: answers 300 ms and
    // 900 ms after the request, then silence until the one-second receive
    // time-out after the last answer.
    for (const bool async : {false, true}) {
        SimScope sim;
        sim->addPeer(kPeerAddress, kPeerPort).script = {
            qov::sim::expect("PING"), qov::sim::reply("ONE", 300), qov::sim::reply("TWO", 600)};
        ASSERT_EQ(async ? openethernet_async(kPeerAddress, kPeerPort)
                        : openethernet(kPeerAddress, kPeerPort),
                  0);
        const std::uint64_t t0 = sim->nowMs();
        char text[] = "PING";
        EXPECT_EQ(Ethernetsend(text), 1);
        EXPECT_EQ(boxTexts(sim.os()), (std::vector<std::string>{"ONE", "TWO", "-1", "end"}))
            << (async ? "async" : "blocking");
        EXPECT_EQ(sim->nowMs() - t0, 1900u) << (async ? "async" : "blocking");
        EXPECT_TRUE(sim->allScriptsDone());
    }
}

TEST(SendingEthernetsend, AnswersAreShownAtMostFiveHundredBytesAtATime) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort).script = {
        qov::sim::expect("Q"), qov::sim::reply(std::string(700, 'x')), qov::sim::closeAfter(0)};
    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    char text[] = "Q";
    EXPECT_EQ(Ethernetsend(text), 1);
    EXPECT_EQ(boxTexts(sim.os()),
              (std::vector<std::string>{std::string(500, 'x'), std::string(200, 'x'), "Hi"}));
}

TEST(SendingEthernetsend, ClearsTheReceiveBufferFirst) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort).script = {qov::sim::expect("Q"),
                                                   qov::sim::closeAfter(0)};
    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    leaveUnreadReply();
    char text[] = "Q";
    EXPECT_EQ(Ethernetsend(text), 1);
    EXPECT_TRUE(receiveBufferClear());
    EXPECT_EQ(qov::receiveState().usbCount, 0);
    EXPECT_EQ(boxTexts(sim.os()), (std::vector<std::string>{"Hi"}));
}

TEST(SendingEthernetsend, NullTextSendsNothing) {
    SimScope sim;
    open(sim.os(), Link::Network);
    EXPECT_EQ(Ethernetsend(nullptr), 0);
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_TRUE(sim->boxes.empty());
}

}  // namespace
