// The status query and set-up, the code-page queries and the restarts:
// exact bytes on the wire, what comes back, and the waits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::closeAfter;
using qov::sim::expect;
using qov::sim::reply;
using qov::sim::SimScope;
using qov::sim::WriteKind;

const std::string kSerialQuery("~!I\n OUT \"\x02\"\n");
const std::string kUsbQuery("~!I\n\rOUT \"\x02\"\n\r");

// A present USB printer of the library's vendor.
Device& addUsbPrinter(SimPlatform& sim, std::vector<Step> script,
                      const std::string& path = usbPath("CP0001")) {
    sim.addUsbInterface(path);
    Device& d = sim.addDevice(path, DeviceKind::Usb);
    d.io.script = std::move(script);
    return d;
}

// ---------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------

TEST(ReadingStatus, QuerySendsNoLineEndAndReadsUpToEnd) {
    SimScope sim;
    usePeer(sim.os(), {expect("~NORMAL\r\n~STATUS"), reply("STATUS;OK\r\nEND\r\nNEXT")}, true);
    EXPECT_STREQ(QOVA_GetStatus(), "STATUS;OK\r\nEND\r\nNEXT");
    const auto writes = sim->writesTo(peerTarget());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, "~NORMAL\r\n~STATUS");
    EXPECT_EQ(writes[0].kind, WriteKind::Send);
    EXPECT_TRUE(sim->allScriptsDone());
}

TEST(ReadingStatus, QueryOnUsbUsesTheOverlappedWriteAndReader) {
    SimScope sim;
    const std::string path = usbPath();
    useUsb(sim.os(), true, {expect("~NORMAL\r\n~STATUS"), reply("S1\r\nEND\r\n")});
    EXPECT_STREQ(QOVA_GetStatus(), "S1\r\nEND\r\n");
    const auto writes = sim->writesTo(path);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, "~NORMAL\r\n~STATUS");
    EXPECT_EQ(writes[0].kind, WriteKind::WriteFileOverlapped);
}

TEST(ReadingStatus, QueryWithoutReadableConnectionSendsNothing) {
    SimScope sim;
    EXPECT_STREQ(QOVA_GetStatus(), "");
    EXPECT_EQ(sim->nowMs(), 0u);
    sim->addPrinter("ZP-1", "USB001");
    ASSERT_EQ(openport("ZP-1"), 0);
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_STREQ(QOVA_GetStatus(), "");
    EXPECT_EQ(sim->nowMs() - t0, 100u);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(ReadingStatus, SetupSendsEachModeWithLineEnd) {
    const char* const texts[] = {
        "~NORMAL\r\n~CONFIG\r\nSNOOP;OFF\r\nEND\r\n",
        "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;SER\r\nEND\r\n",
        "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;PAR\r\nEND\r\n",
        "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;ETH\r\nEND\r\n",
    };
    for (int mode = 0; mode < 4; ++mode) {
        SimScope sim;
        sim->addPrinter("ZP-1", "USB001");
        ASSERT_EQ(openport("ZP-1"), 0);
        EXPECT_EQ(QOVA_SetupStatus(mode), 1);
        const auto writes = sim->writesTo("ZP-1");
        ASSERT_EQ(writes.size(), 2u) << mode;
        EXPECT_EQ(writes[0].bytes, texts[mode]);
        EXPECT_EQ(writes[1].bytes, "\r\n");
    }
}

TEST(ReadingStatus, SetupOutsideTheModesSendsNothing) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001");
    sim->addPrinter("ZP-2", "USB002");
    ASSERT_EQ(openport("ZP-1"), 0);
    char second[] = "ZP-2";
    ASSERT_EQ(openportmult(2, second), 1);
    EXPECT_EQ(QOVA_SetupStatus(4), 0);
    EXPECT_EQ(QOVA_SetupStatus(-1), 0);
    EXPECT_EQ(QOVA_SetupStatus_Mult(2, 7), 0);
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(QOVA_SetupStatus_Mult(2, 3), 1);
    EXPECT_EQ(sim->bytesTo("ZP-2"), "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;ETH\r\nEND\r\n\r\n");
    EXPECT_EQ(sim->bytesTo("ZP-1"), "");
    EXPECT_EQ(QOVA_SetupStatus_Mult(6, 0), 0);
}

TEST(ReadingCalibration, RfidCalibrationAnswerIsReadUpToQovEnd) {
    SimScope sim;
    usePeer(sim.os(),
            {expect("!QOV_SETUP\r\nRFID-RFID_CAL;\r\nQOV_END\r\n\r\n"),
             reply("RFID;CAL;"), reply("OK\r\nQOV_END\r\n", 250)},
            true);
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_STREQ(QOVA_RFIDAUTOCALIBRATION(), "RFID;CAL;OK\r\nQOV_END\r\n");
    EXPECT_EQ(sim->nowMs() - t0, 300u);
    EXPECT_TRUE(sim->allScriptsDone());
}

