// Spooler and management queries: online state, port of a printer, and the
// printer on a port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::SimScope;

const std::string kQueryFrame = "SELECT * from Win32_Printer WHERE Name LIKE ''";

// ---------------------------------------------------------------------------
// driver_status
// ---------------------------------------------------------------------------

TEST(ReadingSpooler, DriverStatusReadsWorkOfflineOfTheFirstMatch) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001", true);
    sim->addPrinter("ZP-2", "USB002", false);
    EXPECT_EQ(driver_status("ZP-1"), 1);
    EXPECT_EQ(driver_status("ZP-2"), 0);
    EXPECT_EQ(driver_status("nobody"), 0);  // same as offline
    ASSERT_EQ(sim->managementQueries.size(), 3u);
    EXPECT_EQ(sim->managementQueries[0], "SELECT * from Win32_Printer WHERE Name LIKE 'ZP-1'");
    // The name goes in as it is: % and _ act as wildcards.
    EXPECT_EQ(driver_status("ZP%"), 1);
    EXPECT_EQ(driver_status("ZP_2"), 0);
    EXPECT_EQ(sim->managementQueries.back(), "SELECT * from Win32_Printer WHERE Name LIKE 'ZP_2'");
    EXPECT_EQ(qov::connection().connectionOpenFlag, 0);
    EXPECT_EQ(qov::connection().current.spoolerFlag, 0);
}

TEST(ReadingSpooler, DriverStatusReportsAFailedServiceAsMinusOne) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001", true);
    sim->managementFails = true;
    EXPECT_EQ(driver_status("ZP-1"), -1);
    EXPECT_TRUE(sim->boxes.empty());
}

TEST(ReadingSpooler, DriverStatusRefusesANameTooLongForTheQuery) {
    SimScope sim;
    const std::string fits(127 - kQueryFrame.size(), 'n');
    EXPECT_EQ(driver_status(fits.c_str()), 0);
    ASSERT_EQ(sim->managementQueries.size(), 1u);
    EXPECT_EQ(sim->managementQueries[0].size(), 127u);
    // One more character and the query would be cut into another pattern.
    const std::string tooLong(128 - kQueryFrame.size(), 'n');
    EXPECT_EQ(driver_status(tooLong.c_str()), -1);
    EXPECT_EQ(driver_status(nullptr), -1);
    EXPECT_EQ(sim->managementQueries.size(), 1u);
}

// ---------------------------------------------------------------------------
// driver_portname
// ---------------------------------------------------------------------------

TEST(ReadingSpooler, DriverPortNameOpensThePrinterAndStartsAJob) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001");
    qov::connection().networkFlag = 1;  // not closed or cleared first
    EXPECT_STREQ(driver_portname("ZP-1"), "USB001");
    const auto& c = qov::connection();
    EXPECT_EQ(c.current.spoolerFlag, 1);
    EXPECT_EQ(c.connectionOpenFlag, 1);
    EXPECT_EQ(c.networkFlag, 1);
    EXPECT_EQ(c.portName, "ZP-1");
    EXPECT_EQ(sim->countCalls("StartDocPrinter ZP-1 Printing..."), 1);
    EXPECT_EQ(sim->countCalls("StartPagePrinter ZP-1"), 1);
    EXPECT_EQ(sim->printer("ZP-1")->docsStarted, 1);
}

TEST(ReadingSpooler, DriverPortNameTextsStayValid) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001");
    sim->addPrinter("ZP-2", "LPT1:");
    const char* first = driver_portname("ZP-1");
    const char* second = driver_portname("ZP-2");
    EXPECT_STREQ(first, "USB001");
    EXPECT_STREQ(second, "LPT1:");
    EXPECT_EQ(driver_portname("ZP-1"), first);  // one copy per text
}

TEST(ReadingSpooler, DriverPortNameOfAnUnknownPrinter) {
    SimScope sim;
    EXPECT_STREQ(driver_portname("ghost"), "cannot find printer");
    EXPECT_EQ(qov::connection().current.spoolerFlag, 0);
    EXPECT_EQ(qov::connection().connectionOpenFlag, 0);
    EXPECT_STREQ(driver_portname(nullptr), "cannot find printer");
}

// ---------------------------------------------------------------------------
// compareport
// ---------------------------------------------------------------------------

TEST(ReadingSpooler, ComparePortOpensTheFirstPrinterOnThePort) {
    SimScope sim;
    sim->addPrinter("Other", "USB002");
    sim->addPrinter("First", "USB001");
    sim->addPrinter("Second", "USB001");
    char port[] = "USB001";
    EXPECT_EQ(compareport(port), 1);
    EXPECT_EQ(sim->countCalls("OpenPrinter First"), 1);
    EXPECT_EQ(sim->countCalls("OpenPrinter Second"), 0);
    EXPECT_EQ(sim->printer("First")->docsStarted, 1);
    EXPECT_EQ(sim->printer("First")->pagesStarted, 1);
    const auto& c = qov::connection();
    EXPECT_EQ(c.current.spoolerFlag, 1);
    EXPECT_EQ(c.connectionOpenFlag, 1);
    EXPECT_EQ(c.portName, "USB001");
    EXPECT_EQ(sendcommand("X"), 1);
    EXPECT_EQ(sim->bytesTo("First"), "X\r\n");
}

