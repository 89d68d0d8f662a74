#pragma once
// The library sends each command as its own write on its network socket;
// with Nagle's algorithm a short write that follows another waits for the
// printer's acknowledgement (up to the peer's delayed-ACK time). The library
// does not hand out its socket, so qovprint finds it among the process's
// descriptors by its peer and turns Nagle off.
#include <string>

namespace qovprint {

// Sets TCP_NODELAY on every TCP socket of this process connected to
// host:port (a dotted IPv4 address). Returns how many it set.
int setNoDelayTowards(const std::string& host, int port);

}  // namespace qovprint
