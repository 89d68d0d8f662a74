// The spooler on a private CUPS server: a raw queue whose device is a
// loopback listener, reached through the backend and through the exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library_fixture.h"
#include "platform/platform.h"
#include "private_cups.h"

namespace {

using namespace qov;
using namespace qov::posixtest;

class CupsTest : public LibraryTest {
protected:
    PrivateCups* cups = nullptr;
    std::unique_ptr<TcpPrinter> printer;
    std::unique_ptr<ScopedEnv> server;
    std::string uri;

    void SetUp() override {
        LibraryTest::SetUp();
        cups = PrivateCups::get();
        if (!cups) GTEST_SKIP() << "no private CUPS server: " << PrivateCups::whyNot();
        server = std::make_unique<ScopedEnv>("CUPS_SERVER", cups->server());
        printer = std::make_unique<TcpPrinter>();
        uri = "socket://127.0.0.1:" + std::to_string(printer->port());
        ASSERT_TRUE(cups->addRawQueue("q", uri));
    }

    void TearDown() override {
        LibraryTest::TearDown();
        if (cups) {
            cups->run("cancel", "-a -x");
            cups->removeQueue("q");
            cups->removeQueue("q2");
        }
    }
};

// Queue names compare without case; a zero-length write ends nothing.
TEST_F(CupsTest, BackendOpensQueuesWithoutCaseAndStreamsTheDocument) {
    Platform& p = nativePlatform();
    Handle h = p.openPrinter("Q");
    ASSERT_NE(h, kNullHandle);
    ASSERT_NE(p.startDocPrinter(h, "Printing..."), 0u);
    ASSERT_TRUE(p.startPagePrinter(h));
    std::uint32_t written = 7;
    EXPECT_TRUE(p.writePrinter(h, "AB", 2, &written));
    EXPECT_TRUE(p.writePrinter(h, "", 0, &written));
    EXPECT_TRUE(p.writePrinter(h, "\r\n", 2, &written));
    EXPECT_TRUE(p.endPagePrinter(h));
    EXPECT_TRUE(p.endDocPrinter(h));
    EXPECT_TRUE(p.closePrinter(h));
    EXPECT_EQ(printer->waitForBytes(0, 4, 20000), "AB\r\n");
}

// A job that gets no document is cancelled, not left held.
TEST_F(CupsTest, BackendCancelsAJobWithoutDocument) {
    Platform& p = nativePlatform();
    Handle h = p.openPrinter("q");
    ASSERT_NE(h, kNullHandle);
    std::uint32_t job = p.startDocPrinter(h, "empty");
    ASSERT_NE(job, 0u);
    EXPECT_TRUE(p.endDocPrinter(h));
    EXPECT_TRUE(p.closePrinter(h));
    std::string jobs;
    ASSERT_TRUE(cups->run("lpstat", "-W all -o q", &jobs));
    EXPECT_EQ(jobs.find("q-" + std::to_string(job) + " "), std::string::npos) << jobs;
    EXPECT_EQ(printer->connections(), 0u);
}

// A queue that rejects jobs is offline too (a stopped one: the contract).
TEST_F(CupsTest, BackendReportsARejectingQueueOffline) {
    Platform& p = nativePlatform();
    bool offline = false;
    const std::string query = "SELECT * from Win32_Printer WHERE Name LIKE 'q'";
    EXPECT_EQ(p.queryPrinterOffline(query.c_str(), &offline), ManagementResult::Found);
    EXPECT_FALSE(offline);
    ASSERT_TRUE(cups->run("cupsreject", "q"));
    EXPECT_EQ(p.queryPrinterOffline(query.c_str(), &offline), ManagementResult::Found);
    EXPECT_TRUE(offline);
}

TEST_F(CupsTest, OpenPortSendsThroughTheQueue) {
    ASSERT_EQ(openport("q"), 0);
    EXPECT_EQ(connection().current.spoolerFlag, 1);
    EXPECT_EQ(sendcommand("~NORMAL"), 1);
    EXPECT_EQ(sendBinaryData("A\0B", 3), 1);
    // Nothing reaches the printer before the document ends.
    EXPECT_EQ(printer->waitForBytes(0, 1, 300), "");
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(printer->waitForBytes(0, 14, 20000), std::string("~NORMAL\r\nA\0B\r\n", 14));
    // A spooler connection cannot be read.
    ASSERT_EQ(openport("q"), 0);
    EXPECT_STREQ(QOVA_GetStatus(), "");
}

TEST_F(CupsTest, PortNameQueriesAnswerFromTheServer) {
    std::string port = uri;
    EXPECT_EQ(compareport(port.data()), 1);
    EXPECT_EQ(connection().connectionOpenFlag, 1);
    EXPECT_EQ(sendcommand("BY PORT"), 1);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(printer->waitForBytes(0, 9, 20000), "BY PORT\r\n");

    EXPECT_STREQ(returndriver(port.data()), "q");
    EXPECT_EQ(connection().connectionOpenFlag, 0);
    std::string unknown = "socket://127.0.0.1:1";
    EXPECT_STREQ(returndriver(unknown.data()), "-1");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(compareport(unknown.data()), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error Message: socket://127.0.0.1:1\n"
              "Error Message: Can't Find Printer Driver, Please check Driver Name\n");

    EXPECT_STREQ(driver_portname("q"), uri.c_str());
    EXPECT_STREQ(driver_portname("no-such-queue"), "cannot find printer");
}

TEST_F(CupsTest, DriverStatusFollowsTheQueueState) {
    EXPECT_EQ(driver_status("q"), 1);
    EXPECT_EQ(driver_status("Q%"), 1);  // LIKE wildcard, without case
    EXPECT_EQ(driver_status("absent"), 0);
    ASSERT_TRUE(cups->run("cupsdisable", "q"));
    EXPECT_EQ(driver_status("q"), 0);
    {
        ScopedEnv gone("CUPS_SERVER", dir.file("no-spooler.sock"));
        EXPECT_EQ(driver_status("q"), -1);
    }
}

}  // namespace
