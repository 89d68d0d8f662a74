// The USB chunk readers (one request each, stored at the USB receive count)
// and the input-clearing calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::closeAfter;
using qov::sim::reply;
using qov::sim::SimScope;

int& usbCount() { return qov::receiveState().usbCount; }
unsigned char* buffer() { return qov::receiveState().receiveBuffer; }

// ---------------------------------------------------------------------------
// UsbReadData and UsbReadData_mult: text without line ends, up to an STX
// ---------------------------------------------------------------------------

TEST(ReadingUsbChunks, UsbReadDataSkipsLineEndsAndAppends) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("AB\r\nC"), reply("DE")});
    EXPECT_TRUE(UsbReadData(h, false));
    EXPECT_EQ(bufferText(), "ABC");
    EXPECT_EQ(usbCount(), 3);
    EXPECT_EQ(sim->nowMs(), 50u);
    EXPECT_TRUE(UsbReadData(h, true));
    EXPECT_EQ(bufferText(), "ABCDE");
    EXPECT_EQ(usbCount(), 5);
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST(ReadingUsbChunks, UsbReadDataStopsAtStx) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("AB\x02" "C")});
    EXPECT_FALSE(UsbReadData(h, false));
    EXPECT_EQ(bufferText(), "AB");
    EXPECT_EQ(usbCount(), 2);
}

TEST(ReadingUsbChunks, UsbReadDataWithNothingResetsTheCount) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {});
    usbCount() = 7;
    EXPECT_FALSE(UsbReadData(h, false));
    EXPECT_EQ(usbCount(), 0);
    EXPECT_EQ(sim->nowMs(), 50u + 5000u);
    EXPECT_EQ(sim->countCalls("CancelIo "), 1);
}

TEST(ReadingUsbChunks, UsbReadDataAtAFullBufferStoresNothingMore) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("XYZ"), reply("Q")});
    usbCount() = 65535;
    EXPECT_TRUE(UsbReadData(h, false));
    EXPECT_EQ(buffer()[65535], 'X');
    EXPECT_EQ(buffer()[65536], 0);
    EXPECT_EQ(buffer()[0], 0);
    EXPECT_EQ(usbCount(), 65536);
    EXPECT_TRUE(UsbReadData(h, false));
    EXPECT_EQ(usbCount(), 65536);
    EXPECT_EQ(buffer()[65536], 0);
}

TEST(ReadingUsbChunks, UsbReadDataMultStoresFromTheStartOverOldBytes) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("OLDDATA"), reply("N\rE\nW")});
    ASSERT_TRUE(UsbReadData(h, false));
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_TRUE(UsbReadData_mult(h, false));
    EXPECT_EQ(bufferText(), "NEWDATA");  // the rest of the old reply stays behind
    EXPECT_EQ(usbCount(), 3);
    EXPECT_EQ(sim->nowMs() - t0, 200u);
}

TEST(ReadingUsbChunks, UsbReadDataMultStxAndNothing) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("OK\x02rest")});
    EXPECT_FALSE(UsbReadData_mult(h, false));
    EXPECT_EQ(bufferText(), "OK");
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_FALSE(UsbReadData_mult(h, false));
    EXPECT_EQ(sim->nowMs() - t0, 100u + 5000u + 100u);
}

TEST(ReadingUsbChunks, ChunkOfWhole256BytesIsKept) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply(std::string(256, 'z')), reply(std::string(512, 'y'))});
    EXPECT_TRUE(UsbReadData_mult(h, false));
    EXPECT_EQ(usbCount(), 256);
    usbCount() = 300;
    EXPECT_TRUE(UsbReadStatus(h, false));
    EXPECT_EQ(buffer()[300], 'y');
    EXPECT_EQ(sim->countCalls("WaitForSingleObject"), 0);
}

// ---------------------------------------------------------------------------
// UsbReadStatus: one position; UsbReadStatusDataToBuffer: wraps
// ---------------------------------------------------------------------------

TEST(ReadingUsbChunks, UsbReadStatusKeepsTheLastByteAtOnePosition) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("abc")});
    usbCount() = 7;
    EXPECT_TRUE(UsbReadStatus(h, false));
    EXPECT_EQ(buffer()[7], 'c');
    EXPECT_EQ(buffer()[6], 0);
    EXPECT_EQ(buffer()[8], 0);
    EXPECT_EQ(usbCount(), 7);
    EXPECT_EQ(sim->nowMs(), 200u);
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_FALSE(UsbReadStatus(h, false));
    EXPECT_EQ(sim->nowMs() - t0, 100u + 5000u + 100u);
}

TEST(ReadingUsbChunks, UsbReadStatusPastTheBufferStoresNothing) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("abc")});
    usbCount() = 65536;
    EXPECT_TRUE(UsbReadStatus(h, false));
    EXPECT_EQ(buffer()[65536], 0);
    EXPECT_EQ(buffer()[0], 0);
}

