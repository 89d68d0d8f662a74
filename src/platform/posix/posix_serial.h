// Serial line set-up on terminals.
#pragma once

#include <cstdint>

namespace qov::posix {

// Raw input and output (no echo, no line editing, no translation of line
// ends, no signals), receiver on, modem lines ignored; the line's speed,
// data bits, parity and stop bits stay as the port had them.
void makeRawKeepingLine(int fd);

// Speeds termios has no constant for (14400, 56000, ...), through the
// kernel's termios2 interface. Both return false on failure.
bool setCustomBaud(int fd, std::uint32_t baud);
bool getCustomBaud(int fd, std::uint32_t* baud);

}  // namespace qov::posix