// ---------------------------------------------------------------------------
// Serial code page
// ---------------------------------------------------------------------------

TEST(ReadingCodePage, SerialAnswerRunsUpToTheStxWithItsLineEnd) {
    SimScope sim;
    useCom(sim.os(), {expect(kSerialQuery), reply("CP 1252\r\n\x02TAIL")});
    char* answer = comportprintercodepage();
    EXPECT_STREQ(answer, "CP 1252\r\n");
    EXPECT_EQ(answer, reinterpret_cast<char*>(qov::receiveState().receiveBuffer));
    EXPECT_EQ(sim->nowMs(), 500u);
    const auto writes = sim->writesTo("COM1");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, kSerialQuery);
    EXPECT_EQ(writes[0].bytes.size(), 13u);
    EXPECT_EQ(sim->openEventCount(), 0);
}

TEST(ReadingCodePage, SerialAnswerNotThereYetIsCancelledAndEmpty) {
    SimScope sim;
    useCom(sim.os(), {expect(kSerialQuery), reply("CP 850\r\n\x02", 800)}, true);
    EXPECT_STREQ(comportprintercodepage(), "");
    EXPECT_EQ(sim->countCalls("CancelIo COM1"), 1);
    EXPECT_EQ(sim->countCalls("wait forever"), 0);
    EXPECT_EQ(sim->openEventCount(), 0);
    // The given-up request did not take the answer: a later read sees it.
    EXPECT_STREQ(QOVA_Read_withTimeout("\x02", 1000, 0, 0), "CP 850\r\n\x02");
}

TEST(ReadingCodePage, SerialQueryClearsTheBufferAndCountFirst) {
    SimScope sim;
    useCom(sim.os(), {reply("xyz\x02")});
    qov::receiveState().usbCount = 65535;
    qov::receiveState().receiveBuffer[10] = 'J';
    EXPECT_STREQ(comportprintercodepage(), "xyz");
    EXPECT_EQ(qov::receiveState().usbCount, 3);
    EXPECT_EQ(qov::receiveState().receiveBuffer[10], 0);
    EXPECT_EQ(qov::receiveState().receiveBuffer[65535], 0);
}

// ---------------------------------------------------------------------------
// Network code page
// ---------------------------------------------------------------------------

TEST(ReadingCodePage, NetworkAnswerIsReturnedAsReceived) {
    SimScope sim;
    usePeer(sim.os(), {expect(kSerialQuery), reply("CP 1252\r\n\x02")}, true);
    char* answer = ethernetprintercodepage();
    EXPECT_STREQ(answer, "CP 1252\r\n\x02");
    EXPECT_EQ(answer, reinterpret_cast<char*>(qov::receiveState().networkChunk));
    EXPECT_EQ(sim->nowMs(), 50u);
    const auto writes = sim->writesTo(peerTarget());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, kSerialQuery);
}

TEST(ReadingCodePage, NetworkWaitEndsOnCloseAndIsBounded) {
    SimScope sim;
    usePeer(sim.os(), {expect(kSerialQuery), closeAfter(120)}, true);
    EXPECT_STREQ(ethernetprintercodepage(), "");
    EXPECT_EQ(sim->nowMs(), 150u);
    EXPECT_EQ(qov::receiveState().socketErrorFlag, 0);

    SimScope quiet;
    usePeer(quiet.os(), {}, true);
    EXPECT_STREQ(ethernetprintercodepage(), "");
    EXPECT_EQ(quiet->nowMs(), 5000u);
    EXPECT_EQ(quiet->countCalls("recv "), 100);
}

TEST(ReadingCodePage, NetworkReceiveErrorSetsTheFlag) {
    SimScope sim;
    usePeer(sim.os(), {}, false);
    const std::uint64_t t0 = sim->nowMs();
    EXPECT_STREQ(ethernetprintercodepage(), "");
    EXPECT_EQ(sim->nowMs() - t0, 50u + 1000u);
    EXPECT_EQ(qov::receiveState().socketErrorFlag, 1);
}

TEST(ReadingCodePage, NetworkAnswerFillingTheChunkBufferIsTerminated) {
    SimScope sim;
    usePeer(sim.os(), {reply("short"), reply(std::string(65536, 'C'))}, true);
    ASSERT_STREQ(ethernetprintercodepage(), "short");
    const char* answer = ethernetprintercodepage();
    EXPECT_EQ(std::strlen(answer), 65536u);
    EXPECT_EQ(answer[65535], 'C');
}

