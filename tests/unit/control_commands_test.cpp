// Printer control commands: fixed blocks on the current connection or a
// slot, the sensor buffers, and the RFID calibration answer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/form_workspace.h"
#include "formatters_test_support.h"

namespace {

using fmt_test::Link;
using qov::sim::WriteKind;

const std::string kFeed = "~CREATE;FEED;X\r\nEND\r\n~EXECUTE;FEED\r\n~NORMAL\r\n";
const std::string kReset = "!QOV_SETUP\r\nCONFIG-RESET;\r\nQOV_END\r\n";
const std::string kGap =
    "!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nCONFIG-SETMENU;0;runcalibrate\r\nQOV_END\r\n";
const std::string kBlackLine =
    "!QOV_SETUP\r\nCONFIG-SETMENU;1;mediasensor\r\nCONFIG-SETMENU;0;runcalibrate\r\nQOV_END\r\n";
const std::string kRfid = "!QOV_SETUP\r\nRFID-RFID_CAL;\r\nQOV_END\r\n";

struct Command {
    const char* name;
    std::function<const char*()> plain;
    std::function<const char*(int)> onSlot;
    std::string text;
};

std::vector<Command> fixedCommands() {
    return {
        {"form feed", QOVA_FORMFEED, QOVA_FORMFEED_Mult, kFeed},
        {"reset", QOVA_PrinterReset, [](int s) { return QOVA_PrinterReset_Mult(s); }, kReset},
        {"gap detect", QOVA_GAPDETECT, QOVA_GAPDETECT_Mult, kGap},
        {"black line detect", QOVA_BLINEDETECT, QOVA_BLINEDETECT_Mult, kBlackLine},
        {"sensor 2", [] { return QOVA_SETSENSOR(2); },
         [](int s) { return QOVA_SETSENSOR_Mult(s, 2); },
         "!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nQOV_END\r\n"},
    };
}

TEST(ControlCommands, PlainCommandsSendTheirBlockThenLineEnd) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    std::size_t seen = 0;
    for (const Command& c : fixedCommands()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::string(c.plain()), c.text);
        const auto writes = sim->writesTo(fmt_test::kPrinter);
        ASSERT_EQ(writes.size(), seen + 2);
        EXPECT_EQ(writes[seen].kind, WriteKind::WritePrinter);
        EXPECT_EQ(writes[seen].bytes, c.text);
        EXPECT_EQ(writes[seen + 1].bytes, "\r\n");
        seen = writes.size();
    }
}

TEST(ControlCommands, SlotVariantsSendOnTheirSlotOnly) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Network);  // the current connection
    const char* second = "10.1.2.9";
    sim->addPeer(second, fmt_test::kPeerPort);
    ASSERT_EQ(openethernetmult(2, const_cast<char*>(second),
                               reinterpret_cast<int*>(static_cast<std::intptr_t>(fmt_test::kPeerPort))),
              0);
    for (const Command& c : fixedCommands()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::string(c.onSlot(2)), c.text);
        // Slot 3 has nothing open, 7 is no slot: the text still comes back.
        EXPECT_EQ(std::string(c.onSlot(3)), c.text);
        EXPECT_EQ(std::string(c.onSlot(7)), c.text);
    }
    std::vector<std::string> expected;
    for (const Command& c : fixedCommands()) {
        expected.push_back(c.text);
        expected.push_back("\r\n");
    }
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::peerTarget(second)), expected);
    EXPECT_TRUE(sim->writesTo(fmt_test::peerTarget()).empty());
    EXPECT_EQ(sim->writes.size(), expected.size());
}

TEST(ControlCommands, SlotOneIsTheCurrentSpoolerPrinter) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    EXPECT_EQ(std::string(QOVA_GAPDETECT_Mult(1)), kGap);
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::kPrinter),
              (std::vector<std::string>{kGap, "\r\n"}));
}

TEST(ControlCommands, SensorValueIsWrittenAsSignedDecimal) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    EXPECT_STREQ(QOVA_SETSENSOR(3), "!QOV_SETUP\r\nCONFIG-SETMENU;3;mediasensor\r\nQOV_END\r\n");
    EXPECT_STREQ(QOVA_SETSENSOR(-1), "!QOV_SETUP\r\nCONFIG-SETMENU;-1;mediasensor\r\nQOV_END\r\n");
    EXPECT_STREQ(QOVA_SETSENSOR_Mult(1, -2147483647 - 1),
                 "!QOV_SETUP\r\nCONFIG-SETMENU;-2147483648;mediasensor\r\nQOV_END\r\n");
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::kPrinter),
              (std::vector<std::string>{
                  "!QOV_SETUP\r\nCONFIG-SETMENU;3;mediasensor\r\nQOV_END\r\n", "\r\n",
                  "!QOV_SETUP\r\nCONFIG-SETMENU;-1;mediasensor\r\nQOV_END\r\n", "\r\n",
                  "!QOV_SETUP\r\nCONFIG-SETMENU;-2147483648;mediasensor\r\nQOV_END\r\n",
                  "\r\n"}));
}

