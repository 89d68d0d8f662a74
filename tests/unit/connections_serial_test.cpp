// opencomport, SetRS232 and comportdefault: the line fields each writes and
// the handles and flags each leaves.
#include <gtest/gtest.h>

#include <cstring>

#include "connections_test_support.h"
#include "qovlib.h"

using conn_test::Flags;
using conn_test::flags;
using conn_test::kNone;
using qov::connection;
using qov::SerialState;
using namespace qov::sim;

namespace {
::testing::AssertionResult lineIs(const SerialState& s, std::uint32_t baud, int check, int bits,
                                  int parity, int stop) {
    if (s.baudRate == baud && s.parityCheck == check && s.byteSize == bits &&
        s.parity == parity && s.stopBits == stop) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "line is " << s.baudRate << " check " << int(s.parityCheck) << " bits "
           << int(s.byteSize) << " parity " << int(s.parity) << " stop " << int(s.stopBits);
}
char* text(const char* s) { return const_cast<char*>(s); }
}  // namespace

TEST(ConnectionsSerial, SetRS232MapsItsChoices) {
    SimScope sim;
    Device& com = sim->addDevice("COM2", DeviceKind::Com);
    com.serial = {9600, 1, 8, 0, 2};
    EXPECT_EQ(SetRS232(text("COM2"), 12, 2, 1, 0), 1);
    EXPECT_TRUE(lineIs(com.serial, 115200, 1, 7, 2, 0));  // the parity check is kept
    EXPECT_EQ(com.lastAccess, qov::kAccessRead | qov::kAccessWrite);
    EXPECT_EQ(com.lastShare, 0u);  // never under another open of the port
    EXPECT_EQ(com.lastDisposition, qov::Disposition::CreateAlways);
    EXPECT_EQ(com.lastFlags, qov::kFlagOverlapped | qov::kFlagNormalAttributes);
    EXPECT_EQ(com.openHandles, 0);

    EXPECT_EQ(SetRS232(text("COM2"), 13, 1, 0, 1), 1);  // index 13 keeps the rate
    EXPECT_TRUE(lineIs(com.serial, 115200, 1, 8, 1, 1));
    EXPECT_EQ(SetRS232(text("COM2"), -1, 3, 2, 3), 1);  // nothing in range: nothing changes
    EXPECT_TRUE(lineIs(com.serial, 115200, 1, 8, 1, 1));

    const std::uint32_t rates[] = {110,   300,   600,   1200,  2400,  4800, 9600,
                                   14400, 19200, 38400, 56000, 57600, 115200};
    for (int i = 0; i < 13; ++i) {
        SetRS232(text("COM2"), i, 0, 0, 2);
        EXPECT_TRUE(lineIs(com.serial, rates[i], 1, 8, 0, 2)) << i;
    }
    EXPECT_EQ(flags(), conn_test::kNone);
}

TEST(ConnectionsSerial, SetRS232LeavesTheOpenConnectionsHandleAlone) {
    SimScope sim;
    Device& com1 = sim->addDevice("COM1", DeviceKind::Com);
    Device& com2 = sim->addDevice("COM2", DeviceKind::Com);
    ASSERT_EQ(openport("COM1"), 0);
    const qov::Handle held = connection().current.handle;
    EXPECT_EQ(SetRS232(text("COM2"), 8, 0, 0, 0), 1);
    EXPECT_EQ(com2.serial.baudRate, 19200u);
    EXPECT_EQ(connection().current.handle, held);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(com1.openHandles, 0);
    EXPECT_EQ(sim->openHandleCount(), 0);
}

TEST(ConnectionsSerial, SetRS232OnAMissingPortWritesNothing) {
    SimScope sim;
    Device& com = sim->addDevice("COM4", DeviceKind::Com);
    com.openFails = true;
    EXPECT_EQ(SetRS232(text("COM4"), 12, 2, 1, 0), 1);
    EXPECT_EQ(SetRS232(nullptr, 12, 2, 1, 0), 1);
    EXPECT_EQ(sim->countCalls("SetCommState"), 0);
    EXPECT_EQ(sim->countCalls("CloseHandle"), 0);
    EXPECT_EQ(com.serial.baudRate, 9600u);
}

TEST(ConnectionsSerial, OpenComPortWritesTheFixedLineAndAddsTheSerialFlag) {
    SimScope sim;
    Printer& p = sim->addPrinter("P", "USB001");
    Device& com = sim->addDevice("COM3", DeviceKind::Com);
    com.serial = {19200, 1, 7, 2, 2};
    ASSERT_EQ(openport("P"), 0);
    EXPECT_STREQ(opencomport(text("COM3")), "1");
    EXPECT_TRUE(lineIs(com.serial, 9600, 0, 8, 0, 0));
    EXPECT_EQ(com.lastFlags, qov::kFlagOverlapped | qov::kFlagNormalAttributes);
    EXPECT_FALSE(com.timeoutsSet);
    // The port's handle replaces the printer's, so the printer is closed
    // (its document ended) rather than lost with its flag still set.
    EXPECT_EQ(p.docsEnded, 1);
    EXPECT_EQ(p.openHandles, 0);
    EXPECT_EQ(flags(), Flags::with({&Flags::serial, &Flags::open}));
}

TEST(ConnectionsSerial, OpenComPortCountsAsOpenEvenWhenThePortIsMissing) {
    SimScope sim;
    sim->addDevice("COM4", DeviceKind::Com).openFails = true;
    EXPECT_STREQ(opencomport(text("COM4")), "1");
    EXPECT_EQ(connection().current.handle, qov::kInvalidHandle);
    EXPECT_EQ(flags(), Flags::with({&Flags::serial, &Flags::open}));
    EXPECT_EQ(sim->countCalls("SetCommState"), 0);
}

TEST(ConnectionsSerial, OpenComPortWithoutANameOpensNothing) {
    SimScope sim;
    EXPECT_STREQ(opencomport(nullptr), "1");
    EXPECT_TRUE(sim->calls.empty());
    EXPECT_EQ(flags(), conn_test::kNone);
}

TEST(ConnectionsSerial, ComportDefaultRewritesTheHeldPort) {
    SimScope sim;
    Device& com = sim->addDevice("COM4", DeviceKind::Com);
    com.serial = {115200, 1, 7, 2, 1};
    ASSERT_EQ(openport("COM4"), 0);
    EXPECT_EQ(comportdefault(), 1);
    EXPECT_TRUE(lineIs(com.serial, 9600, 0, 8, 0, 0));

    // On a port that is no COM port the state cannot be read, so none is written.
    sim->addDevice("LPT1", DeviceKind::Lpt);
    ASSERT_EQ(openport("LPT1"), 0);
    sim->calls.clear();
    EXPECT_EQ(comportdefault(), 1);
    EXPECT_EQ(sim->calls, (std::vector<std::string>{"GetCommState LPT1"}));
}
