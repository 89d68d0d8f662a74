// Reading replies on a COM port: requests end with the port's read
// time-outs, a read that brings nothing ends the reply, and the read event
// lives until the port is closed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::reply;
using qov::sim::SimScope;

// A quiet line holds a 512-byte request for 50 ms + 512 x 10 ms.
constexpr std::uint64_t kQuietRequestMs = 50 + 512 * 10;

TEST(ReadingSerial, QovaReadSleepsAroundEachRequestAndFindsSplitTerminator) {
    SimScope sim;
    useCom(sim.os(), {reply("OK EN"), reply("D\r\n!")});
    const std::size_t sleeps0 = sim->sleeps.size();
    EXPECT_STREQ(QOVA_Read("END\r\n"), "OK END\r\n!");
    EXPECT_EQ(sim->nowMs(), 2 * (100u + 1000u));
    EXPECT_EQ(std::vector<std::uint32_t>(sim->sleeps.begin() + static_cast<long>(sleeps0),
                                         sim->sleeps.end()),
              (std::vector<std::uint32_t>{100, 1000, 100, 1000}));
    EXPECT_EQ(qov::receiveState().serialCount, 0);  // reset when found
}

TEST(ReadingSerial, QuietLineEndsTheReadWithTimeOut) {
    SimScope sim;
    useCom(sim.os(), {reply("PART")});
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    // The first request takes PART, the second finds the line quiet.
    EXPECT_EQ(sim->nowMs(), 2 * (100u + 1000u) + kQuietRequestMs);
    EXPECT_EQ(bufferText(), "PART");
    EXPECT_EQ(qov::receiveState().serialCount, 0);
}

TEST(ReadingSerial, ReplyLaterInTheRequestIsTaken) {
    SimScope sim;
    useCom(sim.os(), {reply("END\r\n", 2000)});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "END\r\n");
    EXPECT_EQ(sim->nowMs(), 2000u);
}

TEST(ReadingSerial, EmptyTerminatorTakesOneRequestOrTimesOutOnNothing) {
    SimScope sim;
    useCom(sim.os(), {reply("xyz"), reply("more")});
    EXPECT_STREQ(QOVA_Read_withTimeout("", 5000, 0, 0), "xyz");
    EXPECT_EQ(sim->countCalls("ReadFile COM1"), 1);

    SimScope quiet;
    useCom(quiet.os());
    // Nothing read: the time-out comes before any search.
    EXPECT_STREQ(QOVA_Read_withTimeout("", 5000, 0, 0), "Time Out\r\n");
}

TEST(ReadingSerial, NulByteCutsTheReplyButNotTheSearch) {
    SimScope sim;
    useCom(sim.os(), {reply(std::string("AB\0C END\r\n", 10))});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "AB");
}

TEST(ReadingSerial, NoReadEventMeansMinusOneAfterThreeSeconds) {
    SimScope sim;
    useCom(sim.os(), {reply("END\r\n")});
    sim->failNextEvents = 1000;
    // The limit is 3 whole seconds for both exports, whatever the wait.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 10000, 0, 0), "-1");
    EXPECT_EQ(sim->nowMs(), 3000u);
    EXPECT_EQ(sim->countCalls("ReadFile COM1"), 0);
    sim->failNextEvents = 1000;
    const std::uint64_t t1 = sim->nowMs();
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    EXPECT_EQ(sim->nowMs() - t1, 3000u);
}

TEST(ReadingSerial, PendingRequestOnOverlappedPortTimesOutAndIsCancelled) {
    SimScope sim;
    useCom(sim.os(), {reply("END\r\n", 900)}, true);
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 400, 0, 0), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs(), 400u);
    EXPECT_EQ(sim->countCalls("CancelIo COM1"), 1);
    // The cancelled request let go of its chunk: the reply is still there
    // for the next read.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "END\r\n");
    EXPECT_EQ(sim->nowMs(), 900u);
}

TEST(ReadingSerial, ReadEventIsRenewedPerReadAndClosedWithThePort) {
    SimScope sim;
    useCom(sim.os(), {reply("A END\r\n"), reply("B END\r\n")});
    ASSERT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "A END\r\n");
    ASSERT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "B END\r\n");
    EXPECT_EQ(sim->openEventCount(), 1);  // the first read's event was closed
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST(ReadingSerial, FullBufferWithoutTerminatorStopsAndTimesOut) {
    SimScope sim;
    useCom(sim.os(), std::vector<Step>(129, reply(std::string(512, 'S'))));
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "Time Out\r\n");
    EXPECT_EQ(sim->countCalls("ReadFile COM1"), 128);
    EXPECT_EQ(qov::receiveState().serialCount, 65536);
    EXPECT_EQ(receiveBuffer()[65535], 'S');
    EXPECT_EQ(receiveBuffer()[65536], 0);
}

// ---------------------------------------------------------------------------
// The order of the dispatch and the connections that cannot be read
// ---------------------------------------------------------------------------

TEST(ReadingDispatch, NothingOpenAnswersEmptyAtOnce) {
    SimScope sim;
    EXPECT_STREQ(QOVA_Read("END\r\n"), "");
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 10, 10), "");
    EXPECT_EQ(sim->nowMs(), 0u);
    EXPECT_TRUE(sim->calls.empty());
    // The reply text was set to the time-out text all the same.
    EXPECT_STREQ(qov::receiveState().replyText, "Time Out\r\n");
}

TEST(ReadingDispatch, SpoolerAndLptAnswerEmptyAfter100ms) {
    SimScope sim;
    auto& c = qov::connection();
    c.current.spoolerFlag = 1;
    c.current.usbFlag = 1;  // tested after the spooler
    EXPECT_STREQ(QOVA_Read("END\r\n"), "");
    EXPECT_EQ(sim->nowMs(), 100u);
    c.current.spoolerFlag = 0;
    c.current.usbFlag = 0;
    c.parallelFlag = 1;
    c.serialFlag = 1;
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "");
    EXPECT_EQ(sim->nowMs(), 200u);
    EXPECT_EQ(sim->countCalls("ReadFile"), 0);
    EXPECT_EQ(sim->sleeps, (std::vector<std::uint32_t>{100, 100}));
}

TEST(ReadingDispatch, UsbIsReadBeforeSerialAndSerialBeforeNetwork) {
    SimScope sim;
    usePeer(sim.os(), {reply("NET END\r\n")}, true);
    useCom(sim.os(), {reply("COM END\r\n")});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "COM END\r\n");
    useUsb(sim.os(), true, {reply("USB END\r\n")});
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "USB END\r\n");
    EXPECT_EQ(sim->countCalls("recv "), 0);
}

TEST(ReadingDispatch, ReadClearsBytesLeftByAnEarlierRead) {
    SimScope sim;
    useCom(sim.os(), {reply("LONG REPLY END\r\n"), reply("OK END\r\n")});
    ASSERT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "LONG REPLY END\r\n");
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "OK END\r\n");
    EXPECT_EQ(bufferText(), "OK END\r\n");
}

}  // namespace
