// The socket primitives against loopback peers: Winsock's codes where Linux
// reports differently.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "posix_test_support.h"

namespace {

using qov::nativePlatform;
using qov::Platform;
using qov::Socket;
using qov::posixtest::nowMs;
using qov::posixtest::TcpPrinter;
using Rules = std::vector<TcpPrinter::Rule>;

std::uint32_t loopback() { return htonl(INADDR_LOOPBACK); }

TEST(PosixSockets, SendAndReceiveReachThePeerAndASuccessClearsTheLastError) {
    Platform& p = nativePlatform();
    TcpPrinter printer(Rules{{"PING", "PONG\r\n"}});
    Socket s = p.createTcpSocket();
    ASSERT_EQ(p.connect(s, loopback(), printer.port()), 0);
    ASSERT_EQ(p.setReceiveTimeout(s, 2000), 0);
    char buf[16];
    std::int64_t start = nowMs();
    EXPECT_EQ(p.recv(s, buf, 0), 0);  // nothing asked, nothing waited for
    EXPECT_LT(nowMs() - start, 500);
    ASSERT_EQ(p.setReceiveTimeout(s, 100), 0);
    EXPECT_EQ(p.recv(s, buf, sizeof buf), -1);
    ASSERT_EQ(p.socketLastError(), qov::kWsaTimedOut);
    ASSERT_EQ(p.setReceiveTimeout(s, 2000), 0);
    EXPECT_EQ(p.send(s, "PI", 2), 2);
    EXPECT_EQ(p.send(s, "NG", 2), 2);
    int n = p.recv(s, buf, sizeof buf);
    ASSERT_EQ(n, 6);
    EXPECT_EQ(std::string(buf, 6), "PONG\r\n");
    EXPECT_EQ(p.socketLastError(), 0);
    EXPECT_EQ(printer.waitForBytes(0, 4, 1000), "PING");
    p.closeSocket(s);
}

TEST(PosixSockets, PeerClosingGivesZeroThenSendFailsWithoutSignal) {
    Platform& p = nativePlatform();
    TcpPrinter printer(Rules{{"BYE", "", true}});
    Socket s = p.createTcpSocket();
    ASSERT_EQ(p.connect(s, loopback(), printer.port()), 0);
    p.setReceiveTimeout(s, 2000);
    ASSERT_EQ(p.send(s, "BYE", 3), 3);
    char buf[8];
    EXPECT_EQ(p.recv(s, buf, sizeof buf), 0);
    // Writing into a connection the peer shut down: an error code, and the
    // process lives on (no SIGPIPE).
    int result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i) {
        result = p.send(s, "xxxxxxxx", 8);
        if (result >= 0) usleep(10000);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(p.socketLastError(), qov::kWsaConnReset);
    p.closeSocket(s);
}

TEST(PosixSockets, OnlyItsOwnSocketsAreTouched) {
    Platform& p = nativePlatform();
    // Socket 0 of a zeroed record must not close standard input.
    int before = fcntl(0, F_GETFD);
    EXPECT_EQ(p.closeSocket(0), -1);
    EXPECT_EQ(p.socketLastError(), 10038);  // WSAENOTSOCK
    EXPECT_EQ(fcntl(0, F_GETFD), before);
    char b;
    EXPECT_EQ(p.send(0, "x", 1), -1);
    EXPECT_EQ(p.recv(0, &b, 1), -1);
    // A closed socket is no socket any more.
    Socket s = p.createTcpSocket();
    ASSERT_EQ(p.closeSocket(s), 0);
    EXPECT_EQ(p.closeSocket(s), -1);
}

TEST(PosixSockets, NoAddressTextIsNoAddress) {
    EXPECT_EQ(nativePlatform().inetAddr(nullptr), 0xFFFFFFFFu);
}

}  // namespace
