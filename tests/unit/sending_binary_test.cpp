// Binary blocks and line-end-free buffers: every byte of a counted block,
// the kinds of writes per transport, the port event, the slot fallback.
#include <gtest/gtest.h>

#include <string>

#include "sending_test_support.h"

namespace {

using namespace sending_test;
using qov::sim::SimScope;

// A block with zero bytes all through it, longer than one 64 KiB chunk.
std::string binaryBlock() {
    std::string block(70000, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i % 7 == 0 ? 0 : (i * 31) & 0xFF);
    }
    return block;
}

struct BlockCase {
    Link link;
    WriteKind kind;  // how the block reaches this link
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << linkName(c.link); }

const BlockCase kBlockCases[] = {
    {Link::Spooler, WriteKind::WritePrinter},
    {Link::Lpt, WriteKind::WriteFile},
    {Link::Usb, WriteKind::WriteFile},
    // The overlapped handle rejects plain writes: the block goes through
    // the overlapped write.
    {Link::UsbAsync, WriteKind::WriteFileOverlapped},
    {Link::Network, WriteKind::Send},
    {Link::Com, WriteKind::WriteFileOverlapped},
};

class SendingBinaryOnLink : public ::testing::TestWithParam<BlockCase> {
protected:
    void SetUp() override { open(sim.os(), GetParam().link); }
    SimScope sim;
};

TEST_P(SendingBinaryOnLink, BlockWithZeroBytesGoesOutWholeThenTheLineEnd) {
    const std::string block = binaryBlock();
    EXPECT_EQ(sendBinaryData(block.data(), static_cast<int>(block.size())), 1);
    ASSERT_EQ(sim->writes.size(), 2u);
    EXPECT_EQ(sim->writes[0].kind, GetParam().kind);
    EXPECT_EQ(sim->writes[0].bytes.size(), block.size());
    EXPECT_TRUE(sim->writes[0].bytes == block);
    EXPECT_EQ(sim->writes[1].kind, GetParam().kind);
    EXPECT_EQ(sim->writes[1].bytes, "\r\n");
    EXPECT_EQ(sim->writes[0].target, targetOf(GetParam().link));
}

TEST_P(SendingBinaryOnLink, BlockWithoutLineEndIsOneWrite) {
    const std::string block = binaryBlock();
    EXPECT_EQ(sendBinaryDataNoCRLF(block.data(), static_cast<int>(block.size())), 1);
    ASSERT_EQ(sim->writes.size(), 1u);
    EXPECT_EQ(sim->writes[0].kind, GetParam().kind);
    EXPECT_TRUE(sim->writes[0].bytes == block);
}

TEST_P(SendingBinaryOnLink, OutBufferIsOneWriteWithoutLineEnd) {
    char text[] = "~NORMAL";
    EXPECT_EQ(ZULOutBuffer(text), 1);
    ASSERT_EQ(sim->writes.size(), 1u);
    EXPECT_EQ(sim->writes[0].kind, GetParam().kind);
    EXPECT_EQ(sim->writes[0].bytes, "~NORMAL");
    EXPECT_EQ(qov::connection().sendCopy, "~NORMAL");
}

INSTANTIATE_TEST_SUITE_P(AllLinks, SendingBinaryOnLink, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(linkName(info.param.link)); });

// ---------------------------------------------------------------------------

TEST(SendingBinary, ComPortBlockAndLineEndAreSeparateWritesWithoutEvents) {
    SimScope sim;
    open(sim.os(), Link::Com);
    sim->failNextEvents = 1;
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendBinaryData("A\0B", 3); }), 1);
    EXPECT_EQ(w, "WriteFileOv[A\\x00B] WriteFileOv[\\r\\n]");
    EXPECT_EQ(sim->failNextEvents, 1) << "no event was asked for";
}

TEST(SendingBinary, NeedsAnOpenConnection) {
    SimScope sim;
    open(sim.os(), Link::Lpt);
    qov::connection().connectionOpenFlag = 0;
    EXPECT_EQ(sendBinaryData("X", 1), 0);
    EXPECT_EQ(sendBinaryDataNoCRLF("X", 1), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingBinary, ZeroLengthBlockIsAZeroLengthWrite) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendBinaryDataNoCRLF("X", 0); }), 1);
    EXPECT_EQ(w, "WritePrinter[]");
}

