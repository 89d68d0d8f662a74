// TCP sockets with Winsock's results: connects that succeed, are refused or
// are under way, receive time-outs on blocking and non-blocking sockets,
// a peer that closes, and address texts.
#include <string>

#include "contract_backends.h"

namespace qov::contract {
namespace {

template <class Rig>
class SocketsContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();
    Socket s = kInvalidSocket;

    void SetUp() override { ASSERT_EQ(p.socketStartup(), 0); }
    void TearDown() override {
        if (s != kInvalidSocket) p.closeSocket(s);
        p.socketCleanup();
    }
    // A blocking socket connected to a listening peer.
    void connectToPeer() {
        std::uint16_t port = rig.listeningPort();
        s = p.createTcpSocket();
        ASSERT_NE(s, kInvalidSocket);
        ASSERT_EQ(p.connect(s, ipv4(127, 0, 0, 1), port), 0);
    }
};
TYPED_TEST_SUITE(SocketsContract, ContractRigs);

TYPED_TEST(SocketsContract, BytesReachThePeerAndItsReplyIsReceived) {
    Platform& p = this->p;
    this->connectToPeer();
    ASSERT_EQ(p.setReceiveTimeout(this->s, 2000), 0);
    const std::string out("~STATUS\r\n\0\xff", 11);
    EXPECT_EQ(p.send(this->s, out.data(), 11), 11);
    EXPECT_EQ(this->rig.peerTake(11), out);
    this->rig.peerSend("PONG\r\n");
    char buf[16];
    ASSERT_EQ(p.recv(this->s, buf, sizeof buf), 6);
    EXPECT_EQ(std::string(buf, 6), "PONG\r\n");
}

TYPED_TEST(SocketsContract, ABlockingReceiveTimeOutIsATimeOutNotWouldBlock) {
    Platform& p = this->p;
    this->connectToPeer();
    ASSERT_EQ(p.setReceiveTimeout(this->s, 200), 0);
    char buf[16];
    std::int64_t start = this->rig.nowMs();
    EXPECT_EQ(p.recv(this->s, buf, sizeof buf), -1);
    EXPECT_EQ(p.socketLastError(), kWsaTimedOut);
    std::int64_t took = this->rig.nowMs() - start;
    EXPECT_GE(took, 190);
    EXPECT_LT(took, 2000);
}

TYPED_TEST(SocketsContract, ANonBlockingReceiveWithoutDataIsWouldBlockAtOnce) {
    Platform& p = this->p;
    this->connectToPeer();
    ASSERT_EQ(p.setReceiveTimeout(this->s, 2000), 0);
    ASSERT_EQ(p.setNonBlocking(this->s, true), 0);
    char buf[16];
    std::int64_t start = this->rig.nowMs();
    EXPECT_EQ(p.recv(this->s, buf, sizeof buf), -1);
    EXPECT_EQ(p.socketLastError(), kWsaWouldBlock);
    EXPECT_LT(this->rig.nowMs() - start, 150);
}

TYPED_TEST(SocketsContract, APeerThatClosesGivesZero) {
    Platform& p = this->p;
    this->connectToPeer();
    ASSERT_EQ(p.setReceiveTimeout(this->s, 2000), 0);
    this->rig.peerSend("BYE");
    this->rig.peerClose();
    char buf[16];
    ASSERT_EQ(p.recv(this->s, buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 3), "BYE");
    EXPECT_EQ(p.recv(this->s, buf, sizeof buf), 0);
}

TYPED_TEST(SocketsContract, ABlockingConnectToNoListenerIsRefused) {
    Platform& p = this->p;
    std::uint16_t port = this->rig.refusingPort();
    this->s = p.createTcpSocket();
    ASSERT_NE(this->s, kInvalidSocket);
    EXPECT_EQ(p.connect(this->s, ipv4(127, 0, 0, 1), port), -1);
    EXPECT_EQ(p.socketLastError(), kWsaConnRefused);
}

TYPED_TEST(SocketsContract, ANonBlockingConnectIsUnderWayThenWritable) {
    Platform& p = this->p;
    std::uint16_t port = this->rig.listeningPort();
    this->s = p.createTcpSocket();
    ASSERT_NE(this->s, kInvalidSocket);
    ASSERT_EQ(p.setNonBlocking(this->s, true), 0);
    if (p.connect(this->s, ipv4(127, 0, 0, 1), port) != 0) {
        EXPECT_EQ(p.socketLastError(), kWsaWouldBlock);
    }
    EXPECT_EQ(p.selectWritable(this->s, 5, 0), 1);
    int err = -1;
    EXPECT_EQ(p.socketError(this->s, &err), 0);
    EXPECT_EQ(err, 0);
}

// A connect that fails never becomes writable: select waits out its
// time-out and SO_ERROR tells the refusal.
TYPED_TEST(SocketsContract, ARefusedNonBlockingConnectNeverBecomesWritable) {
    Platform& p = this->p;
    std::uint16_t port = this->rig.refusingPort();
    this->s = p.createTcpSocket();
    ASSERT_NE(this->s, kInvalidSocket);
    ASSERT_EQ(p.setNonBlocking(this->s, true), 0);
    ASSERT_EQ(p.connect(this->s, ipv4(127, 0, 0, 1), port), -1);
    const int connectError = p.socketLastError();
    ASSERT_TRUE(connectError == kWsaWouldBlock || connectError == kWsaConnRefused) << connectError;
    std::int64_t start = this->rig.nowMs();
    EXPECT_EQ(p.selectWritable(this->s, 0, 300000), 0);
    EXPECT_GE(this->rig.nowMs() - start, 290);
    if (connectError == kWsaWouldBlock) {
        int err = -1;
        EXPECT_EQ(p.socketError(this->s, &err), 0);
        EXPECT_EQ(err, kWsaConnRefused);
    }
}

TYPED_TEST(SocketsContract, AClosedSocketIsNoSocket) {
    Platform& p = this->p;
    Socket s = p.createTcpSocket();
    ASSERT_NE(s, kInvalidSocket);
    EXPECT_EQ(p.closeSocket(s), 0);
    EXPECT_EQ(p.closeSocket(s), -1);
    EXPECT_EQ(p.socketLastError(), 10038);  // WSAENOTSOCK
}

TYPED_TEST(SocketsContract, AddressTextsReadAsInetAddrReadsThem) {
    Platform& p = this->p;
    EXPECT_EQ(p.inetAddr("127.0.0.1"), ipv4(127, 0, 0, 1));
    EXPECT_EQ(p.inetAddr("192.168.1.20"), ipv4(192, 168, 1, 20));
    // Fewer parts: the last one fills the remaining bytes.
    EXPECT_EQ(p.inetAddr("10.0.0"), ipv4(10, 0, 0, 0));
    EXPECT_EQ(p.inetAddr("10.1.2"), ipv4(10, 1, 0, 2));
    EXPECT_EQ(p.inetAddr("printer.local"), 0xFFFFFFFFu);
    EXPECT_EQ(p.inetAddr("300.1.1.1"), 0xFFFFFFFFu);
    EXPECT_EQ(p.inetAddr("1.2.3.4.5"), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qov::contract
