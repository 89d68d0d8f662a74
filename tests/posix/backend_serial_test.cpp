// COM ports on a pty pair: raw mode, line state in termios, the serial
// time-outs on reads.
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "posix_test_support.h"

namespace {

using namespace qov;
using qov::posixtest::nowMs;
using qov::posixtest::PtyPair;
using qov::posixtest::ScopedEnv;

struct SerialPort : ::testing::Test {
    PtyPair pty;
    ScopedEnv env{"QOVLIB_COM2", pty.slavePath()};
    Platform& p = nativePlatform();

    Handle open(std::uint32_t flags = 0) {
        return p.createFile("COM2", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, flags);
    }
    termios lineState() {
        termios t{};
        tcgetattr(pty.slave(), &t);
        return t;
    }
};

// A pty keeps its speed, stop bits and parity sense (PARODD, CMSPAR) but
// forces eight data bits without parity generation (CSIZE, PARENB): only
// the former can be seen through a pty.
TEST_F(SerialPort, OpensRawAndKeepsTheLineSettings) {
    termios t = lineState();
    cfsetospeed(&t, B4800);
    cfsetispeed(&t, B4800);
    t.c_cflag |= CSTOPB | PARODD;
    ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &t), 0);

    Handle h = open();
    ASSERT_NE(h, kInvalidHandle);
    t = lineState();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(cfgetospeed(&t), B4800);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & PARODD);

    // Bytes pass unchanged both ways: no CR/LF translation, no echo.
    std::uint32_t n = 0;
    ASSERT_TRUE(p.writeFile(h, "A\r\nB\n", 5, &n, nullptr));
    EXPECT_EQ(pty.readMaster(5, 1000), "A\r\nB\n");
    EXPECT_EQ(p.closeHandle(h), true);
    EXPECT_EQ(pty.drain(), "");
}

TEST_F(SerialPort, CommStateRoundTripsThroughTermios) {
    Handle h = open();
    ASSERT_NE(h, kInvalidHandle);
    SerialState s{};
    ASSERT_TRUE(p.getCommState(h, &s));
    s = SerialState{19200, 0, 8, 1, 2};
    ASSERT_TRUE(p.setCommState(h, s));
    termios t = lineState();
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    s.baudRate = 115200;
    s.parity = 2;
    s.byteSize = 7;
    s.stopBits = 0;
    ASSERT_TRUE(p.setCommState(h, s));
    t = lineState();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CMSPAR);
    EXPECT_FALSE(t.c_cflag & CSTOPB);

    // Speeds without a termios constant, odd parity, one and a half stop bits.
    s = SerialState{14400, 1, 8, 1, 1};
    ASSERT_TRUE(p.setCommState(h, s));
    SerialState back{};
    ASSERT_TRUE(p.getCommState(h, &back));
    EXPECT_EQ(back.baudRate, 14400u);
    EXPECT_EQ(back.byteSize, 8);
    EXPECT_EQ(back.stopBits, 1);
    EXPECT_EQ(back.parityCheck, 1);
    t = lineState();
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_iflag & INPCK);

    s = SerialState{56000, 0, 8, 4, 2};  // space parity, two stop bits
    ASSERT_TRUE(p.setCommState(h, s));
    ASSERT_TRUE(p.getCommState(h, &back));
    EXPECT_EQ(back.baudRate, 56000u);
    EXPECT_EQ(back.stopBits, 2);
    t = lineState();
    EXPECT_TRUE(t.c_cflag & CMSPAR);
    EXPECT_FALSE(t.c_cflag & PARODD);

    EXPECT_FALSE(p.setCommState(h, SerialState{9600, 0, 9, 0, 0}));
    EXPECT_EQ(p.lastError(), kErrorInvalidParameter);
    p.closeHandle(h);
}

TEST_F(SerialPort, ReadTimeOutsOfTheComOpen) {
    Handle h = open();
    ASSERT_NE(h, kInvalidHandle);
    // The set-up the library gives a COM port: interval 50, read 10 x n + 50.
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{50, 10, 50, 10, 50}));
    char buf[512];
    std::uint32_t n = 99;

    // Nothing comes: the read succeeds empty after 10 x 20 + 50 ms.
    std::int64_t start = nowMs();
    ASSERT_TRUE(p.readFile(h, buf, 20, &n, nullptr));
    std::int64_t took = nowMs() - start;
    EXPECT_EQ(n, 0u);
    EXPECT_GE(took, 245);
    EXPECT_LT(took, 1500);

    // A reply in two parts close together is one read; the interval ends it.
    pty.writeMaster("~!I\r\n");
    start = nowMs();
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    took = nowMs() - start;
    EXPECT_EQ(std::string(buf, n), "~!I\r\n");
    EXPECT_GE(took, 45);
    EXPECT_LT(took, 1500);

    // A full buffer returns at once.
    pty.writeMaster("0123456789");
    ASSERT_TRUE(p.readFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "0123");
    // "Return at once" time-outs hand over what waits, or nothing.
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{0xFFFFFFFFu, 0, 0, 0, 0}));
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "456789");
    start = nowMs();
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_LT(nowMs() - start, 100);
    p.closeHandle(h);
}

TEST_F(SerialPort, OverlappedReadOnAComPortFollowsItsTimeOuts) {
    Handle h = open(kFlagOverlapped | kFlagNormalAttributes);
    ASSERT_NE(h, kInvalidHandle);
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{50, 0, 0, 0, 0}));
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    char buf[512] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_EQ(p.waitForSingleObject(ev, 100), WaitResult::Timeout);  // no byte yet: no interval
    pty.writeMaster("OUT\x02");
    EXPECT_EQ(p.waitForSingleObject(ev, 2000), WaitResult::Signaled);
    std::uint32_t n = 0;
    ASSERT_TRUE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(std::string(buf, n), "OUT\x02");
    p.closeHandle(ev);
    p.closeHandle(h);
}

TEST_F(SerialPort, NamesAndNonSerialHandles) {
    Handle viaNamespace =
        p.createFile("\\\\.\\COM2", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0);
    EXPECT_NE(viaNamespace, kInvalidHandle);
    p.closeHandle(viaNamespace);
    {
        ScopedEnv missing("QOVLIB_COM3", "/nonexistent/tty");
        EXPECT_EQ(p.createFile("COM3", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0),
                  kInvalidHandle);
        EXPECT_EQ(p.lastError(), kErrorFileNotFound);
    }
    EXPECT_EQ(p.createFile("COM6", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
    // Line state belongs to serial ports only.
    qov::posixtest::TempDir dir;
    std::string file = dir.file("plain");
    Handle f = p.createFile(file.c_str(), kAccessWrite, 0, Disposition::CreateAlways, 0);
    SerialState s{};
    EXPECT_FALSE(p.getCommState(f, &s));
    EXPECT_FALSE(p.setCommTimeouts(f, CommTimeouts{1000, 0, 0, 0, 0}));
    p.closeHandle(f);
    EXPECT_FALSE(p.getCommState(f, &s));
    EXPECT_EQ(p.lastError(), kErrorInvalidHandle);
}

}  // namespace