TEST(ReadingUsbChunks, UsbReadStatusDataToBufferWrapsAtTheEnd) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("xy"), reply("\x02\r\n")});
    usbCount() = 65535;
    EXPECT_TRUE(UsbReadStatusDataToBuffer(h, false));
    EXPECT_EQ(buffer()[65535], 'x');
    EXPECT_EQ(buffer()[0], 'y');
    EXPECT_EQ(usbCount(), 1);
    EXPECT_EQ(buffer()[65536], 0);
    EXPECT_EQ(sim->nowMs(), 100u);
    // No byte is special here.
    EXPECT_TRUE(UsbReadStatusDataToBuffer(h, false));
    EXPECT_EQ(std::memcmp(buffer(), "y\x02\r\n", 4), 0);
    EXPECT_EQ(usbCount(), 4);
    EXPECT_FALSE(UsbReadStatusDataToBuffer(h, false));
}

// ---------------------------------------------------------------------------
// UsbReadDataToBuffer: up to an STX (unstored) or a CR (stored)
// ---------------------------------------------------------------------------

TEST(ReadingUsbChunks, UsbReadDataToBufferEndsTextAtCarriageReturn) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("CP\r\nX")});
    EXPECT_FALSE(UsbReadDataToBuffer(h, false));
    EXPECT_EQ(bufferText(), "CP\r");
    EXPECT_EQ(usbCount(), 3);
}

TEST(ReadingUsbChunks, UsbReadDataToBufferStxEndsTheChunkUnstored) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("AB\x02" "CD")});
    EXPECT_TRUE(UsbReadDataToBuffer(h, false));
    EXPECT_EQ(bufferText(), "AB");
    EXPECT_EQ(usbCount(), 2);
    sim->failNextEvents = 1;
    EXPECT_FALSE(UsbReadDataToBuffer(h, false));
    EXPECT_EQ(sim->openEventCount(), 0);
}

// ---------------------------------------------------------------------------
// Input clearing
// ---------------------------------------------------------------------------

TEST(ReadingInputClearing, NothingToClearReturnsAtOnce) {
    SimScope sim;
    EXPECT_EQ(Serial_ClearBuffer(), 0);
    USB_ClearBuffer();
    EXPECT_EQ(sim->nowMs(), 0u);
    EXPECT_TRUE(sim->calls.empty());
}

TEST(ReadingInputClearing, SerialDrainEndsOnARequestThatBringsNothing) {
    SimScope sim;
    useCom(sim.os(), {reply("old1"), reply("old2")});
    EXPECT_EQ(Serial_ClearBuffer(), 1);
    EXPECT_EQ(sim->countCalls("ReadFile COM1"), 3);
    EXPECT_EQ(sim->nowMs(), 50u + 512u * 10u);  // the quiet third request
    EXPECT_STREQ(qov::receiveState().replyText, "Time Out\r\n");
    EXPECT_EQ(bufferText(), "");  // drained bytes are not stored
    EXPECT_TRUE(sim->allScriptsDone());
}

TEST(ReadingInputClearing, SerialDrainOnOverlappedPortWaitsOneSecond) {
    SimScope sim;
    useCom(sim.os(), {}, true);
    sim->failNextEvents = 2;  // tried again, 50 ms apart, until the read event exists
    EXPECT_EQ(Serial_ClearBuffer(), 1);
    EXPECT_EQ(sim->countCalls("CreateEvent failed"), 2);
    EXPECT_EQ(sim->nowMs(), 2 * 50u + 1000u);
    EXPECT_EQ(sim->countCalls("CancelIo COM1"), 1);
}

TEST(ReadingInputClearing, OverlappedUsbDrainReadsUntilQuiet) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, {reply("old1"), reply("old2")});
    USB_ClearBuffer();
    // 50 ms, then 300 + 300 per chunk, and 300 + 300 + 300 for the last,
    // pending request.
    EXPECT_EQ(sim->nowMs(), 50u + 2 * 600u + 900u);
    EXPECT_EQ(readsOf(sim.os(), path), 3);
    EXPECT_EQ(sim->countCalls("CancelIo " + path), 1);
    EXPECT_STREQ(qov::receiveState().replyText, "Time Out\r\n");
    EXPECT_EQ(bufferText(), "");
}

TEST(ReadingInputClearing, OverlappedUsbDrainEndsOnAnEmptyCompletion) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, {reply("old"), closeAfter(0)});
    USB_ClearBuffer();
    EXPECT_EQ(readsOf(sim.os(), path), 2);
    EXPECT_EQ(sim->nowMs(), 50u + 2 * 600u);
    EXPECT_STREQ(qov::receiveState().replyText, "Time Out\r\n");
}

TEST(ReadingInputClearing, PlainUsbHandleDropsOneChunk) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), false, {reply("junk"), reply("reply")});
    USB_ClearBuffer();
    EXPECT_EQ(readsOf(sim.os(), path), 1);
    EXPECT_STREQ(qov::receiveState().replyText, "junk");
    EXPECT_STREQ(QOVA_Read(""), "reply");
}

}  // namespace
