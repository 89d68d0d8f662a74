// Sends on a socket deliver every byte: partial sends are continued, a
// printer that stops reading is waited for (blocking and non-blocking
// sockets alike) until it has taken nothing for 30 s, and a printer that
// goes away ends the call with 0 and nothing more written.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sending_test_support.h"

namespace {

using namespace sending_test;
using qov::sim::NetworkPeer;
using qov::sim::SimScope;

// A block whose every position holds a different pattern, so that a lost,
// repeated or reordered piece shows.
std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
    return s;
}

std::string received(SimScope& sim) { return sim->connectionTo(kPeerAddress, kPeerPort).received; }

NetworkPeer& pausingPeer(SimScope& sim, std::uint32_t pauseMs) {
    NetworkPeer& peer = sim->addPeer(kPeerAddress, kPeerPort);
    peer.pauseMs = pauseMs;
    peer.bufferBytes = 64 * 1024;
    return peer;
}

TEST(SendingNetwork, BlockingSocketWaitsOutAPausingPrinterAndDeliversEveryByte) {
    SimScope sim;
    pausingPeer(sim, 3000).partialSend = 10000;
    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    const std::uint64_t t0 = sim->nowMs();
    const std::string text = patterned(300 * 1000);
    EXPECT_EQ(sendcommand(text.c_str()), 1);
    EXPECT_EQ(received(sim), text + "\r\n");
    // The 1000 ms send time-out expires twice before the printer reads at
    // 3050 (connected at 0, the open sleeps 50 ms).
    EXPECT_EQ(sim->nowMs() - t0, 3000u - 50u);

    const std::string block = patterned(200 * 1000).replace(5, 3, std::string(3, '\0'));
    EXPECT_EQ(sendBinaryData(block.data(), static_cast<int>(block.size())), 1);
    EXPECT_EQ(received(sim), text + "\r\n" + block + "\r\n");
}

TEST(SendingNetwork, NonBlockingSocketWaitsForWritability) {
    SimScope sim;
    pausingPeer(sim, 3000);
    ASSERT_EQ(openethernet_async(kPeerAddress, kPeerPort), 0);
    const int selectsOfOpen = sim->countCalls("select");
    const std::string text = patterned(300 * 1000);
    EXPECT_EQ(sendcommand(text.c_str()), 1);
    EXPECT_EQ(received(sim), text + "\r\n");
    EXPECT_EQ(sim->nowMs(), 3000u);
    // One would-block, one wait that lasts until the printer reads.
    EXPECT_EQ(sim->countCalls("select") - selectsOfOpen, 1);
}

TEST(SendingNetwork, APrinterThatTakesNothingFor30SecondsEndsTheCallWithoutLineEnd) {
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "openethernet_async" : "openethernet");
        SimScope sim;
        pausingPeer(sim, 100 * 1000);
        ASSERT_EQ(async ? openethernet_async(kPeerAddress, kPeerPort)
                        : openethernet(kPeerAddress, kPeerPort),
                  0);
        const std::uint64_t t0 = sim->nowMs();
        const std::string text = patterned(100 * 1000);
        EXPECT_EQ(sendcommand(text.c_str()), 0);
        // The buffers took the first 64 KiB; then 30 s without progress.
        EXPECT_EQ(received(sim), text.substr(0, 64 * 1024));
        EXPECT_EQ(sim->nowMs() - t0, 30000u);
    }
}

TEST(SendingNetwork, APrinterThatClosesMidTransferEndsTheCallAtOnce) {
    SimScope sim;
    pausingPeer(sim, 3000).script = {qov::sim::closeAfter(2000)};
    ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
    const std::string text = patterned(100 * 1000);
    EXPECT_EQ(sendcommand(text.c_str()), 0);
    EXPECT_EQ(received(sim), text.substr(0, 64 * 1024));
    EXPECT_EQ(sim->nowMs(), 2000u);
}

// Every writer that can reach the socket, on the current connection or a
// slot, with what it puts on the wire for the text "TEXT".
struct Writer {
    const char* name;
    std::function<int()> call;
    std::string bytes;
};

std::vector<Writer> writers(qov::sim::SimPlatform& sim) {
    static char text[] = "TEXT";
    static wchar_t wide[] = L"TEXT";
    sim.addFile("logo.pcx", "TEXT");
    return {
        {"sendcommand", [] { return sendcommand(text); }, "TEXT\r\n"},
        {"sendcommand_withoutcrlf", [] { return sendcommand_withoutcrlf(text); }, "TEXT"},
        {"sendcommandnocrlf", [] { return sendcommandnocrlf(text); }, "TEXT"},
        {"sendcommand_mult", [] { return sendcommand_mult(1, text); }, "TEXT\r\n"},
        {"sendcommand_withoutcrlf_mult", [] { return sendcommand_withoutcrlf_mult(1, text); },
         "TEXT"},
        {"sendcommandutf8", [] { return sendcommandutf8(text); }, "TEXT\r\n"},
        {"sendcommandutf8_mult", [] { return sendcommandutf8_mult(1, text); }, "TEXT\r\n"},
        {"sendcommandUnicode", [] { return sendcommandUnicode(wide); }, "TEXT\r\n"},
        {"sendBinaryData", [] { return sendBinaryData(text, 4); }, "TEXT\r\n"},
        {"sendBinaryDataNoCRLF", [] { return sendBinaryDataNoCRLF(text, 4); }, "TEXT"},
        {"ZULOutBuffer", [] { return ZULOutBuffer(text); }, "TEXT"},
        {"QOVA_DownloadPCX", [] { return QOVA_DownloadPCX("logo.pcx", "L"); },
         "~LOGO;L;PCX;DISK\r\nTEXT~RASTEREND\r\nEND\r\n"},
    };
}

TEST(SendingNetwork, EveryWriterContinuesPartialSends) {
    SimScope probe;
    const std::size_t count = writers(probe.os()).size();
    for (std::size_t i = 0; i < count; ++i) {
        SimScope sim;
        const Writer w = writers(sim.os())[i];
        SCOPED_TRACE(w.name);
        sim->addPeer(kPeerAddress, kPeerPort).partialSend = 1;
        ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
        EXPECT_EQ(w.call(), 1);
        EXPECT_EQ(escaped(received(sim)), escaped(w.bytes));
        EXPECT_EQ(sim->writesTo(peerTarget()).size(), w.bytes.size());
    }
    // sendcommandmult writes on the socket of the slot's own open.
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort).partialSend = 1;
    char address[] = "10.0.0.7";
    ASSERT_EQ(openethernetmult(1, address, portArg(kPeerPort)), 0);
    char text[] = "TEXT";
    EXPECT_EQ(sendcommandmult(1, text), 1);
    EXPECT_EQ(received(sim), "TEXT\r\n");
}

TEST(SendingNetwork, EveryWriterReturnsZeroAndWritesNothingMoreWhenThePrinterIsGone) {
    SimScope probe;
    const std::size_t count = writers(probe.os()).size();
    for (std::size_t i = 0; i < count; ++i) {
        SimScope sim;
        const Writer w = writers(sim.os())[i];
        SCOPED_TRACE(w.name);
        sim->addPeer(kPeerAddress, kPeerPort).script = {qov::sim::closeAfter(10)};
        ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
        EXPECT_EQ(w.call(), 0);
        // One refused send, nothing after it.
        EXPECT_EQ(sim->countCalls("send "), 1);
        EXPECT_EQ(received(sim), "");
    }
}

}  // namespace