TEST(ReadingSpooler, ComparePortClosesTheCurrentConnectionFirst) {
    SimScope sim;
    sim->addPrinter("Old", "LPT1:");
    sim->addPrinter("New", "USB001");
    ASSERT_EQ(openport("Old"), 0);
    char port[] = "USB001";
    EXPECT_EQ(compareport(port), 1);
    const auto& calls = sim->calls;
    const auto closed = std::find(calls.begin(), calls.end(), "ClosePrinter Old");
    const auto listed = std::find(calls.begin(), calls.end(), "EnumPrinters");
    ASSERT_NE(closed, calls.end());
    EXPECT_LT(closed, listed);
    EXPECT_EQ(sim->printer("Old")->openHandles, 0);
}

TEST(ReadingSpooler, ComparePortMatchesCaseAndLengthExactly) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001");
    sim->addPrinter("ZP-2", "USB0011");
    qov::connection().serialFlag = 1;
    qov::connection().parallelFlag = 1;
    char port[] = "usb001";
    EXPECT_EQ(compareport(port), 0);
    ASSERT_EQ(sim->boxes.size(), 2u);
    EXPECT_EQ(sim->boxes[0].text, "usb001");
    EXPECT_EQ(sim->boxes[0].caption, "Error Message");
    EXPECT_EQ(sim->boxes[1].text, "Can't Find Printer Driver, Please check Driver Name");
    EXPECT_EQ(sim->boxes[1].caption, "Error Message");
    EXPECT_EQ(sim->boxes[0].icon, qov::Icon::Warning);
    EXPECT_EQ(sim->boxes[1].icon, qov::Icon::Warning);
    EXPECT_EQ(sim->countCalls("OpenPrinter"), 0);
    const auto& c = qov::connection();
    EXPECT_EQ(c.current.spoolerFlag, 0);
    EXPECT_EQ(c.serialFlag, 0);
    EXPECT_EQ(c.parallelFlag, 0);
    EXPECT_EQ(c.connectionOpenFlag, 0);
    char prefix[] = "USB00";
    EXPECT_EQ(compareport(prefix), 0);
}

TEST(ReadingSpooler, ComparePortWhenTheSpoolerCannotList) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001");
    sim->enumPrintersFails = true;
    char port[] = "USB001";
    EXPECT_EQ(compareport(port), 0);
    EXPECT_EQ(sim->boxes.size(), 2u);
}

TEST(ReadingSpooler, LongPortNamesAreComparedWhole) {
    SimScope sim;
    const std::string longPort = std::string(280, 'P') + "1";
    sim->addPrinter("Cut", std::string(280, 'P') + "2");
    sim->addPrinter("Whole", longPort);
    std::string arg = longPort;
    EXPECT_EQ(compareport(&arg[0]), 1);
    EXPECT_EQ(sim->countCalls("OpenPrinter Whole"), 1);
    EXPECT_EQ(qov::connection().portName, longPort);
}

// ---------------------------------------------------------------------------
// returndriver
// ---------------------------------------------------------------------------

TEST(ReadingSpooler, ReturnDriverGivesTheUtf8NameAndLeavesTheConnectionClosed) {
    SimScope sim;
    sim->addPrinter("Caf\xE9 ZP", "USB001");  // Windows-1252 e acute
    sim->addPrinter("Later", "USB001");
    char port[] = "USB001";
    EXPECT_STREQ(returndriver(port), "Caf\xC3\xA9 ZP");
    const auto& c = qov::connection();
    EXPECT_EQ(c.current.spoolerFlag, 1);
    EXPECT_EQ(c.connectionOpenFlag, 0);
    EXPECT_NE(c.current.handle, 0);
    EXPECT_EQ(sim->printer("Caf\xE9 ZP")->docsStarted, 0);
    EXPECT_EQ(sim->countCalls("OpenPrinter Later"), 0);
    EXPECT_EQ(sendcommand("X"), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(ReadingSpooler, ReturnDriverFailures) {
    SimScope sim;
    sim->addPrinter("ZP-1", "USB001");
    char port[] = "USB009";
    EXPECT_STREQ(returndriver(port), "-1");
    EXPECT_TRUE(sim->boxes.empty());
    EXPECT_EQ(qov::connection().current.spoolerFlag, 0);
    sim->enumPrintersFails = true;
    char known[] = "USB001";
    EXPECT_STREQ(returndriver(known), "-1");
    EXPECT_TRUE(sim->boxes.empty());
}

}  // namespace
