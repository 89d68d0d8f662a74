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

// A port on which nobody listens: bound, never listening, then released.
std::uint16_t closedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = loopback();
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

TEST(PosixSockets, BlockingReceiveTimeOutIsATimeOutNotWouldBlock) {
    Platform& p = nativePlatform();
    TcpPrinter printer;
    Socket s = p.createTcpSocket();
    ASSERT_NE(s, qov::kInvalidSocket);
    ASSERT_EQ(p.connect(s, loopback(), printer.port()), 0);
    ASSERT_EQ(p.setReceiveTimeout(s, 200), 0);
    char buf[16];
    std::int64_t start = nowMs();
    EXPECT_EQ(p.recv(s, buf, sizeof buf), -1);
    EXPECT_EQ(p.socketLastError(), qov::kWsaTimedOut);
    EXPECT_GE(nowMs() - start, 190);

    // The same socket switched to non-blocking reports would-block at once.
    ASSERT_EQ(p.setNonBlocking(s, true), 0);
    start = nowMs();
    EXPECT_EQ(p.recv(s, buf, sizeof buf), -1);
    EXPECT_EQ(p.socketLastError(), qov::kWsaWouldBlock);
    EXPECT_LT(nowMs() - start, 150);
    EXPECT_EQ(p.closeSocket(s), 0);
}

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

TEST(PosixSockets, RefusedConnects) {
    Platform& p = nativePlatform();
    std::uint16_t port = closedPort();

    Socket s = p.createTcpSocket();
    EXPECT_EQ(p.connect(s, loopback(), port), -1);
    EXPECT_EQ(p.socketLastError(), qov::kWsaConnRefused);
    p.closeSocket(s);

    // Non-blocking: the connect is under way (would-block); a failed connect
    // never becomes writable, so select waits out its time-out, and SO_ERROR
    // tells the refusal.
    s = p.createTcpSocket();
    ASSERT_EQ(p.setNonBlocking(s, true), 0);
    ASSERT_EQ(p.connect(s, loopback(), port), -1);
    const int connectError = p.socketLastError();
    ASSERT_TRUE(connectError == qov::kWsaWouldBlock || connectError == qov::kWsaConnRefused)
        << connectError;
    std::int64_t start = nowMs();
    EXPECT_EQ(p.selectWritable(s, 0, 300000), 0);
    EXPECT_GE(nowMs() - start, 290);
    int err = -1;
    EXPECT_EQ(p.socketError(s, &err), 0);
    // Under way at connect: the refusal waits in SO_ERROR.
    if (connectError == qov::kWsaWouldBlock) {
        EXPECT_EQ(err, qov::kWsaConnRefused);
    }
    p.closeSocket(s);
}

TEST(PosixSockets, NonBlockingConnectToAListenerBecomesWritable) {
    Platform& p = nativePlatform();
    TcpPrinter printer;
    Socket s = p.createTcpSocket();
    ASSERT_EQ(p.setNonBlocking(s, true), 0);
    int r = p.connect(s, loopback(), printer.port());
    if (r != 0) {
        EXPECT_EQ(p.socketLastError(), qov::kWsaWouldBlock);
    }
    EXPECT_EQ(p.selectWritable(s, 5, 0), 1);
    int err = -1;
    EXPECT_EQ(p.socketError(s, &err), 0);
    EXPECT_EQ(err, 0);
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

TEST(PosixSockets, AddressTexts) {
    Platform& p = nativePlatform();
    EXPECT_EQ(p.inetAddr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(p.inetAddr("192.168.1.20"), htonl(0xC0A80114u));
    EXPECT_EQ(p.inetAddr("printer.local"), 0xFFFFFFFFu);
    EXPECT_EQ(p.inetAddr("300.1.1.1"), 0xFFFFFFFFu);
    EXPECT_EQ(p.inetAddr(nullptr), 0xFFFFFFFFu);
}

}  // namespace
