// COM, LPT and USB ports for real: a pty pair as COM1, a file as LPT1, and
// a fake sysfs tree whose printer node is a pty.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "connections/usb_discovery.h"
#include "library_fixture.h"

namespace {

using namespace qov;
using namespace qov::posixtest;

class ComPortTest : public LibraryTest {
protected:
    PtyPair pty;
    ScopedEnv com1{"QOVLIB_COM1", pty.slavePath()};
    termios lineState() {
        termios t{};
        tcgetattr(pty.slave(), &t);
        return t;
    }
};

TEST_F(ComPortTest, SendsArriveAndTheStatusReplyIsRead) {
    ASSERT_EQ(openport("COM1"), 0);
    EXPECT_EQ(connection().serialFlag, 1);
    EXPECT_EQ(sendcommand("~NORMAL"), 1);
    EXPECT_EQ(pty.readMaster(9, 1000), "~NORMAL\r\n");
    char raw[] = "\x1b!R\n";
    EXPECT_EQ(ComportSendData(raw), 1);
    EXPECT_EQ(pty.readMaster(4, 1000), "\x1b!R\n");

    // The printer's answer waits in the line; the status request reads it.
    pty.writeMaster("STATUS;READY\r\nEND\r\n");
    EXPECT_STREQ(QOVA_GetStatus(), "STATUS;READY\r\nEND\r\n");
    EXPECT_EQ(pty.drain(), "~NORMAL\r\n~STATUS");
}

TEST_F(ComPortTest, CodePageAnswerEndsAtTheStx) {
    ASSERT_EQ(openport("COM1"), 0);
    pty.writeMaster("CODEPAGE;1252\r\n\x02" "after");
    EXPECT_STREQ(comportprintercodepage(), "CODEPAGE;1252\r\n");
    EXPECT_EQ(pty.drain(), "~!I\n OUT \"\x02\"\n");
}

TEST_F(ComPortTest, SetRS232IsVisibleInTheLineSettings) {
    char name[] = "COM1";
    // A pty keeps speed and stop bits (it forces 8 data bits, no parity).
    EXPECT_EQ(SetRS232(name, 12, 2, 1, 2), 1);
    termios t = lineState();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    // Index 13 is no rate: the speed stays, the stop bits change.
    EXPECT_EQ(SetRS232(name, 13, 0, 0, 0), 1);
    t = lineState();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    // The port's own defaults: 9600, one stop bit.
    EXPECT_EQ(SetRS232(name, 3, 0, 0, 2), 1);
    EXPECT_STREQ(opencomport(name), "1");
    EXPECT_EQ(comportdefault(), 1);
    t = lineState();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    // opencomport's handle is overlapped: its sends go through the record.
    EXPECT_EQ(sendcommand("OVL"), 1);
    EXPECT_EQ(pty.readMaster(5, 1000), "OVL\r\n");
}

TEST_F(ComPortTest, MissingPortShowsTheComMessage) {
    ScopedEnv gone("QOVLIB_COM1", dir.file("no-tty"));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(openport("COM1"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Message: Couldn't open the specific COM port.\n");
    EXPECT_EQ(connection().connectionOpenFlag, 0);
}

class LptPortTest : public LibraryTest {
protected:
    std::string file = dir.file("lpt1.prn");
    ScopedEnv lpt1{"QOVLIB_LPT1", file};
};

TEST_F(LptPortTest, SendsLandInTheFileInOrder) {
    writeFileText(file, "");
    ASSERT_EQ(openport(" lpt1 "), 0);  // the spooler has no such name; the port has
    EXPECT_EQ(connection().parallelFlag, 1);
    char buffer[] = "C";
    char slot[] = "S";
    EXPECT_EQ(sendcommand("A"), 1);
    EXPECT_EQ(sendBinaryData("B\0", 2), 1);
    EXPECT_EQ(ZULOutBuffer(buffer), 1);
    EXPECT_EQ(sendcommand_mult(1, slot), 0);  // slot 1 has no parallel branch
    std::int64_t start = nowMs();
    EXPECT_STREQ(QOVA_GetStatus(), "");  // an LPT port cannot be read
    EXPECT_GE(nowMs() - start, 100);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(readFileText(file), std::string("A\r\nB\0\r\nC", 8));
}

TEST_F(LptPortTest, MissingPortFailsWithoutAMessage) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(openport("LPT1"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    struct stat st {};
    EXPECT_NE(stat(file.c_str(), &st), 0);  // not created
    // A name that is no port and no printer shows both boxes.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(openport("LPT5"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error Message: LPT5\nError Message: Can't Find Printer Driver, Please check Driver Name\n");
}

class UsbPortTest : public LibraryTest {
protected:
    PtyPair pty;
    std::string sysfs = dir.file("sys");
    std::string dev = dir.file("dev");
    ScopedEnv sysEnv{"QOVLIB_SYSFS_ROOT", sysfs};
    ScopedEnv devEnv{"QOVLIB_USB_DEV_ROOT", dev};

    void SetUp() override {
        LibraryTest::SetUp();
        pty.makeRaw();
        for (const char* d : {"", "/class", "/class/usbmisc", "/devices"})
            mkdir((sysfs + d).c_str(), 0755);
        mkdir(dev.c_str(), 0755);
        addPrinter(0, "1-1", vendorFilter() + 4, "SN-A");  // the maker's printer ("vid_" + 4 digits)
        addPrinter(1, "1-2", "04b8", "SN-B");  // another maker's: filtered out
        symlink(pty.slavePath().c_str(), (dev + "/lp0").c_str());
        writeFileText(dev + "/lp1", "");
    }
    void addPrinter(int n, const std::string& bus, const std::string& vid, const std::string& serial) {
        std::string d = sysfs + "/devices/" + bus;
        mkdir(d.c_str(), 0755);
        mkdir((d + "/" + bus + ":1.0").c_str(), 0755);
        writeFileText(d + "/idVendor", vid + "\n");
        writeFileText(d + "/idProduct", "0001\n");
        writeFileText(d + "/serial", serial + "\n");
        std::string entry = sysfs + "/class/usbmisc/lp" + std::to_string(n);
        mkdir(entry.c_str(), 0755);
        symlink(("../../../devices/" + bus + "/" + bus + ":1.0").c_str(), (entry + "/device").c_str());
    }
};

TEST_F(UsbPortTest, DiscoveredPrinterTakesSendsAndAnswers) {
    ASSERT_EQ(openport("usb"), 0);
    EXPECT_EQ(connection().current.usbFlag, 1);
    EXPECT_EQ(sendcommand("~NORMAL"), 1);
    EXPECT_EQ(pty.readMaster(9, 1000), "~NORMAL\r\n");
    pty.writeMaster("STATUS;READY\r\nEND\r\n");
    EXPECT_STREQ(QOVA_Read("END\r\n"), "STATUS;READY\r\nEND\r\n");
    EXPECT_EQ(closeport(), 1);

    char text[] = "PING";
    EXPECT_EQ(usbportwrite(text), 0);
    EXPECT_EQ(pty.readMaster(9, 1000), "PING \r\n\r\n");
    EXPECT_EQ(usbprinterrestart(), 1);
    EXPECT_EQ(pty.readMaster(4, 1000), "\x1b!R\r");
    // The other maker's printer got nothing.
    EXPECT_EQ(readFileText(dev + "/lp1"), "");
}

TEST_F(UsbPortTest, OverlappedOpenWritesAndReadsThroughRequests) {
    ASSERT_EQ(openport_async("USB"), 0);
    EXPECT_EQ(connection().current.overlappedUsbFlag, 1);
    EXPECT_EQ(sendcommand("ASYNC"), 1);
    EXPECT_EQ(pty.readMaster(7, 1000), "ASYNC\r\n");
    pty.writeMaster("OK\r\nEND\r\n");
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 500, 0, 0), "OK\r\nEND\r\n");
    // Nothing more comes: the pending request times out and is cancelled.
    std::int64_t start = nowMs();
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 300, 0, 0), "Time Out\r\n");
    EXPECT_GE(nowMs() - start, 300);
    pty.writeMaster("LATE\r\nEND\r\n");
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 500, 0, 0), "LATE\r\nEND\r\n");
}

TEST_F(UsbPortTest, CodePageQueryAndIdentifiedOpen) {
    pty.writeMaster("CODEPAGE;1252\r\n");
    EXPECT_STREQ(usbprintercodepage(), "CODEPAGE;1252\r");
    EXPECT_EQ(pty.drain(), "~!I\n\rOUT \"\x02\"\n\r");

    EXPECT_EQ(openport_usbid(1, "SN-B"), 1);  // present, but not the maker's
    EXPECT_EQ(openport_usbid(1, "SN-A"), 0);  // found in the lower-case path
    EXPECT_EQ(sendcommand("ID"), 1);
    EXPECT_EQ(pty.readMaster(4, 1000), "ID\r\n");
}

}  // namespace