TEST(SendingBinary, NullOrNegativeBlocksSendNothing) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    EXPECT_EQ(sendBinaryData(nullptr, 4), 0);
    EXPECT_EQ(sendBinaryDataNoCRLF(nullptr, 4), 0);
    EXPECT_EQ(sendBinaryData("X", -1), 0);
    EXPECT_EQ(sendBinaryDataNoCRLF("X", -5), 0);
    EXPECT_TRUE(sim->writes.empty());
}

// ---------------------------------------------------------------------------
// The port event of the binary send without line end
// ---------------------------------------------------------------------------

TEST(SendingPortEvent, WriteUsesThePortEventAndClosesIt) {
    SimScope sim;
    open(sim.os(), Link::Com);
    qov::connection().portOverlapped.event = qov::os().createEvent(true, false);
    ASSERT_NE(qov::connection().portOverlapped.event, qov::kNullHandle);
    const int events = sim->openEventCount();

    EXPECT_EQ(sendBinaryDataNoCRLF("AB", 2), 1);
    EXPECT_EQ(qov::connection().portOverlapped.event, qov::kNullHandle);
    EXPECT_EQ(sim->openEventCount(), events - 1);
    EXPECT_EQ(sim->bytesTo("COM1"), "AB");
}

TEST(SendingPortEvent, ClosedEventIsRenewedForTheNextWrite) {
    SimScope sim;
    open(sim.os(), Link::Com);
    ASSERT_EQ(qov::connection().portOverlapped.event, qov::kNullHandle);
    const int events = sim->openEventCount();
    const int failing = 2;

    EXPECT_EQ(sendBinaryDataNoCRLF("AB", 2), 1);
    EXPECT_EQ(sendBinaryDataNoCRLF("CD", 2), 1);
    EXPECT_EQ(sim->bytesTo("COM1"), "ABCD");
    // Each write made its event and closed it again.
    EXPECT_EQ(sim->openEventCount(), events);
    EXPECT_EQ(qov::connection().portOverlapped.event, qov::kNullHandle);

    // When no event can be made the block still goes out.
    sim->failNextEvents = failing;
    EXPECT_EQ(sendBinaryDataNoCRLF("EF", 2), 1);
    EXPECT_EQ(sim->bytesTo("COM1"), "ABCDEF");
    EXPECT_EQ(sim->failNextEvents, failing - 1);
}

TEST(SendingPortEvent, PendingWriteOnAnOverlappedPortIsWaitedFor) {
    SimScope sim;
    qov::sim::Device& com = sim->addDevice("COM3", qov::sim::DeviceKind::Com);
    com.writesPend = true;
    com.writeCompletesAfterMs = 25;
    char name[] = "COM3";
    opencomport(name);
    EXPECT_EQ(sendBinaryDataNoCRLF("AB", 2), 1);
    EXPECT_EQ(sendBinaryData("CD", 2), 1);
    EXPECT_EQ(com.io.received, "ABCD\r\n");
    EXPECT_EQ(sim->nowMs(), 75u);
}

// ---------------------------------------------------------------------------
// ZULOutBuffer, ZULOutBuffermult, ComportSendData
// ---------------------------------------------------------------------------

TEST(SendingBuffer, OutBufferNeedsAFlagButNoOpenConnection) {
    SimScope sim;
    char text[] = "T";
    EXPECT_EQ(ZULOutBuffer(text), 0);
    open(sim.os(), Link::Lpt);
    qov::connection().connectionOpenFlag = 0;
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return ZULOutBuffer(text); }), 1);
    EXPECT_EQ(w, "WriteFile[T]");
}

