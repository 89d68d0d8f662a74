// Releasing what a connection record field still holds before an open
// stores something new in it, so that a reopen never strands the old
// printer, file handle or socket.
#pragma once

#include "connections/connection_record.h"

namespace qov {

// Closes the current connection's device handle when a spooler, LPT, USB or
// COM flag still says it is held (in that order, like closeport; for a COM
// port also its events), and clears those four flags. The network socket is
// not touched.
void releaseCurrentHandle(ConnectionRecord& c);

// The same for slot 1..5: slot 1 is the current connection's handle; slots
// 2..5 hold a USB device or a spooler printer of their own.
void releaseSlotHandle(ConnectionRecord& c, int slot);

}  // namespace qov
