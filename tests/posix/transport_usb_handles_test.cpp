// The USB chunk readers and UsbRead_judge on the handle the header
// documents: the file descriptor of an open device node, cast to a pointer.
// A pipe and a pty stand in for printer nodes.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "library_fixture.h"
#include "reading/receive_state.h"

namespace {

using namespace qov;
using namespace qov::posixtest;

void* handleOf(int fd) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)); }

std::string received(std::size_t n) {
    return std::string(reinterpret_cast<const char*>(receiveState().receiveBuffer), n);
}

class PipeReaderTest : public LibraryTest {
protected:
    int fds[2] = {-1, -1};
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(::pipe(fds), 0);
    }
    void TearDown() override {
        if (fds[0] >= 0) ::close(fds[0]);
        if (fds[1] >= 0) ::close(fds[1]);
        LibraryTest::TearDown();
    }
    void put(const std::string& bytes) {
        ASSERT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void* reader() const { return handleOf(fds[0]); }
};

TEST_F(PipeReaderTest, ChunkReadersStoreWhatThePipeBrings) {
    const int flagsBefore = ::fcntl(fds[0], F_GETFL);
    put("AB\r\nC");
    EXPECT_TRUE(UsbReadData(reader(), false));
    EXPECT_EQ(receiveState().usbCount, 3);
    EXPECT_EQ(received(3), "ABC");
    put("DE\x02" "F");
    EXPECT_FALSE(UsbReadData(reader(), false));  // the STX ends it, what came before stays
    EXPECT_EQ(received(5), "ABCDE");

    put("xy\r\n");
    EXPECT_TRUE(UsbReadData_mult(reader(), false));  // from the start of the buffer
    EXPECT_EQ(received(5), "xyCDE");

    receiveState().usbCount = 7;
    put("123");
    EXPECT_TRUE(UsbReadStatus(reader(), false));  // the last byte, at the count
    EXPECT_EQ(receiveState().receiveBuffer[7], '3');
    EXPECT_EQ(receiveState().usbCount, 7);

    put("\x02\r\n");
    EXPECT_TRUE(UsbReadStatusDataToBuffer(reader(), false));  // every byte, none special
    EXPECT_EQ(receiveState().usbCount, 10);
    EXPECT_EQ(received(10).substr(7), "\x02\r\n");

    receiveState().usbCount = 0;
    put("CP;850\r\n");
    EXPECT_FALSE(UsbReadDataToBuffer(reader(), false));  // ends with the CR, stored
    EXPECT_EQ(received(7), "CP;850\r");
    // The application's descriptor is left as it was: open and blocking.
    EXPECT_EQ(::fcntl(fds[0], F_GETFL), flagsBefore);
}

TEST_F(PipeReaderTest, ReadUntilTextOnBothOverloads) {
    char end[] = "END\r\n";
    put("ST;1\r\nEN");
    put("D\r\n");
    EXPECT_TRUE(UsbRead_judge(reader(), end));
    EXPECT_STREQ(reinterpret_cast<const char*>(receiveState().receiveBuffer), "ST;1\r\nEND\r\n");
    EXPECT_STREQ(receiveState().replyText, "ST;1\r\nEND\r\n");

    // Silence: the three-argument form waits its own time, then ends.
    receiveState().replyText = "unchanged";
    const std::int64_t start = nowMs();
    EXPECT_TRUE(UsbRead_judge(reader(), end, 300));
    EXPECT_GE(nowMs() - start, 300);
    EXPECT_LT(nowMs() - start, 3000);
    EXPECT_STREQ(receiveState().replyText, "unchanged");
}

TEST(CallerHandle, PtySlaveIsReadAndKeepsItsSettings) {
    qov::setPlatform(nullptr);
    qov::resetLibraryState();
    PtyPair pty;
    pty.makeRaw();
    termios before{};
    tcgetattr(pty.slave(), &before);
    pty.writeMaster("READY\r\nEND\r\n");
    char end[] = "END\r\n";
    EXPECT_TRUE(UsbRead_judge(handleOf(pty.slave()), end, 1000));
    EXPECT_STREQ(receiveState().replyText, "READY\r\nEND\r\n");
    pty.writeMaster("Q");
    receiveState().usbCount = 0;
    EXPECT_TRUE(UsbReadStatusDataToBuffer(handleOf(pty.slave()), false));
    EXPECT_EQ(received(1), "Q");
    termios after{};
    tcgetattr(pty.slave(), &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_EQ(::fcntl(pty.slave(), F_GETFL) & O_NONBLOCK, 0);
    qov::resetLibraryState();
}

// A device at end of file or hung up brings nothing, as a silent one does:
// the read sleeps until its time is up instead of asking again and again.
TEST_F(PipeReaderTest, EndOfFileIsWaitedOutNotPolled) {
    ::close(fds[1]);
    fds[1] = -1;
    char end[] = "END\r\n";
    const std::int64_t wall0 = nowMs(), cpu0 = cpuMs();
    EXPECT_TRUE(UsbRead_judge(reader(), end, 1500));
    const std::int64_t wall = nowMs() - wall0, cpu = cpuMs() - cpu0;
    EXPECT_GE(wall, 1500);
    EXPECT_LT(wall, 4000);
    EXPECT_LT(cpu * 10, wall) << "cpu " << cpu << " ms of " << wall << " ms";
}

TEST(CallerHandle, HungUpPtyIsWaitedOutNotPolled) {
    qov::setPlatform(nullptr);
    qov::resetLibraryState();
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ::close(master);  // the far side has gone: reads of the slave fail
    char end[] = "END\r\n";
    const std::int64_t wall0 = nowMs(), cpu0 = cpuMs();
    EXPECT_TRUE(UsbRead_judge(handleOf(slave), end, 1000));
    const std::int64_t wall = nowMs() - wall0, cpu = cpuMs() - cpu0;
    EXPECT_GE(wall, 1000);
    EXPECT_LT(cpu * 10, wall) << "cpu " << cpu << " ms of " << wall << " ms";
    ::close(slave);
    qov::resetLibraryState();
}

}  // namespace