TEST(ControlCommands, EachSensorExportHasItsOwnBuffer) {
    qov::sim::SimScope sim;
    const char* first = QOVA_SETSENSOR(1);
    const char* second = QOVA_SETSENSOR(2);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nQOV_END\r\n");

    const char* onSlot = QOVA_SETSENSOR_Mult(2, 5);
    EXPECT_NE(onSlot, first);
    EXPECT_STREQ(onSlot, "!QOV_SETUP\r\nCONFIG-SETMENU;5;mediasensor\r\nQOV_END\r\n");
    EXPECT_STREQ(first, "!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nQOV_END\r\n");
}

TEST(ControlCommands, FixedTextsComeBackWithNothingOpen) {
    qov::sim::SimScope sim;
    EXPECT_EQ(std::string(QOVA_FORMFEED()), kFeed);
    EXPECT_EQ(std::string(QOVA_PrinterReset()), kReset);
    EXPECT_EQ(QOVA_FORMFEED(), QOVA_FORMFEED_Mult(1));
    EXPECT_TRUE(sim->writes.empty());
}

TEST(ControlCommands, FormFeedLeavesTheFormWorkspaceAlone) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    QOVA_DLLinit();
    const int form = QOVA_CreateForm("LABEL");
    ASSERT_GE(form, 0);
    const auto& ws = qov::formWorkspace();
    const std::string before = ws.forms.at(static_cast<std::size_t>(form)).text;
    const int counter = ws.formCounter;

    QOVA_FORMFEED();
    QOVA_FORMFEED_Mult(1);

    EXPECT_EQ(ws.forms.size(), static_cast<std::size_t>(form) + 1);
    EXPECT_EQ(ws.formCounter, counter);
    EXPECT_EQ(ws.forms[static_cast<std::size_t>(form)].text, before);
    EXPECT_EQ(QOVA_CreateForm("NEXT"), form + 1);
}

TEST(ControlCommands, RfidCalibrationReturnsThePrintersAnswer) {
    qov::sim::SimScope sim;
    qov::sim::NetworkPeer* peer = fmt_test::open(sim.os(), Link::Network);
    ASSERT_NE(peer, nullptr);
    sim->connectionTo(fmt_test::kPeer, fmt_test::kPeerPort).script = {
        qov::sim::expect(kRfid + "\r\n"),
        qov::sim::reply("RFID CAL OK\r\nQOV_END\r\n", 200),
    };
    EXPECT_STREQ(QOVA_RFIDAUTOCALIBRATION(), "RFID CAL OK\r\nQOV_END\r\n");
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::peerTarget()),
              (std::vector<std::string>{kRfid, "\r\n"}));
    EXPECT_TRUE(sim->allScriptsDone());
}

TEST(ControlCommands, RfidCalibrationWithoutAnswerTimesOut) {
    qov::sim::SimScope sim;
    sim->addDevice("COM1", qov::sim::DeviceKind::Com);
    ASSERT_EQ(openport("COM1"), 0);
    EXPECT_STREQ(QOVA_RFIDAUTOCALIBRATION(), "Time Out\r\n");
    // The block and its line end go out in one serial write.
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), "COM1"), (std::vector<std::string>{kRfid + "\r\n"}));
}

TEST(ControlCommands, RfidCalibrationOnNothingReadableIsEmpty) {
    qov::sim::SimScope sim;
    EXPECT_STREQ(QOVA_RFIDAUTOCALIBRATION(), "");
    EXPECT_STREQ(QOVA_RFIDAUTOCALIBRATION_Mult(2), "");
    EXPECT_TRUE(sim->writes.empty());
}

TEST(ControlCommands, RfidCalibrationOnASlotReadsTheCurrentConnection) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Network);
    sim->connectionTo(fmt_test::kPeer, fmt_test::kPeerPort).script = {
        qov::sim::reply("CAL DONE\r\nQOV_END\r\n", 0),
    };
    const char* second = "10.1.2.9";
    sim->addPeer(second, fmt_test::kPeerPort);
    ASSERT_EQ(openethernetmult(2, const_cast<char*>(second),
                               reinterpret_cast<int*>(static_cast<std::intptr_t>(fmt_test::kPeerPort))),
              0);
    EXPECT_STREQ(QOVA_RFIDAUTOCALIBRATION_Mult(2), "CAL DONE\r\nQOV_END\r\n");
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::peerTarget(second)),
              (std::vector<std::string>{kRfid, "\r\n"}));
    EXPECT_TRUE(sim->writesTo(fmt_test::peerTarget()).empty());
}

}  // namespace
