// Closing the sockets of the current network connection and of the slots.
#pragma once

namespace qov {

// Closes the current connection's socket when one is held, forgets it and
// releases the socket-layer start-ups it held; clears the network flag.
void closeCurrentSocket();

// The same for slot 1..5's own socket and slot network flag.
void closeSlotSocket(int slot);

}  // namespace qov
