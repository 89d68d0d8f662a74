// Large sends through Windows sockets to a printer that stops reading for
// 3 s and to one that hangs up in the middle; reads from a silent printer.
#include <string>

#include "harness.h"

namespace {

// Every position differs from its neighbours; no zero byte, so that it can
// go out as command text.
std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('A' + (i * 7 + i / 4093) % 26);
    return s;
}

}  // namespace

WT_CASE(tcp_pausing_printer_gets_every_byte) {
    const std::string text = patterned(8 << 20);
    std::string block = patterned(2 << 20);
    block[1000] = '\0';
    wt::peerClear("pause");
    const int port = wt::peerPort("pause");

    WT_REQUIRE(QOV_PLAIN(openethernet)("127.0.0.1", port) == 0);
    const std::uint64_t start = wt::nowMs();
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)(text.c_str()), 1);
    wt::note("8 MB sendcommand took " + std::to_string(wt::nowMs() - start) + " ms");
    WT_CHECK_EQ(QOV_PLAIN(sendBinaryData)(block.data(), static_cast<int>(block.size())), 1);
    const std::string first = text + "\r\n" + block + "\r\n";
    // Compared whole, shown only by size: the texts are megabytes.
    const std::string got = wt::peerAwait("pause", first.size(), 20000);
    WT_CHECK_EQ(got.size(), first.size());
    WT_CHECK(got == first);
    QOV_DECORATED(closeethernetport, "?closeethernetport@@YAHH@Z")(0);

    // The socket of the non-blocking open stays non-blocking for its sends.
    wt::peerClear("pause");
    WT_REQUIRE(QOV_PLAIN(openethernet_async)("127.0.0.1", port) == 0);
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)(text.c_str()), 1);
    const std::string second = wt::peerAwait("pause", text.size() + 2, 20000);
    WT_CHECK_EQ(second.size(), text.size() + 2);
    WT_CHECK(second == text + "\r\n");
    QOV_DECORATED(closeethernetport, "?closeethernetport@@YAHH@Z")(0);
}

WT_CASE(tcp_printer_that_hangs_up_ends_the_send_with_zero) {
    const std::string text = patterned(8 << 20);
    wt::peerClear("hangup");
    WT_REQUIRE(QOV_PLAIN(openethernet)("127.0.0.1", wt::peerPort("hangup")) == 0);
    const std::uint64_t start = wt::nowMs();
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)(text.c_str()), 0);
    const std::uint64_t took = wt::nowMs() - start;
    wt::note("the send ended after " + std::to_string(took) + " ms");
    WT_CHECK(took < 5000);
    const std::string got = wt::peerReceived("hangup");
    WT_CHECK(got.size() < text.size());
    WT_CHECK(got == text.substr(0, got.size()));
    QOV_DECORATED(closeethernetport, "?closeethernetport@@YAHH@Z")(0);
}

WT_CASE(tcp_silent_printer_times_out_then_the_next_read_fails) {
    // The tcp printer answers nothing but a status request.
    WT_REQUIRE(QOV_PLAIN(openethernet)("127.0.0.1", wt::peerPort("tcp")) == 0);
    std::uint64_t start = wt::nowMs();
    WT_CHECK_EQ(QOV_PLAIN(QOVA_Read_withTimeout)("END\r\n", 1000, 0, 0), "Time Out\r\n");
    WT_CHECK(wt::nowMs() - start < 2500);
    start = wt::nowMs();
    WT_CHECK_EQ(QOV_PLAIN(QOVA_Read_withTimeout)("END\r\n", 5000, 0, 0), "-1");
    const std::uint64_t took = wt::nowMs() - start;
    wt::note("the second read took " + std::to_string(took) + " ms");
    WT_CHECK(took >= 1000);
    WT_CHECK(took < 3000);
    QOV_DECORATED(closeethernetport, "?closeethernetport@@YAHH@Z")(0);
}
