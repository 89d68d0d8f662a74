// The network transport against a loopback printer: the bytes of every
// send family, status and code-page replies, the socket error flag.
#include <gtest/gtest.h>

#include <string>

#include "library_fixture.h"
#include "reading/receive_state.h"

namespace {

using namespace qov;
using namespace qov::posixtest;
using Rules = std::vector<TcpPrinter::Rule>;

class NetworkTest : public LibraryTest {};

TEST_F(NetworkTest, EverySendFamilyPutsItsBytesOnTheSocket) {
    TcpPrinter printer;
    ASSERT_EQ(openethernet("127.0.0.1", printer.port()), 0);
    EXPECT_EQ(connection().networkFlag, 1);

    char withoutCrlf[] = "B";
    char slotText[] = "F";
    char buffer[] = "G";
    EXPECT_EQ(sendcommand("A"), 1);
    EXPECT_EQ(sendcommand_withoutcrlf(withoutCrlf), 1);
    EXPECT_EQ(sendcommandnocrlf("C"), 1);
    EXPECT_EQ(sendcommandutf8("caf\xE9"), 1);  // ANSI (1252) in, UTF-8 out
    EXPECT_EQ(sendBinaryData("D\0d", 3), 1);
    EXPECT_EQ(sendBinaryDataNoCRLF("E\0e", 3), 1);
    EXPECT_EQ(sendcommand_mult(1, slotText), 1);  // slot 1 sends on the current socket
    EXPECT_EQ(sendcommandmult(1, slotText), 0);   // which this one does not know
    EXPECT_EQ(ZULOutBuffer(buffer), 1);
    wchar_t wide[] = L"W\u00e9";
    char ansi[] = "\xE9";
    char slotRaw[] = "H";
    EXPECT_EQ(sendcommandUnicode(wide), 1);
    EXPECT_EQ(sendcommandutf8_mult(1, ansi), 1);
    EXPECT_EQ(sendcommand_withoutcrlf_mult(1, slotRaw), 1);
    std::string big(70000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    EXPECT_EQ(sendBinaryData(big.data(), static_cast<int>(big.size())), 1);

    const std::string expected = std::string("A\r\nBCcaf\xC3\xA9\r\n") + std::string("D\0d\r\n", 5) +
                                 std::string("E\0e", 3) + "F\r\nG" + "W\xC3\xA9\r\n\xC3\xA9\r\nH" +
                                 big + "\r\n";
    EXPECT_EQ(printer.waitForBytes(0, expected.size(), 5000), expected);

    EXPECT_EQ(closeethernetport(0), 1);
    EXPECT_TRUE(printer.waitForClose(0, 2000));
    EXPECT_EQ(sendcommand("late"), 0);  // the open flag stays, the transport is gone
}

TEST_F(NetworkTest, ClosePortPausesASecondBeforeItClosesTheSocket) {
    TcpPrinter printer;
    ASSERT_EQ(openethernet("127.0.0.1", printer.port()), 0);
    EXPECT_EQ(sendcommand("LAST"), 1);
    std::int64_t start = nowMs();
    EXPECT_EQ(closeport(), 1);
    EXPECT_GE(nowMs() - start, 1000);
    EXPECT_TRUE(printer.waitForClose(0, 2000));
    EXPECT_EQ(printer.received(0), "LAST\r\n");
    EXPECT_EQ(closeport(), 0);
}

TEST_F(NetworkTest, StatusAndCodePageQueriesReturnThePrinterReplies) {
    TcpPrinter printer(Rules{
        {"~NORMAL\r\n~STATUS", "STATUS;READY\r\nPAPER;OK\r\nEND\r\n"},
        {"~!I\n OUT \"\x02\"\n", "CODEPAGE;1252\r\n\x02"},
        {"\x1b!R\n", ""},
    });
    ASSERT_EQ(openethernet("127.0.0.1", printer.port()), 0);
    EXPECT_STREQ(QOVA_GetStatus(), "STATUS;READY\r\nPAPER;OK\r\nEND\r\n");
    // The request goes without a line end.
    EXPECT_EQ(printer.received(0), "~NORMAL\r\n~STATUS");

    EXPECT_STREQ(ethernetprintercodepage(), "CODEPAGE;1252\r\n\x02");
    EXPECT_EQ(ethernetprinterrestart(), 1);
    EXPECT_EQ(printer.waitForBytes(0, 16 + 13 + 4, 2000),
              "~NORMAL\r\n~STATUS~!I\n OUT \"\x02\"\n\x1b!R\n");
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
}

TEST_F(NetworkTest, SilentPrinterSetsTheSocketErrorFlagUntilTheNextBlockingOpen) {
    TcpPrinter silent;
    ASSERT_EQ(openethernet("127.0.0.1", silent.port()), 0);
    // The blocking socket's 1000 ms receive time-out is an error, not
    // would-block: the read ends with "-1" after about a second.
    std::int64_t start = nowMs();
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    std::int64_t took = nowMs() - start;
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 3000);
    EXPECT_EQ(receiveState().socketErrorFlag, 1);
    closeethernetport(0);

    // The flag stays with a non-blocking open, whose empty receives are
    // would-block ...
    TcpPrinter answering(Rules{{"~STATUS", "END\r\n"}});
    ASSERT_EQ(openethernet_async("127.0.0.1", answering.port()), 0);
    EXPECT_STREQ(QOVA_GetStatus(), "-1");
    EXPECT_EQ(answering.waitForBytes(0, 16, 2000), "~NORMAL\r\n~STATUS");
    closeethernetport(0);
    // ... and a blocking open clears it.
    ASSERT_EQ(openethernet("127.0.0.1", answering.port()), 0);
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
    EXPECT_STREQ(QOVA_GetStatus(), "END\r\n");
}

TEST_F(NetworkTest, NonBlockingSocketPollsUntilItsTimeLimit) {
    TcpPrinter silent;
    ASSERT_EQ(openethernet_async("127.0.0.1", silent.port()), 0);
    // The limit counts whole seconds of the calendar clock: the read ends at
    // the next change of second, after at least one 100 ms poll.
    std::int64_t start = nowMs();
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 1000, 0, 0), "Time Out\r\n");
    std::int64_t took = nowMs() - start;
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 2500);
    EXPECT_EQ(receiveState().socketErrorFlag, 0);
}

