// TCP opens and closes: call order, time-outs, flags, the socket error flag
// and the balance of socket-layer start-ups.
#include <gtest/gtest.h>

#include <cstdint>

#include "connections_test_support.h"
#include "qovlib.h"
#include "reading/receive_state.h"

using conn_test::callAt;
using conn_test::Flags;
using conn_test::flags;
using conn_test::portArg;
using conn_test::kNone;
using qov::connection;
using qov::receiveState;
using namespace qov::sim;

TEST(ConnectionsEthernet, BlockingOpenConnectsSetsTimeoutsAndSettles) {
    SimScope sim;
    sim->addPeer("192.168.1.50", 9100);
    receiveState().socketErrorFlag = 1;
    EXPECT_EQ(openethernet("192.168.1.50", 9100), 0);
    EXPECT_EQ(sim->calls, (std::vector<std::string>{
                              "WSAStartup", "socket", "connect tcp:192.168.1.50:9100",
                              "setsockopt SO_SNDTIMEO 1000", "setsockopt SO_RCVTIMEO 1000",
                              "Sleep 50"}));
    EXPECT_EQ(flags(), Flags::with({&Flags::network, &Flags::open}));
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
    EXPECT_EQ(sim->peer("192.168.1.50", 9100)->connections.size(), 1u);
}

TEST(ConnectionsEthernet, BlockingOpenFailuresCleanUpAndKeepAnEarlierConnection) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    sim->addPeer("10.0.0.2", 9100).behaviour = NetworkPeer::Refuse;
    NetworkPeer& silent = sim->addPeer("10.0.0.3", 9100);
    silent.behaviour = NetworkPeer::Silent;
    silent.connectTimeoutMs = 21000;
    ASSERT_EQ(openethernet("10.0.0.1", 9100), 0);
    const qov::Socket held = connection().networkSocket;

    receiveState().socketErrorFlag = 1;
    EXPECT_EQ(openethernet("10.0.0.2", 9100), 1);
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
    const auto t0 = sim->nowMs();
    EXPECT_EQ(openethernet("10.0.0.3", 9100), 1);
    EXPECT_EQ(sim->nowMs() - t0, 21000u);  // the OS's own connect time-out
    EXPECT_EQ(openethernet("printer.local", 9100), 1);  // no name look-up
    sim->socketCreationFails = true;
    EXPECT_EQ(openethernet("10.0.0.1", 9100), 1);

    EXPECT_EQ(sim->socketStartups - sim->socketCleanups, 1);
    EXPECT_EQ(sim->openSocketCount(), 1);
    EXPECT_EQ(connection().networkSocket, held);
    EXPECT_EQ(flags(), Flags::with({&Flags::network, &Flags::open}));
}

TEST(ConnectionsEthernet, AsyncOpenAgainstASilentPeerGivesUpAfterFiveSeconds) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    sim->addPeer("10.0.0.3", 9100).behaviour = NetworkPeer::Silent;
    ASSERT_EQ(openport("P"), 0);
    receiveState().socketErrorFlag = 1;
    const auto t0 = sim->nowMs();
    EXPECT_EQ(openethernet_async("10.0.0.3", 9100), 1);
    EXPECT_EQ(sim->nowMs() - t0, 5000u);
    EXPECT_EQ(flags(), Flags::with({&Flags::spooler, &Flags::open}));
    EXPECT_EQ(receiveState().socketErrorFlag, 1);
    EXPECT_EQ(sim->openSocketCount(), 0);
    EXPECT_EQ(sim->socketStartups, sim->socketCleanups);
}

TEST(ConnectionsEthernet, AsyncOpenSwitchesToNonBlockingBeforeConnecting) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    receiveState().socketErrorFlag = 1;
    EXPECT_EQ(openethernet_async("10.0.0.1", 9100), 0);
    EXPECT_LT(callAt(sim.os(), "ioctlsocket FIONBIO 1"), callAt(sim.os(), "connect"));
    EXPECT_LT(callAt(sim.os(), "setsockopt SO_RCVTIMEO 1000"), callAt(sim.os(), "select"));
    EXPECT_LT(callAt(sim.os(), "select"), callAt(sim.os(), "getsockopt SO_ERROR"));
    EXPECT_EQ(flags(), Flags::with({&Flags::network, &Flags::open}));
    EXPECT_EQ(receiveState().socketErrorFlag, 1);  // only the blocking opens clear it
}

