// Reading replies on a network connection: what is returned, when the read
// ends in virtual milliseconds, and the sticky socket error flag.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::closeAfter;
using qov::sim::failAfter;
using qov::sim::reply;
using qov::sim::SimScope;

int& socketErrorFlag() { return qov::receiveState().socketErrorFlag; }

// ---------------------------------------------------------------------------
// What a read returns
// ---------------------------------------------------------------------------

TEST(ReadingNetwork, StatusLineThenEndLineReturnsBoth) {
    SimScope sim;
    usePeer(sim.os(), {reply("STATUS OK\r\n"), reply("END\r\n", 1550)}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "STATUS OK\r\nEND\r\n");
    // Polled every 100 ms: the line end arrives at 1550 and is taken at 1600.
    EXPECT_EQ(sim->nowMs() - t0, 1600u);
    EXPECT_TRUE(sim->allScriptsDone());
}

TEST(ReadingNetwork, TerminatorSplitAcrossReceivesIsFound) {
    SimScope sim;
    usePeer(sim.os(), {reply("OK EN"), reply("D\r\n", 300)}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "OK END\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 300u);
}

TEST(ReadingNetwork, BytesAfterTerminatorComeWithTheReply) {
    SimScope sim;
    usePeer(sim.os(), {reply("A\r\nEND\r\nTAIL")}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "A\r\nEND\r\nTAIL");
    EXPECT_EQ(sim->nowMs() - t0, 100u);
}

TEST(ReadingNetwork, EmptyTerminatorEndsAtTheFirstReceive) {
    SimScope sim;
    usePeer(sim.os(), {reply("first"), reply("second", 50)}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read(""), "first");
    EXPECT_EQ(sim->nowMs() - t0, 100u);
    EXPECT_EQ(sim->countCalls("recv "), 1);
    // Nothing has arrived yet: the empty terminator still ends the read.
    SimScope quiet;
    usePeer(quiet.os(), {}, true);
    const std::uint64_t t1 = alignToSecond(quiet.os());
    EXPECT_STREQ(QOVA_Read(""), "");
    EXPECT_EQ(quiet->nowMs() - t1, 100u);
}

TEST(ReadingNetwork, NulByteCutsTheReplyButNotTheSearch) {
    SimScope sim;
    usePeer(sim.os(), {reply(std::string("AB\0CD END\r\n", 11))}, true);
    const char* r = QOVA_Read("END\r\n");
    EXPECT_STREQ(r, "AB");
    // The bytes after the NUL were received and searched.
    EXPECT_EQ(std::memcmp(receiveBuffer(), "AB\0CD END\r\n", 11), 0);
}

TEST(ReadingNetwork, ReplyLongerThanAKilobyteIsReturnedWhole) {
    SimScope sim;
    const std::string body(3000, 'x');
    usePeer(sim.os(), {reply(body.substr(0, 1000)), reply(body.substr(1000) + "END\r\n", 100)},
            true);
    const std::string r = QOVA_Read("END\r\n");
    EXPECT_EQ(r.size(), 3005u);
    EXPECT_EQ(r, body + "END\r\n");
}

TEST(ReadingNetwork, TerminatorInTheLastBytesOfTheBufferIsFound) {
    SimScope sim;
    const std::string body(65536 - 5, 'x');
    usePeer(sim.os(), {reply(body.substr(0, 30000)), reply(body.substr(30000) + "END\r\n")}, true);
    const std::string r = QOVA_Read("END\r\n");
    EXPECT_EQ(r.size(), 65536u);
    EXPECT_EQ(r.substr(65531), "END\r\n");
}

TEST(ReadingNetwork, PartialMatchesBeforeTheTerminatorAreSkipped) {
    SimScope sim;
    usePeer(sim.os(), {reply("EENEN ENDX"), reply("END\r\n", 100)}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "EENEN ENDXEND\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 200u);  // not found in the first chunk
}

TEST(ReadingNetwork, FullBufferWithoutTerminatorStopsAndTimesOut) {
    SimScope sim;
    usePeer(sim.os(), {reply(std::string(40000, 'A')), reply(std::string(40000, 'B'))}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    // Ends when nothing more fits, not at the 5-second limit.
    EXPECT_EQ(sim->nowMs() - t0, 200u);
    const unsigned char* b = receiveBuffer();
    EXPECT_EQ(b[39999], 'A');
    EXPECT_EQ(b[40000], 'B');
    EXPECT_EQ(b[65535], 'B');
    EXPECT_EQ(b[65536], 0);  // the spare terminator byte is never written
    EXPECT_EQ(qov::receiveState().networkCount, 65536);
}

TEST(ReadingNetwork, EachReplyStaysValidForTheNextFifteen) {
    SimScope sim;
    std::vector<Step> script;
    for (int i = 0; i < 17; ++i) script.push_back(reply("R" + std::to_string(i) + " END\r\n"));
    usePeer(sim.os(), script, true);
    std::vector<const char*> kept;
    for (int i = 0; i < 16; ++i) kept.push_back(QOVA_Read("END\r\n"));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(std::string(kept[i]), "R" + std::to_string(i) + " END\r\n") << i;
    }
    const char* last = QOVA_Read("END\r\n");
    EXPECT_STREQ(last, "R16 END\r\n");
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(std::string(kept[i]), "R" + std::to_string(i) + " END\r\n") << i;
    }
}

// ---------------------------------------------------------------------------
// Time limits: whole calendar seconds from the start of the call
// ---------------------------------------------------------------------------

struct LimitCase {
    int waitTimeout;
    std::uint64_t elapsedMs;
};

class ReadingNetworkLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(ReadingNetworkLimit, SilentPrinterTimesOutAfterWholeSeconds) {
    SimScope sim;
    usePeer(sim.os(), {}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    // The delays before and after a request do not apply to the network.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", GetParam().waitTimeout, 3000, 3000),
                 "Time Out\r\n");
    EXPECT_EQ(sim->nowMs() - t0, GetParam().elapsedMs);
    EXPECT_EQ(sim->countCalls("recv "), static_cast<int>(GetParam().elapsedMs / 100));
    EXPECT_EQ(socketErrorFlag(), 0);  // would-block is no error
}

INSTANTIATE_TEST_SUITE_P(Reading, ReadingNetworkLimit,
                         ::testing::Values(LimitCase{500, 1000}, LimitCase{0, 1000},
                                           LimitCase{999, 1000}, LimitCase{2500, 2000},
                                           LimitCase{3000, 3000},
                                           // Bounded: a negative wait is the
                                           // default 5 s, a huge one 600 s.
                                           LimitCase{-1, 5000}, LimitCase{INT_MIN, 5000},
                                           LimitCase{600999, 600000},
                                           LimitCase{INT_MAX, 600000}));

TEST(ReadingNetwork, QovaReadGivesUpAfterFiveSecondsWithWhatItHasUnused) {
    SimScope sim;
    usePeer(sim.os(), {reply("STATUS")}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 5000u);
    EXPECT_EQ(bufferText(), "STATUS");
}

TEST(ReadingNetwork, LimitCountsCalendarSecondsNotMilliseconds) {
    SimScope sim;
    usePeer(sim.os(), {}, true);
    const std::uint64_t t0 = alignToSecond(sim.os()) + 600;
    sim->advance(600);
    // The next calendar second begins 400 ms into the call.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 500, 0, 0), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 400u);
}

// ---------------------------------------------------------------------------
// Failures: closed connection, failed receives, the sticky flag
// ---------------------------------------------------------------------------

TEST(ReadingNetwork, PeerClosingEndsTheReadWithMinusOne) {
    SimScope sim;
    usePeer(sim.os(), {reply("PART"), closeAfter(250)}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    EXPECT_EQ(sim->nowMs() - t0, 300u);
    EXPECT_EQ(socketErrorFlag(), 0);  // a close is not a socket error
}

TEST(ReadingNetwork, ReceiveTimeOutOfBlockingSocketFailsAndSetsFlag) {
    SimScope sim;
    usePeer(sim.os(), {}, false);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    // 100 ms pause, 1000 ms receive time-out, the next 100 ms pause.
    EXPECT_EQ(sim->nowMs() - t0, 1200u);
    EXPECT_EQ(socketErrorFlag(), 1);
}

TEST(ReadingNetwork, ErrorOnTheLastRoundIsATimeOutAndTheNextReadFailsOnItsSecondRound) {
    SimScope sim;
    usePeer(sim.os(), {}, false);
    const std::uint64_t t0 = alignToSecond(sim.os());
    // The receive times out at 1100: the limit of 1 s has passed, so the
    // read ends as a time-out before the error becomes the flag.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 500, 0, 0), "Time Out\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 1100u);
    EXPECT_EQ(socketErrorFlag(), 0);
    // With 5 s, the error of the first receive is seen after the second
    // pause: "-1" at 1100 + 100 + 1000 + 100.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "-1");
    EXPECT_EQ(sim->nowMs() - t0, 2300u);
    EXPECT_EQ(socketErrorFlag(), 1);
    EXPECT_EQ(sim->countCalls("recv "), 2);
}

TEST(ReadingNetwork, ConnectionResetFailsAndSetsFlag) {
    SimScope sim;
    usePeer(sim.os(), {failAfter(0)}, true);
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    EXPECT_EQ(sim->nowMs() - t0, 200u);
    EXPECT_EQ(socketErrorFlag(), 1);
}

TEST(ReadingNetwork, SocketErrorFlagStaysUntilABlockingOpen) {
    SimScope sim;
    NetworkPeer& peer = usePeer(sim.os(), {}, false);
    ASSERT_STREQ(QOVA_Read("END\r\n"), "-1");
    ASSERT_EQ(socketErrorFlag(), 1);

    // A whole reply on a working connection still reads as "-1".
    peer.script = {reply("OK END\r\n")};
    ASSERT_EQ(openethernet_async(kPeerAddress, kPeerPort), 0);
    EXPECT_EQ(socketErrorFlag(), 1);
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "-1");

    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    EXPECT_EQ(socketErrorFlag(), 0);
    EXPECT_STREQ(QOVA_Read("END\r\n"), "OK END\r\n");
}

TEST(ReadingNetwork, SlotOpenClearsTheSocketErrorFlag) {
    SimScope sim;
    usePeer(sim.os(), {}, false);
    ASSERT_STREQ(QOVA_Read("END\r\n"), "-1");
    char address[] = "10.0.0.9";
    ASSERT_EQ(openethernetmult(2, address, reinterpret_cast<int*>(std::intptr_t{kPeerPort})), 0);
    EXPECT_EQ(socketErrorFlag(), 0);
}

}  // namespace