// ---------------------------------------------------------------------------
// USB code page
// ---------------------------------------------------------------------------

TEST(ReadingCodePage, UsbAnswerRunsUpToAndIncludingTheCr) {
    SimScope sim;
    const std::string path = usbPath("CP0001");
    Device& d = addUsbPrinter(sim.os(), {expect(kUsbQuery), reply("CP "), reply("1252\r\nX")});
    EXPECT_STREQ(usbprintercodepage(), "CP 1252\r");
    EXPECT_EQ(sim->nowMs(), 200u);  // two chunks, 100 ms before each
    const auto writes = sim->writesTo(path);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, kUsbQuery);
    EXPECT_EQ(writes[0].bytes.size(), 14u);
    EXPECT_EQ(writes[0].kind, WriteKind::WriteFileOverlapped);
    EXPECT_EQ(d.lastDisposition, qov::Disposition::CreateAlways);
    EXPECT_EQ(d.lastShare, 0u);
    EXPECT_NE(d.lastFlags & qov::kFlagOverlapped, 0u);
    EXPECT_EQ(d.openHandles, 0);
    // The connection's own handle is not touched.
    EXPECT_EQ(qov::connection().current.handle, 0);
}

TEST(ReadingCodePage, UsbAnswerAfterStxEndsWhenNothingMoreComes) {
    SimScope sim;
    addUsbPrinter(sim.os(), {expect(kUsbQuery), reply("CP1252\x02")});
    EXPECT_STREQ(usbprintercodepage(), "CP1252");
    EXPECT_EQ(sim->nowMs(), 100u + 100u + 5000u);
}

// A printer that streams on without CR or STX: collecting ends once five
// whole seconds have passed, with what the buffer holds.
TEST(ReadingCodePage, UsbEndlessStreamEndsAfterFiveSeconds) {
    SimScope sim;
    std::vector<qov::sim::Step> script{expect(kUsbQuery)};
    for (int i = 0; i < 200; ++i) script.push_back(reply(std::string(100, 'x')));
    addUsbPrinter(sim.os(), script);
    const char* answer = usbprintercodepage();
    EXPECT_EQ(sim->nowMs(), 5000u);  // 50 chunks, 100 ms before each
    EXPECT_EQ(std::string(answer), std::string(5000, 'x'));
    EXPECT_EQ(sim->countCalls("ReadFile"), 50);
}

TEST(ReadingCodePage, UsbWithoutPrinterSendsNothingAndIsEmpty) {
    SimScope sim;
    EXPECT_STREQ(usbprintercodepage(), "");
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);
    EXPECT_EQ(sim->nowMs(), 100u + 5000u);

    SimScope refused;
    Device& d = addUsbPrinter(refused.os(), {});
    d.openFails = true;
    EXPECT_STREQ(usbprintercodepage(), "");
    EXPECT_TRUE(refused->writes.empty());
}

// ---------------------------------------------------------------------------
// Restarts
// ---------------------------------------------------------------------------

TEST(ReadingRestart, SerialAndNetworkSendEscBangRWithLineFeed) {
    SimScope sim;
    useCom(sim.os());
    qov::receiveState().receiveBuffer[3] = 'J';
    qov::receiveState().usbCount = 9;
    EXPECT_EQ(comportprinterrestart(), 1);
    EXPECT_EQ(sim->bytesTo("COM1"), "\x1b!R\n");
    EXPECT_EQ(qov::receiveState().receiveBuffer[3], 0);
    EXPECT_EQ(qov::receiveState().usbCount, 0);

    usePeer(sim.os(), {}, true);
    EXPECT_EQ(ethernetprinterrestart(), 1);
    const auto writes = sim->writesTo(peerTarget());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, "\x1b!R\n");
}

TEST(ReadingRestart, UsbRestartFindsOpensWritesAndCloses) {
    SimScope sim;
    EXPECT_EQ(usbprinterrestart(), -1);
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);

    const std::string path = usbPath("CP0001");
    Device& d = addUsbPrinter(sim.os(), {});
    d.openFails = true;
    EXPECT_EQ(usbprinterrestart(), -2);
    EXPECT_TRUE(sim->writes.empty());

    d.openFails = false;
    EXPECT_EQ(usbprinterrestart(), 1);
    const auto writes = sim->writesTo(path);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, "\x1b!R\r");
    EXPECT_EQ(writes[0].kind, WriteKind::WriteFile);
    EXPECT_EQ(d.lastDisposition, qov::Disposition::OpenExisting);
    EXPECT_EQ(d.lastFlags, 0u);
    EXPECT_EQ(d.openHandles, 0);
}

}  // namespace
