// Reading replies on USB: the overlapped reader of connections opened for
// overlapped I/O, UsbRead_judge for the others and for callers' handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::closeAfter;
using qov::sim::failAfter;
using qov::sim::reply;
using qov::sim::SimScope;

std::vector<std::uint32_t> sleepsSince(const SimPlatform& sim, std::size_t from) {
    return {sim.sleeps.begin() + static_cast<std::ptrdiff_t>(from), sim.sleeps.end()};
}

// ---------------------------------------------------------------------------
// Overlapped USB connection
// ---------------------------------------------------------------------------

TEST(ReadingUsbOverlapped, QovaReadPaysItsDelaysPerRequestAndFindsSplitTerminator) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, {reply("OK EN"), reply("D\r\nX")});
    const std::size_t sleeps0 = sim->sleeps.size();
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_STREQ(QOVA_Read("END\r\n"), "OK END\r\nX");
    EXPECT_EQ(sim->nowMs() - t0, 50u + 2 * (3000u + 300u));
    EXPECT_EQ(sleepsSince(sim.os(), sleeps0),
              (std::vector<std::uint32_t>{50, 3000, 300, 3000, 300}));
    EXPECT_EQ(readsOf(sim.os(), path), 2);
}

TEST(ReadingUsbOverlapped, PendingRequestTimesOutWithItsOwnWait) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true);
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 50u + 3000u + 300u + 5000u);
    EXPECT_EQ(sim->countCalls("WaitForSingleObject 5000"), 1);
    EXPECT_EQ(sim->countCalls("CancelIo " + path), 1);

    const std::uint64_t t1 = sim->nowMs();
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 700, 10, 20), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs() - t1, 50u + 10u + 20u + 700u);
}

TEST(ReadingUsbOverlapped, ReplyArrivingDuringTheWaitCompletesTheRequest) {
    SimScope sim;
    useUsb(sim.os(), true, {reply("END\r\n", 1000)});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 2000, 0, 0), "END\r\n");
    EXPECT_EQ(sim->nowMs(), 1000u);
    // Later than the wait: the request is given up.
    SimScope late;
    useUsb(late.os(), true, {reply("END\r\n", 4000)});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 2000, 0, 0), "Time Out\r\n");
    EXPECT_EQ(late->nowMs(), 2050u);
}

TEST(ReadingUsbOverlapped, EmptyTerminatorNulByteAndTrailingBytes) {
    SimScope sim;
    useUsb(sim.os(), true, {reply("abc"), reply("def")});
    EXPECT_STREQ(QOVA_Read_withTimeout("", 1000, 0, 0), "abc");

    SimScope nul;
    useUsb(nul.os(), true, {reply(std::string("ST\0AT", 5)), reply("END\r\nmore")});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "ST");
    EXPECT_EQ(std::memcmp(receiveBuffer(), "ST\0ATEND\r\nmore", 14), 0);
}

// Within the give-up limit (here 1 s) a failed event creation is retried;
// past it the read gives up with "-1" (reading_wait_bounds_test).
TEST(ReadingUsbOverlapped, FailedEventCreationIsRetriedWithinTheLimit) {
    SimScope sim;
    useUsb(sim.os(), true, {reply("END\r\n")});
    alignToSecond(sim.os());
    const std::uint64_t t0 = sim->nowMs();
    sim->failNextEvents = 15;
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "END\r\n");
    EXPECT_EQ(sim->countCalls("CreateEvent failed"), 15);
    EXPECT_EQ(sim->nowMs() - t0, 16u * 50u);
}

TEST(ReadingUsbOverlapped, DeviceThatAnswersNothingAtOnceEndsAsTimeOut) {
    SimScope sim;
    useUsb(sim.os(), true, {closeAfter(0)});
    // Every request completes at once with no bytes: after a second of
    // that (the wait's whole seconds) the read ends.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 100, 100), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs(), 50u + 5 * 200u);
}

// Found by fuzzing: with no delays, a device whose requests all complete at
// once with nothing kept the reader asking without pause (the clock never
// moved, the quiet limit was never reached).
TEST(ReadingUsbOverlapped, DeviceThatAnswersNothingAtOnceWithoutDelaysPauses) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, {closeAfter(0)});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "Time Out\r\n");
    // One request per 50 ms pause until the quiet has lasted a whole second.
    EXPECT_EQ(sim->nowMs(), 1000u);
    EXPECT_EQ(readsOf(sim.os(), path), 20);
}

TEST(ReadingUsbOverlapped, FullBufferWithoutTerminatorStopsAndTimesOut) {
    SimScope sim;
    const std::string path = usbPath();
    std::vector<Step> chunks(130, reply(std::string(512, 'A')));
    useUsb(sim.os(), true, chunks);
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "Time Out\r\n");
    EXPECT_EQ(readsOf(sim.os(), path), 128);  // 128 x 512 = 65,536
    EXPECT_EQ(qov::receiveState().usbCount, 65536);
    EXPECT_EQ(receiveBuffer()[65536], 0);
}

// ---------------------------------------------------------------------------
// USB connection without overlapped I/O: UsbRead_judge
// ---------------------------------------------------------------------------

