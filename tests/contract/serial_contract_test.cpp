// Serial ports: the line state the library sets and reads back, and the
// read time-outs its COM reads count on (a time-out is a success with what
// came, possibly nothing).
#include "contract_backends.h"

namespace qov::contract {
namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

template <class Rig>
class SerialContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();

    Handle openPort() {
        return p.createFile(rig.addSerialPort().c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, 0);
    }
};
TYPED_TEST_SUITE(SerialContract, ContractRigs);

TYPED_TEST(SerialContract, TheLineStateReadsBackAsItWasSet) {
    Platform& p = this->p;
    Handle h = this->openPort();
    ASSERT_NE(h, kInvalidHandle);
    // Eight bits without parity: what every line (and a pty) can carry.
    for (const SerialState& want : {SerialState{19200, 0, 8, 0, 2}, SerialState{115200, 0, 8, 0, 0}}) {
        ASSERT_TRUE(p.setCommState(h, want));
        SerialState got{};
        ASSERT_TRUE(p.getCommState(h, &got));
        EXPECT_EQ(got.baudRate, want.baudRate);
        EXPECT_EQ(got.byteSize, want.byteSize);
        EXPECT_EQ(got.parity, want.parity);
        EXPECT_EQ(got.stopBits, want.stopBits);
    }
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(SerialContract, BytesPassUnchangedBothWays) {
    Platform& p = this->p;
    Handle h = this->openPort();
    ASSERT_NE(h, kInvalidHandle);
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{50, 10, 50, 10, 50}));
    std::uint32_t n = 0;
    const std::string out("A\r\nB\n\0\x02", 7);
    ASSERT_TRUE(p.writeFile(h, out.data(), 7, &n, nullptr));
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(this->rig.serialTake(7), out);

    this->rig.serialPut("~!I\r\n");
    char buf[64];
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "~!I\r\n");
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(SerialContract, AReadWithNothingComingSucceedsEmptyAfterItsTotalTimeOut) {
    Platform& p = this->p;
    Handle h = this->openPort();
    ASSERT_NE(h, kInvalidHandle);
    // The library's COM set-up: interval 50, reads 10 x n + 50.
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{50, 10, 50, 10, 50}));
    char buf[20];
    std::uint32_t n = 99;
    std::int64_t start = this->rig.nowMs();
    ASSERT_TRUE(p.readFile(h, buf, 20, &n, nullptr));
    std::int64_t took = this->rig.nowMs() - start;
    EXPECT_EQ(n, 0u);
    EXPECT_GE(took, 245);
    EXPECT_LT(took, 1500);
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(SerialContract, AFullBufferReturnsAtOnceAndTheRestWaits) {
    Platform& p = this->p;
    Handle h = this->openPort();
    ASSERT_NE(h, kInvalidHandle);
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{50, 10, 50, 10, 50}));
    this->rig.serialPut("0123456789");
    char buf[16];
    std::uint32_t n = 0;
    ASSERT_TRUE(p.readFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "0123");
    // "Return at once" time-outs hand over what waits, then nothing.
    ASSERT_TRUE(p.setCommTimeouts(h, CommTimeouts{kMaxDword, 0, 0, 0, 0}));
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "456789");
    std::int64_t start = this->rig.nowMs();
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_LT(this->rig.nowMs() - start, 100);
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(SerialContract, SerialCallsOnAFileFailAsAnInvalidFunction) {
    Platform& p = this->p;
    std::string path = this->rig.newFilePath("plain.txt");
    this->rig.putFile(path, "x");
    Handle h = p.createFile(path.c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0);
    ASSERT_NE(h, kInvalidHandle);
    SerialState s{};
    EXPECT_FALSE(p.getCommState(h, &s));
    EXPECT_EQ(p.lastError(), 1u);  // ERROR_INVALID_FUNCTION
    EXPECT_FALSE(p.setCommTimeouts(h, CommTimeouts{50, 10, 50, 10, 50}));
    EXPECT_EQ(p.lastError(), 1u);
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(SerialContract, ANameOutsideComOneToFiveOpensNothing) {
    Platform& p = this->p;
    EXPECT_EQ(p.createFile("COM9", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace qov::contract
