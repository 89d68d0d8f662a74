// COM, LPT and USB ports for real: a pty pair as COM1, a file as LPT1, and
// a fake sysfs tree whose printer node is a pty.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "connections/usb_discovery.h"
#include "library_fixture.h"

namespace {

using namespace qov;
using namespace qov::posixtest;

// Whether the backend can open `name` for reading and writing without
// sharing, tried here and in a child process; the handle is closed again.
bool opensHere(const char* name) {
    Handle h = nativePlatform().createFile(name, kAccessRead | kAccessWrite, 0,
                                           Disposition::OpenExisting, 0);
    if (h == kInvalidHandle) return false;
    nativePlatform().closeHandle(h);
    return true;
}

bool opensInAnotherProcess(const char* name) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(opensHere(name) ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

TEST_F(ComPortTest, PortHeldByOpenportIsNotOpenedAgain) {
    ASSERT_EQ(openport("COM1"), 0);
    termios held = lineState();
    const speed_t speed = cfgetospeed(&held);
    EXPECT_FALSE(opensHere("COM1"));
    EXPECT_EQ(nativePlatform().lastError(), kErrorAccessDenied);
    EXPECT_FALSE(opensInAnotherProcess("COM1"));
    // SetRS232 cannot open the port under the live connection: the line
    // keeps its settings and the connection works on.
    char name[] = "COM1";
    EXPECT_EQ(SetRS232(name, speed == B115200 ? 6 : 12, 2, 1, 2), 1);
    termios t = lineState();
    EXPECT_EQ(cfgetospeed(&t), speed);
    EXPECT_EQ(sendcommand("LIVE"), 1);
    EXPECT_EQ(pty.readMaster(6, 1000), "LIVE\r\n");
    // Closed, the port is free again, for other programs too.
    EXPECT_EQ(closeport(), 1);
    EXPECT_TRUE(opensInAnotherProcess("COM1"));
    EXPECT_TRUE(opensHere("COM1"));
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

TEST_F(LptPortTest, PortHeldByOpenportIsNotOpenedAgain) {
    writeFileText(file, "");
    ASSERT_EQ(openport("LPT1"), 0);
    EXPECT_FALSE(opensHere("LPT1"));
    EXPECT_FALSE(opensInAnotherProcess("LPT1"));
    EXPECT_EQ(closeport(), 1);
    EXPECT_TRUE(opensHere("LPT1"));
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
    // The device path of the maker's last printer.
    std::string lastPath() {
        UsbSearchRecord search;
        discoverLastUsbDevice(search);
        return search.devicePath;
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

TEST_F(UsbPortTest, PrinterHeldByAConnectionIsNotOpenedAgain) {
    ASSERT_EQ(openport_async("USB"), 0);
    EXPECT_EQ(usbprinterrestart(), -2);  // its own open fails
    EXPECT_FALSE(opensInAnotherProcess(lastPath().c_str()));
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(usbprinterrestart(), 1);
    EXPECT_EQ(pty.readMaster(4, 1000), "\x1b!R\r");
}

// A silent printer on a handle without overlapped I/O: each read completes
// with nothing after the USB wait, so the reads end.
TEST_F(UsbPortTest, SilentPrinterReadsEndAfterTheUsbWait) {
    ASSERT_EQ(openport("USB"), 0);
    std::int64_t start = nowMs();
    EXPECT_STREQ(QOVA_Read("END\r\n"), "Time Out\r\n");
    EXPECT_GE(nowMs() - start, 5000);
    EXPECT_LT(nowMs() - start, 7000);
    start = nowMs();
    USB_ClearBuffer();
    EXPECT_GE(nowMs() - start, 5000);
    EXPECT_LT(nowMs() - start, 6500);
}

// A printer node at end of file brings nothing, as a silent printer does:
// the read sleeps out its time instead of asking again and again.
TEST_F(UsbPortTest, NodeAtEndOfFileIsWaitedOutNotPolled) {
    addPrinter(2, "1-3", vendorFilter() + 4, "SN-C");
    writeFileText(dev + "/lp2", "");
    ASSERT_EQ(openport_async("USB"), 0);
    const std::int64_t wall0 = nowMs(), cpu0 = cpuMs();
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1500, 0, 0), "Time Out\r\n");
    const std::int64_t wall = nowMs() - wall0, cpu = cpuMs() - cpu0;
    EXPECT_GE(wall, 1500);
    EXPECT_LT(cpu * 10, wall) << "cpu " << cpu << " ms of " << wall << " ms";
}

// A printer that streams on without CR or STX: the code-page query gives up
// after the USB wait.
TEST_F(UsbPortTest, CodePageQueryEndsOnAnEndlessStream) {
    std::atomic<bool> stop{false};
    std::thread stream([&] {
        const std::string chunk(64, 'x');
        while (!stop) {
            if (::write(pty.master(), chunk.data(), chunk.size()) < 0) ::usleep(1000);
        }
    });
    const std::int64_t start = nowMs();
    const char* answer = usbprintercodepage();
    const std::int64_t took = nowMs() - start;
    stop = true;
    stream.join();
    EXPECT_LT(took, 6000);
    EXPECT_GE(took, 4000);
    EXPECT_EQ(std::string(answer, 4), "xxxx");
}

// Printers of one model that all carry the same serial: "the last matching
// printer" is the last one, not the first with that path.
TEST_F(UsbPortTest, TwinPrintersOpenTheLastOne) {
    addPrinter(2, "1-3", vendorFilter() + 4, "SN-A");
    writeFileText(dev + "/lp2", "");
    ASSERT_EQ(openport("USB"), 0);
    EXPECT_EQ(sendcommand("TWIN"), 1);
    EXPECT_EQ(closeport(), 1);
    EXPECT_EQ(readFileText(dev + "/lp2"), "TWIN\r\n");
    EXPECT_EQ(pty.drain(), "");
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