TEST(ReadingUsbJudge, SynchronousRequestsCollectTheSplitTerminator) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), false, {reply("EN"), reply("D\r\n+")});
    EXPECT_STREQ(QOVA_Read("END\r\n"), "END\r\n+");
    EXPECT_EQ(sim->nowMs(), 50u);
    EXPECT_EQ(readsOf(sim.os(), path), 2);
    EXPECT_EQ(sim->openEventCount(), 0);  // the per-call event is closed
}

TEST(ReadingUsbJudge, QuietPrinterEndsAsTimeOutAfterTheWait) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), false);
    // One request on the quiet printer returns empty after the 5 s USB wait.
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs(), 50u + 5000u);
    EXPECT_EQ(readsOf(sim.os(), path), 1);
}

// Found by fuzzing: a closed device completes every request at once with
// nothing; the reader pauses between them and ends after the quiet limit.
TEST(ReadingUsbJudge, DeviceThatAnswersNothingAtOnceEndsAsTimeOut) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), false, {closeAfter(0)});
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs(), 5000u);  // QOVA_Read's quiet limit: 5 whole seconds
    EXPECT_EQ(readsOf(sim.os(), path), 100);

    // The same on a caller's handle, with the caller's wait.
    void* h = usbHandle(sim.os(), {reply("EN"), closeAfter(0)});
    const std::uint64_t t0 = sim->nowMs();
    char terminator[] = "END";
    EXPECT_TRUE(UsbRead_judge(h, terminator, 2000));
    EXPECT_EQ(bufferText(), "EN");
    EXPECT_EQ(sim->nowMs() - t0, 2000u);
}

TEST(ReadingUsbJudge, RefusedRequestEndsAsTimeOutWithoutAskingAgain) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), false, {failAfter(0)});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 300, 0, 0), "Time Out\r\n");
    // The dispatch uses the fixed 5,000 ms wait, not the caller's.
    EXPECT_EQ(sim->countCalls("WaitForSingleObject 5000"), 1);
    EXPECT_EQ(readsOf(sim.os(), path), 1);

    SimScope async;
    useUsb(async.os(), true, {failAfter(0)});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 300, 0, 0), "Time Out\r\n");
    EXPECT_EQ(async->countCalls("WaitForSingleObject 300"), 1);
    EXPECT_EQ(readsOf(async.os(), path), 1);
}

struct GiveUpCase {
    int waitTimeout;  // -1: QOVA_Read
    std::uint64_t elapsedMs;
};

class ReadingUsbJudgeGiveUp : public ::testing::TestWithParam<GiveUpCase> {};

TEST_P(ReadingUsbJudgeGiveUp, NoEventMeansMinusOneAfterWholeSeconds) {
    SimScope sim;
    useUsb(sim.os(), false, {reply("END\r\n")});
    sim->failNextEvents = 1000;
    const int w = GetParam().waitTimeout;
    EXPECT_STREQ(w < 0 ? QOVA_Read("END\r\n") : QOVA_Read_withTimeout("END\r\n", w, 0, 0), "-1");
    EXPECT_EQ(sim->nowMs(), GetParam().elapsedMs);
    EXPECT_EQ(sim->countCalls("ReadFile "), 0);
}

INSTANTIATE_TEST_SUITE_P(Reading, ReadingUsbJudgeGiveUp,
                         ::testing::Values(GiveUpCase{-1, 5000}, GiveUpCase{2500, 2000},
                                           GiveUpCase{300, 1000}, GiveUpCase{7000, 7000}));

TEST(ReadingUsbJudge, CallersHandleTimeOutLeavesTheReplyText) {
    SimScope sim;
    useUsb(sim.os(), true, {reply("R1 END\r\n")});
    const char* previous = QOVA_Read_withTimeout("END\r\n", 1000, 0, 0);
    ASSERT_STREQ(previous, "R1 END\r\n");

    void* h = usbHandle(sim.os(), {});
    char term[] = "END\r\n";
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_TRUE(UsbRead_judge(h, term, 300));
    EXPECT_EQ(sim->nowMs() - t0, 350u);
    EXPECT_EQ(qov::receiveState().replyText, previous);

    const std::uint64_t t1 = sim->nowMs();
    EXPECT_TRUE(UsbRead_judge(h, term));
    EXPECT_EQ(sim->nowMs() - t1, 5050u);
    EXPECT_EQ(sim->countCalls("CancelIo " + usbPath("CHUNK1")), 2);
    EXPECT_EQ(sim->openEventCount(), 1);  // only the overlapped reader's read event
}

TEST(ReadingUsbJudge, CallersHandleReplyAndFailedEvent) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {reply("A"), reply("B;", 200)});
    char term[] = ";";
    EXPECT_TRUE(UsbRead_judge(h, term));
    EXPECT_STREQ(qov::receiveState().replyText, "AB;");
    EXPECT_EQ(sim->nowMs(), 200u);

    sim->failNextEvents = 1;
    EXPECT_FALSE(UsbRead_judge(h, term));
    EXPECT_EQ(sim->countCalls("ReadFile "), 2);  // nothing read without an event
}

}  // namespace
