// The whole-read limit of the device readers: a printer that sends a chunk
// now and then, never the terminator, ends the read after the caller's wait
// counted from the start of the read, however often chunks come; the caller's
// delays do not count. The clearing calls end on a printer that never stops.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::reply;
using qov::sim::SimScope;

// `count` chunks of `size` bytes of 'A', each `gapMs` after the one before.
std::vector<Step> trickle(int count, std::size_t size, std::uint32_t gapMs) {
    return std::vector<Step>(static_cast<std::size_t>(count), reply(std::string(size, 'A'), gapMs));
}

// A handle without overlapped I/O: each request blocks until the next chunk.
void* plainUsbHandle(SimPlatform& sim, std::vector<Step> script, const std::string& path) {
    sim.addDevice(path, DeviceKind::Usb).io.script = std::move(script);
    return reinterpret_cast<void*>(sim.createFile(path.c_str(), qov::kAccessRead | qov::kAccessWrite,
                                                  0, qov::Disposition::OpenExisting, 0));
}

// Found by fuzzing: 2 KB every 42 s on a USB connection without overlapped
// I/O kept QOVA_Read going until the receive buffer was full (22 minutes),
// each chunk renewing the quiet limit.
TEST(ReadingReadLimit, PlainUsbTrickleEndsAtTheCallersWaitNotAtAFullBuffer) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), false, trickle(40, 2048, 42000));
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    // The first request blocks until the chunk at 42 s, past the 5 s
    // limit: the read ends.
    EXPECT_EQ(sim->nowMs(), 42000u);
    EXPECT_EQ(readsOf(sim.os(), path), 1);

    // A 60 s wait: the first chunk's four requests, then the one that blocks
    // until the second chunk at 84 s; the chunks did not renew the limit.
    SimScope longer;
    useUsb(longer.os(), false, trickle(40, 2048, 42000));
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 60000, 0, 0), "Time Out\r\n");
    EXPECT_EQ(longer->nowMs(), 84000u);
    EXPECT_EQ(readsOf(longer.os(), path), 5);
    EXPECT_EQ(qov::receiveState().usbCount, 2048 + 512);
}

TEST(ReadingReadLimit, CallersPlainHandleEndsAtItsWait) {
    SimScope sim;
    const std::string path = usbPath("PLAIN1");
    void* h = plainUsbHandle(sim.os(), trickle(40, 2048, 42000), path);
    char terminator[] = "END\r\n";
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_TRUE(UsbRead_judge(h, terminator, 60000));
    EXPECT_EQ(sim->nowMs() - t0, 84000u);
    EXPECT_EQ(readsOf(sim.os(), path), 5);
    // A negative wait is the default 5 s: the rest of the second chunk at
    // once, then one request that blocks until the third.
    EXPECT_TRUE(UsbRead_judge(h, terminator, -1));
    EXPECT_EQ(readsOf(sim.os(), path), 9);
    EXPECT_EQ(sim->nowMs() - t0, 126000u);
}

// A chunk just before each request's wait runs out: the second request only
// gets what is left of the whole limit.
TEST(ReadingReadLimit, OverlappedUsbChunksJustInTimeEndAtTheWait) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, trickle(200, 512, 4900));
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs(), 50u + 5000u);
    EXPECT_EQ(sim->countCalls("WaitForSingleObject 5000"), 1);
    // The chunk came 4,850 ms into the limit (the read starts after 50 ms).
    EXPECT_EQ(sim->countCalls("WaitForSingleObject 150"), 1);
    EXPECT_EQ(readsOf(sim.os(), path), 2);
    EXPECT_EQ(bufferText().size(), 512u);  // the first chunk only
    EXPECT_EQ(bufferText().find_first_not_of('A'), std::string::npos);
}

// The caller's delays are its pacing: QOVA_Read's 3,000 + 300 ms per
// request do not eat into the 5 s, so a reply of three quick chunks is
// still collected whole.
TEST(ReadingReadLimit, CallersDelaysDoNotCountAgainstTheLimit) {
    SimScope sim;
    useUsb(sim.os(), true, {reply("ONE;"), reply("TWO;"), reply("END\r\n")});
    EXPECT_STREQ(QOVA_Read("END\r\n"), "ONE;TWO;END\r\n");
    EXPECT_EQ(sim->nowMs(), 50u + 3u * 3300u);
}

TEST(ReadingReadLimit, SerialTrickleEndsAtTheWait) {
    // Plain COM, the port's read time-outs give each request about 5 s:
    // chunks every 4 s keep every request busy.
    SimScope sim;
    useCom(sim.os(), trickle(200, 512, 4000));
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    EXPECT_EQ(readsOf(sim.os(), "COM1"), 2);

    // Overlapped COM: the second request waits only what is left.
    SimScope overlapped;
    useCom(overlapped.os(), trickle(200, 512, 4900), true);
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "Time Out\r\n");
    EXPECT_EQ(overlapped->nowMs(), 5000u);
    EXPECT_EQ(readsOf(overlapped.os(), "COM1"), 2);
}

// A printer that never stops sending: each clearing issues at most as many
// requests as the receive buffer holds chunks.
TEST(ReadingReadLimit, ClearingEndsOnAPrinterThatNeverStops) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, trickle(300, 512, 100));
    USB_ClearBuffer();
    EXPECT_EQ(readsOf(sim.os(), path), 128);
    EXPECT_EQ(sim->nowMs(), 50u + 128u * 600u);

    SimScope serial;
    useCom(serial.os(), trickle(300, 512, 100), true);
    EXPECT_EQ(Serial_ClearBuffer(), 1);
    EXPECT_EQ(readsOf(serial.os(), "COM1"), 128);
}

TEST(ReadingReadLimit, SerialClearingGivesUpWhenItsEventCannotBeMade) {
    SimScope sim;
    useCom(sim.os(), {reply("X")}, true);
    sim->failNextEvents = INT_MAX;
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_EQ(Serial_ClearBuffer(), 1);
    EXPECT_EQ(sim->nowMs() - t0, 3000u);
    EXPECT_EQ(readsOf(sim.os(), "COM1"), 0);
}

}  // namespace
