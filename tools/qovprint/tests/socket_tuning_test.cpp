// Nagle off on the sockets towards the printer, and on no other.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "socket_tuning.h"

namespace {

int noDelay(int fd) {
    int v = -1;
    socklen_t len = sizeof v;
    EXPECT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &v, &len), 0);
    return v;
}

}  // namespace

TEST(SocketTuning, OnlyTheSocketConnectedToThePrinterLosesNagle) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 2), 0);
    socklen_t len = sizeof a;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int port = ntohs(a.sin_port);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const int served = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(served, 0);
    ASSERT_EQ(noDelay(client), 0);

    EXPECT_EQ(qovprint::setNoDelayTowards("127.0.0.1", port + 1 == 65536 ? 1 : port + 1), 0);  // another port
    EXPECT_EQ(qovprint::setNoDelayTowards("127.0.0.2", port), 0);                              // another host
    EXPECT_EQ(noDelay(client), 0);
    EXPECT_EQ(qovprint::setNoDelayTowards("127.0.0.1", port), 1);
    EXPECT_EQ(noDelay(client), 1);
    EXPECT_EQ(noDelay(served), 0);  // its peer is the client's port, not the printer's
    EXPECT_EQ(qovprint::setNoDelayTowards("not an address", port), 0);
    ::close(client);
    ::close(served);
    ::close(listener);
}