TEST(SendingBuffer, OutBufferOnAComPortWithoutEventWritesNothing) {
    SimScope sim;
    open(sim.os(), Link::Com);
    sim->failNextEvents = 1;
    char text[] = "T";
    EXPECT_EQ(ZULOutBuffer(text), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingBuffer, SlotOneWritesUsbOrThroughTheSpooler) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    char text[] = "T";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return ZULOutBuffermult(1, text); }), 1);
    EXPECT_EQ(w, "WritePrinter[T]");
    EXPECT_EQ(sim->bytesTo(kPrinter), "T");
}

TEST(SendingBuffer, SlotOneWithNothingOpenStillTriesTheSpooler) {
    SimScope sim;
    char text[] = "T";
    const int before = sim->countCalls("WritePrinter");
    EXPECT_EQ(ZULOutBuffermult(1, text), 1);
    EXPECT_EQ(sim->countCalls("WritePrinter"), before + 1);
}

TEST(SendingBuffer, NumberedSlotsUseTheirOwnHandles) {
    SimScope sim;
    sim->addPrinter("ZP-2", "USB002");
    char zp2[] = "ZP-2";
    ASSERT_EQ(openportmult(2, zp2), 1);
    char text[] = "T";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return ZULOutBuffermult(2, text); }), 1);
    EXPECT_EQ(w, "WritePrinter[T]");
    EXPECT_EQ(sim->bytesTo("ZP-2"), "T");

    sim->addUsbInterface(usbPath());
    sim->addDevice(usbPath(), qov::sim::DeviceKind::Usb);
    ASSERT_EQ(openport_usbid(3, ""), 0);
    EXPECT_EQ(run(sim.os(), w, [&] { return ZULOutBuffermult(3, text); }), 1);
    EXPECT_EQ(w, "WriteFile[T]");
    EXPECT_EQ(sim->bytesTo(usbPath()), "T");
}

struct FallbackCase {
    Link link;
    const char* writes;  // ZULOutBuffermult(9, "T"); "" when nothing applies
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << linkName(c.link); }

class SendingBufferFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(SendingBufferFallback, SlotOutsideOneToFiveUsesTheCurrentDeviceHandle) {
    SimScope sim;
    open(sim.os(), GetParam().link);
    char text[] = "T";
    std::string w;
    const bool applies = *GetParam().writes != '\0';
    EXPECT_EQ(run(sim.os(), w, [&] { return ZULOutBuffermult(9, text); }), applies ? 1 : 0);
    EXPECT_EQ(w, GetParam().writes);
}

const FallbackCase kFallbackCases[] = {
    {Link::Lpt, "WriteFile[T]"},
    {Link::Usb, "WriteFile[T]"},
    {Link::UsbAsync, "WriteFileOv[T]"},
    // With a record, which a port opened for overlapped I/O requires.
    {Link::Com, "WriteFileOv[T]"},
    {Link::Spooler, ""},
    {Link::Network, ""},
};

INSTANTIATE_TEST_SUITE_P(AllLinks, SendingBufferFallback, ::testing::ValuesIn(kFallbackCases),
                         [](const auto& info) { return std::string(linkName(info.param.link)); });

TEST(SendingBuffer, ComportSendDataWritesToTheDeviceHandleWithoutTestingFlags) {
    SimScope sim;
    open(sim.os(), Link::Com);
    qov::connection().serialFlag = 0;
    qov::connection().connectionOpenFlag = 0;
    char text[] = "~CODEPAGE";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return ComportSendData(text); }), 1);
    EXPECT_EQ(w, "WriteFileOv[~CODEPAGE]");
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST(SendingBuffer, ComportSendDataWithoutEventWritesNothing) {
    SimScope sim;
    open(sim.os(), Link::Com);
    sim->failNextEvents = 1;
    char text[] = "X";
    EXPECT_EQ(ComportSendData(text), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingBuffer, NullTextsSendNothing) {
    SimScope sim;
    open(sim.os(), Link::Com);
    EXPECT_EQ(ZULOutBuffer(nullptr), 0);
    EXPECT_EQ(ZULOutBuffermult(1, nullptr), 0);
    EXPECT_EQ(ZULOutBuffermult(9, nullptr), 0);
    EXPECT_EQ(ComportSendData(nullptr), 0);
    EXPECT_TRUE(sim->writes.empty());
}

}  // namespace