TEST_F(NetworkTest, RefusedAndBadAddresses) {
    TcpPrinter printer;
    std::uint16_t port = printer.port();
    EXPECT_EQ(openethernet("no.such.host", port), 1);
    EXPECT_EQ(openethernet("127.0.0.1", 1), 1);  // nobody listens on port 1
    EXPECT_EQ(connection().networkFlag, 0);
    char addr[] = "127.0.0.1";
    int* portArg = reinterpret_cast<int*>(static_cast<std::intptr_t>(port));
    EXPECT_EQ(openethernetmult(2, addr, portArg), 0);
    char text[] = "SLOT2";
    EXPECT_EQ(sendcommandmult(2, text), 1);
    EXPECT_EQ(printer.waitForBytes(0, 7, 2000), "SLOT2\r\n");
    EXPECT_EQ(closeethernetportmult(2, 0), 1);
    EXPECT_TRUE(printer.waitForClose(0, 2000));
}

TEST_F(NetworkTest, DiagnosticExchangeShowsWhatThePrinterSays) {
    TcpPrinter printer(Rules{{"HELLO?", "HELLO!", true}});
    ASSERT_EQ(openethernet("127.0.0.1", printer.port()), 0);
    char text[] = "HELLO?";
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Ethernetsend(text), 1);
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error Message: HELLO!\nError Message: Hi\n");
    EXPECT_EQ(out, "Connection Closed.\n");
}

}  // namespace
