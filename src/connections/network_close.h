// Closing the sockets of the current network connection and of the slots.
#pragma once

#include "platform/platform.h"

namespace qov {

// Closes the current connection's socket when one is held, forgets it and
// releases the socket-layer start-ups it held; clears the network flag.
void closeCurrentSocket();

// The same for slot 1..5's own socket and slot network flag.
void closeSlotSocket(int slot);

// A connected socket, holding one socket-layer start-up, takes the place of
// the current connection's (or slot 1..5's) socket: the one held before is
// closed and its start-ups released, whether or not its flag was still set.
void replaceCurrentSocket(Socket s);
void replaceSlotSocket(int slot, Socket s);

}  // namespace qov
