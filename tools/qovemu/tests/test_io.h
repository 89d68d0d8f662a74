// Reading what a test's child process answers, on a socket, pipe or pty,
// with a bounded wait.
#pragma once

#include <string>

namespace qovemu::test {

// Reads from `fd` until `until` appears in what was read, the peer closes
// or `ms` pass. With `keep`: what it holds counts as read before, and all
// that was read is left in it.
std::string readUntil(int fd, const std::string& until, int ms, std::string* keep = nullptr);

}  // namespace qovemu::test
