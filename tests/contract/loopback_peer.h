// A TCP peer on 127.0.0.1 driven by the case itself, for the rigs of the
// real backends (Linux sockets and Winsock, the same code): it listens, and
// the connection the backend makes waits in the listen queue until the case
// makes the peer send, take or close. No thread: nothing happens on the
// peer's side unless the case asks.
#pragma once

#include <cstdint>
#include <string>

namespace qov::contract {

class LoopbackPeer {
public:
    LoopbackPeer();
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t port() const { return port_; }
    void send(const std::string& bytes);
    // Receives until `size` bytes came, the connection ended or 2 s passed.
    std::string take(std::size_t size);
    // Accepts the connection if need be, then closes it.
    void hangUp();

    // A port on which nobody listens (bound, never listening, released).
    static std::uint16_t closedPort();

private:
    void accept();
    void closeConnection();

    std::intptr_t listener_ = -1;
    std::intptr_t conn_ = -1;
    std::uint16_t port_ = 0;
    std::string taken_;
};

}  // namespace qov::contract