// A refused connect never becomes writable: the open waits out its select
// and fails like a silent peer, leaving the earlier connection as it was.
TEST(ConnectionsEthernet, AsyncOpenRefusedWaitsOutTheSelectAndKeepsAnEarlierConnection) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    sim->addPeer("10.0.0.2", 9100).behaviour = NetworkPeer::Refuse;
    ASSERT_EQ(openethernet("10.0.0.1", 9100), 0);
    const Flags before = flags();
    const std::uint64_t start = sim->nowMs();
    EXPECT_EQ(openethernet_async("10.0.0.2", 9100), 1);
    EXPECT_EQ(sim->nowMs() - start, 5000u);
    EXPECT_EQ(flags(), before);
    // The earlier socket is still held, so closeethernetport can close it.
    EXPECT_EQ(sim->openSocketCount(), 1);
    EXPECT_EQ(closeethernetport(0), 1);
    EXPECT_EQ(sim->openSocketCount(), 0);
    EXPECT_EQ(sim->socketStartups, sim->socketCleanups);
}

TEST(ConnectionsEthernet, SlotOpenTakesThePortFromThePointerValue) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    receiveState().socketErrorFlag = 1;
    EXPECT_EQ(openethernetmult(2, const_cast<char*>("10.0.0.1"), portArg(0x10000 + 9100)), 0);
    EXPECT_EQ(callAt(sim.os(), "connect tcp:10.0.0.1:9100"), 2);
    EXPECT_EQ(sim->sleeps, (std::vector<std::uint32_t>{50}));
    EXPECT_EQ(connection().slotNet[2].networkFlag, 1);
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));  // network flag untouched

    sim->calls.clear();
    for (int slot : {0, 6}) {
        EXPECT_EQ(openethernetmult(slot, const_cast<char*>("10.0.0.1"), portArg(9100)), 1);
    }
    EXPECT_EQ(openethernetmult(3, const_cast<char*>("10.0.0.1"), portArg(9101)), 1);  // no peer
    EXPECT_EQ(connection().slotNet[3].networkFlag, 0);
    EXPECT_EQ(callAt(sim.os(), "WSAStartup"), 0);  // only the valid slot started anything
    EXPECT_EQ(sim->countCalls("WSAStartup"), 1);
}

TEST(ConnectionsEthernet, ClosesSleepFirstAndBalanceStartups) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    ASSERT_EQ(openethernet("10.0.0.1", 9100), 0);
    ASSERT_EQ(openethernetmult(3, const_cast<char*>("10.0.0.1"), portArg(9100)), 0);
    sim->calls.clear();
    EXPECT_EQ(closeethernetport(250), 1);
    EXPECT_EQ(sim->calls.at(0), "Sleep 250");
    EXPECT_EQ(sim->calls.at(1), "closesocket tcp:10.0.0.1:9100");
    EXPECT_EQ(flags(), Flags::with({&Flags::open}));

    sim->calls.clear();
    EXPECT_EQ(closeethernetportmult(7, 500), 0);
    EXPECT_TRUE(sim->calls.empty());
    EXPECT_EQ(closeethernetportmult(3, 500), 1);
    EXPECT_EQ(sim->sleeps.back(), 500u);
    EXPECT_EQ(connection().slotNet[3].networkFlag, 0);
    EXPECT_EQ(sim->socketStartups, 2);
    EXPECT_EQ(sim->socketCleanups, 2);

    // Nothing held: no socket is closed twice and no extra clean-up happens.
    sim->calls.clear();
    EXPECT_EQ(closeethernetport(-5), 1);  // a negative delay is no delay
    EXPECT_EQ(closeethernetportmult(3, 0), 1);
    EXPECT_EQ(sim->countCalls("closesocket"), 0);
    EXPECT_EQ(sim->countCalls("WSACleanup"), 0);
    EXPECT_EQ(sim->sleeps.back(), 0u);
}

TEST(ConnectionsEthernet, NullAddressesConnectNothing) {
    SimScope sim;
    EXPECT_EQ(openethernet(nullptr, 9100), 1);
    EXPECT_EQ(openethernet_async(nullptr, 9100), 1);
    EXPECT_EQ(openethernetmult(1, nullptr, portArg(9100)), 1);
    EXPECT_TRUE(sim->calls.empty());
}
