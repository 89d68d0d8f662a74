// Slot numbers and port numbers past their range (negative, zero, past 5 or
// 65535, the ends of int): each export gives its documented result and
// touches nothing it should not.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "connections_test_support.h"
#include "qovlib.h"

using conn_test::addUsbPrinter;
using conn_test::Flags;
using conn_test::flags;
using conn_test::portArg;
using namespace qov::sim;

namespace {

constexpr int kBadSlots[] = {INT_MIN, -1, 0, 6, INT_MAX};


TEST(ArgumentBounds, SlotSendsAndClosesOutsideOneToFiveReachNothing) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    sim->addPeer("10.0.0.1", 9100);
    ASSERT_EQ(openport("P"), 0);
    for (int slot = 2; slot <= 5; ++slot) ASSERT_EQ(openportmult(slot, const_cast<char*>("P")), 1);
    for (int slot = 1; slot <= 5; ++slot) {
        ASSERT_EQ(openethernetmult(slot, const_cast<char*>("10.0.0.1"), portArg(9100)), 0);
    }
    const Flags before = flags();
    const int handles = sim->openHandleCount();
    sim->calls.clear();
    char text[] = "T";
    for (int slot : kBadSlots) {
        EXPECT_EQ(sendcommand_mult(slot, text), 0) << slot;
        EXPECT_EQ(sendcommand_withoutcrlf_mult(slot, text), 0) << slot;
        EXPECT_EQ(sendcommandmult(slot, text), 0) << slot;
        EXPECT_EQ(sendcommandutf8_mult(slot, text), 0) << slot;
        // No LPT, USB or COM port is the current connection: nothing to write.
        EXPECT_EQ(ZULOutBuffermult(slot, text), 0) << slot;
        EXPECT_EQ(QOVA_SetupStatus_Mult(slot, 1), 0) << slot;
        QOVA_FORMFEED_Mult(slot);
        QOVA_PrinterReset_Mult(slot);
        QOVA_SETSENSOR_Mult(slot, INT_MIN);
        EXPECT_EQ(closeethernetportmult(slot, 1000), 0) << slot;
        EXPECT_EQ(closeportmult(slot), 1) << slot;  // the current LPT/USB fallback: none
    }
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(sim->countCalls("Sleep"), 0);
    EXPECT_EQ(sim->countCalls("closesocket"), 0);
    EXPECT_EQ(sim->countCalls("ClosePrinter"), 0);
    EXPECT_EQ(sim->openHandleCount(), handles);
    EXPECT_EQ(sim->openSocketCount(), 5);
    EXPECT_EQ(flags(), before);
}

TEST(ArgumentBounds, SlotOpensOutsideOneToFiveOpenNothing) {
    SimScope sim;
    sim->addPrinter("P", "USB001");
    sim->addPeer("10.0.0.1", 9100);
    addUsbPrinter(sim.os(), "AAA");
    for (int slot : kBadSlots) {
        sim->calls.clear();
        EXPECT_EQ(openportmult(slot, const_cast<char*>("P")), 0) << slot;
        EXPECT_EQ(openethernetmult(slot, const_cast<char*>("10.0.0.1"), portArg(9100)), 1) << slot;
        EXPECT_EQ(openport_usbid(slot, ""), 1) << slot;
        EXPECT_EQ(openport_usbid_async(slot, ""), 1) << slot;
        EXPECT_EQ(openusbportmult(slot), 0) << slot;
        EXPECT_EQ(sim->countCalls("OpenPrinter"), 0) << slot;
        EXPECT_EQ(sim->countCalls("connect"), 0) << slot;
        EXPECT_EQ(sim->countCalls("CreateFile"), 0) << slot;
    }
    EXPECT_EQ(sim->openHandleCount(), 0);
    EXPECT_EQ(sim->openSocketCount(), 0);
    EXPECT_EQ(sim->socketStartups, 0);
}

TEST(ArgumentBounds, PortsOutsideOneTo65535ConnectNothing) {
    SimScope sim;
    sim->addPeer("10.0.0.1", 9100);
    sim->addPeer("10.0.0.1", 65535);
    // 74636 and -56436 would wrap to 9100 in their low 16 bits.
    for (int port : {INT_MIN, -56436, -1, 0, 65536, 74636, INT_MAX}) {
        EXPECT_EQ(openethernet("10.0.0.1", port), 1) << port;
        EXPECT_EQ(openethernet_async("10.0.0.1", port), 1) << port;
    }
    EXPECT_EQ(openethernetmult(2, const_cast<char*>("10.0.0.1"), portArg(0x10000)), 1);
    EXPECT_EQ(sim->countCalls("socket"), 0);
    EXPECT_EQ(sim->socketStartups, 0);

    EXPECT_EQ(openethernet("10.0.0.1", 65535), 0);
    EXPECT_EQ(openethernet_async("10.0.0.1", 1), 1);  // no peer there
    // The port travels in the pointer's low 16 bits; higher bits are not
    // part of it.
    EXPECT_EQ(openethernetmult(2, const_cast<char*>("10.0.0.1"), portArg(0x7F0000u + 9100u)), 0);
    EXPECT_EQ(sim->peer("10.0.0.1", 9100)->connections.size(), 1u);
    EXPECT_EQ(sim->peer("10.0.0.1", 65535)->connections.size(), 1u);
}

}  // namespace
