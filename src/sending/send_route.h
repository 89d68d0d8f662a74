// Choosing the transport of one send and writing through it.
//
// Each export sees the connection record through a Route (which handle,
// socket and flags it may use) and tests the transports in an order of its
// own; the first transport whose flag is set takes the bytes.
#pragma once

#include <cstdint>
#include <cstddef>

#include "platform/platform.h"
#include "sending/transport_write.h"

namespace qov::sending {

enum class Transport { Spooler, Parallel, Usb, Network, Serial };

// The handles and flags one export may use.
struct Route {
    Handle handle = kNullHandle;
    int spooler = 0;
    int parallel = 0;
    int usb = 0;
    bool overlappedUsb = false;
    int network = 0;
    Socket socket = 0;
    int serial = 0;
};

// The current connection, every transport.
Route currentRoute();
// A slot as the slot command sends see it: slot 1 is the current
// connection, socket included (their order of tests leaves out the LPT);
// slots 2 to 5 their own spooler, USB and socket. `slot` must be 1..5.
Route sharedSlotRoute(int slot);
// A slot with its own socket only (slot 1 too): the slot's handle, spooler
// and USB flags and the socket of the slot's own network open.
Route ownSlotRoute(int slot);

// How the chosen transport writes.
struct SendStyle {
    bool lineEnd = false;          // "\r\n" after the bytes
    SerialWait serialWait = SerialWait::OwnEvent;
    bool serialLineEndApart = false;  // serial: "\r\n" as a write of its own
};

// Writes `size` bytes through the first transport of `order` whose flag is
// set in `route`. Returns 1 when a transport took the bytes, 0 when none
// applies, the serial write could not create its event (nothing written) or
// the socket failed or stalled before it took every byte.
int deliver(const Route& route, const Transport* order, std::size_t count, const char* bytes,
            std::uint32_t size, const SendStyle& style);
template <std::size_t N>
int deliver(const Route& route, const Transport (&order)[N], const char* bytes,
            std::uint32_t size, const SendStyle& style) {
    return deliver(route, order, N, bytes, size, style);
}

// The orders of tests.
// Current-connection command sends.
constexpr Transport kCommandOrder[] = {Transport::Spooler, Transport::Parallel, Transport::Usb,
                                       Transport::Network, Transport::Serial};
// Slot command sends (sendcommand_mult and its kin): no LPT port.
constexpr Transport kSlotCommandOrder[] = {Transport::Spooler, Transport::Usb,
                                           Transport::Network, Transport::Serial};
// sendcommandmult: USB first, no serial port.
constexpr Transport kUsbFirstOrder[] = {Transport::Usb, Transport::Spooler, Transport::Network};
// Binary and buffer writers: the device handle before the serial port,
// the socket last.
constexpr Transport kBinaryOrder[] = {Transport::Spooler, Transport::Parallel, Transport::Usb,
                                      Transport::Serial, Transport::Network};

// Copies a command text into the send copy buffer and stores its length in
// `send length`. Returns false for a text too long to send.
bool copyCommandText(const char* text, std::uint32_t* size);

}  // namespace qov::sending
