// Large sends to a printer that stops reading for a while, a printer that
// hangs up in the middle, and reads from a printer that says nothing: on
// real loopback sockets, with real time.
#include <gtest/gtest.h>

#include <string>

#include "library_fixture.h"
#include "reading/receive_state.h"

namespace {

using namespace qov;
using namespace qov::posixtest;

// Every position differs from its neighbours, so a lost or repeated piece
// shows; no zero byte, so that it can go out as command text.
std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('A' + (i * 7 + i / 4093) % 26);
    return s;
}

class NetworkDeliveryTest : public LibraryTest {};

TEST_F(NetworkDeliveryTest, APrinterThatPausesGetsEveryByteInOrder) {
    const std::string text = patterned(8 << 20);
    std::string block = patterned(2 << 20);
    block[1000] = '\0';  // binary data may hold zero bytes

    TcpPrinter blocking;
    blocking.pauseBeforeReading(3000);
    ASSERT_EQ(openethernet("127.0.0.1", blocking.port()), 0);
    const std::int64_t start = nowMs();
    EXPECT_EQ(sendcommand(text.c_str()), 1);
    EXPECT_GE(nowMs() - start, 2000);  // it had to wait for the printer
    EXPECT_EQ(sendBinaryData(block.data(), static_cast<int>(block.size())), 1);
    const std::string expected = text + "\r\n" + block + "\r\n";
    EXPECT_TRUE(blocking.waitForBytes(0, expected.size(), 10000) == expected);

    // The socket of the non-blocking open stays non-blocking for its sends.
    TcpPrinter nonBlocking;
    nonBlocking.pauseBeforeReading(3000);
    ASSERT_EQ(openethernet_async("127.0.0.1", nonBlocking.port()), 0);
    EXPECT_EQ(sendcommand(text.c_str()), 1);
    EXPECT_TRUE(nonBlocking.waitForBytes(0, text.size() + 2, 10000) == text + "\r\n");
}

TEST_F(NetworkDeliveryTest, APrinterThatHangsUpMidTransferEndsTheSendWithZero) {
    TcpPrinter printer;
    printer.closeAfterReceiving(1 << 20);
    ASSERT_EQ(openethernet("127.0.0.1", printer.port()), 0);
    const std::string text = patterned(8 << 20);
    const std::int64_t start = nowMs();
    EXPECT_EQ(sendcommand(text.c_str()), 0);
    EXPECT_LT(nowMs() - start, 5000);
    const std::string got = printer.received(0);
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size()));
}

TEST_F(NetworkDeliveryTest, SilentPrinterTimesOutThenTheNextReadSeesTheError) {
    TcpPrinter silent;
    ASSERT_EQ(openethernet("127.0.0.1", silent.port()), 0);
    // The receive times out on the last round before the 1 s limit: a
    // time-out, the flag stays clear.
    std::int64_t start = nowMs();
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "Time Out\r\n");
    EXPECT_LT(nowMs() - start, 2500);
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
    // With 5 s, the error of the first receive ends the second round.
    start = nowMs();
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 5000, 0, 0), "-1");
    const std::int64_t took = nowMs() - start;
    EXPECT_GE(took, 1100);
    EXPECT_LT(took, 3000);
    EXPECT_EQ(receiveState().socketErrorFlag, 1);
}

}  // namespace
