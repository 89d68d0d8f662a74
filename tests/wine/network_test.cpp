// A TCP round trip against the loopback peer: the bytes on the wire for a
// command, an empty binary block, a printed form and a status request; the
// status report read back; closeport's pause before the socket closes.
#include <cstdlib>

#include "harness.h"

namespace {

const char kForm[] =
    "~CREATE;NET1;X\r\n"
    "ALPHA\r\n10;20;1;1;*caf\xE9*\r\n"
    "STOP\r\n"
    "END\r\n~EXECUTE;NET1\r\n~NORMAL\r\n";

// The form as the printer receives it: UTF-8 of the ANSI text. The suite
// runs with the ANSI code page 1252, where E9 is U+00E9.
const char kFormUtf8[] =
    "~CREATE;NET1;X\r\n"
    "ALPHA\r\n10;20;1;1;*caf\xC3\xA9*\r\n"
    "STOP\r\n"
    "END\r\n~EXECUTE;NET1\r\n~NORMAL\r\n";

}  // namespace

WT_CASE(tcp_round_trip) {
    WT_REQUIRE(GetACP() == 1252);
    wt::peerClear("tcp");
    const int port = wt::peerPort("tcp");

    WT_REQUIRE(QOV_PLAIN(openethernet)("127.0.0.1", port) == 0);
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)("HELLO"), 1);
    WT_CHECK_EQ(QOV_PLAIN(sendBinaryData)("unused", 0), 1);

    QOV_PLAIN(QOVA_DLLinit)();
    const int form = QOV_PLAIN(QOVA_CreateForm)("NET1");
    QOV_PLAIN(QOVA_PrintTextEng)(form, 10, 20, 1, 1, "caf\xE9");
    char* printed = QOV_PLAIN(QOVA_PrintForm)(form);
    // The caller gets the text before conversion.
    WT_CHECK_EQ(printed, kForm);

    const std::string sentBefore = std::string("HELLO\r\n") + "\r\n" + kFormUtf8 + "\r\n";
    WT_CHECK_EQ(wt::peerAwait("tcp", sentBefore.size(), 3000), sentBefore);

    // The peer answers the request in two chunks, 300 ms apart; the read
    // collects both.
    const char* status = QOV_PLAIN(QOVA_GetStatus)();
    WT_CHECK_EQ(status, "STATUS;READY;LABELS 0\r\nEND\r\n");
    WT_CHECK_EQ(wt::peerReceived("tcp"), sentBefore + "~NORMAL\r\n~STATUS");

    const std::uint64_t start = wt::nowMs();
    WT_CHECK_EQ(QOV_PLAIN(closeport)(), 1);
    const std::uint64_t paused = wt::nowMs() - start;
    wt::note("closeport took " + std::to_string(paused) + " ms");
    // 1000 ms, within the tick granularity of the clock.
    WT_CHECK(paused >= 984);
    WT_CHECK(paused < 3000);
    // Nothing more is open: a second close has nothing to do.
    WT_CHECK_EQ(QOV_PLAIN(closeport)(), 0);
}

WT_CASE(tcp_open_refused_port_fails) {
    // A port on which nothing listens (the script hands one over), and an
    // address text that inet_addr refuses.
    const std::string freePort = wt::setting("QOV_FREE_PORT");
    WT_CHECK_EQ(QOV_PLAIN(openethernet)("127.0.0.1", std::atoi(freePort.c_str())), 1);
    WT_CHECK_EQ(QOV_PLAIN(openethernet)("not-an-address", wt::peerPort("tcp")), 1);
}
