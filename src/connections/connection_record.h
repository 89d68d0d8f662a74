// The connection record: the current connection and its five numbered slots.
//
// Every export works on this one process-global record. Slot 1 shares the
// current connection's handle and its spooler, USB and overlapped-USB flags;
// only its network socket is its own. Slots 2 to 5 own all their fields.
// LPT and COM ports exist only as the current connection.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace qov {

struct SlotFields {
    Handle handle = 0;
    int spoolerFlag = 0;
    int usbFlag = 0;
    int overlappedUsbFlag = 0;
};

struct SlotNetwork {
    int networkFlag = 0;
    // kInvalidSocket while none is held, so a close never reaches socket 0.
    Socket socket = kInvalidSocket;
    // Socket-layer start-ups this connection holds; its close releases them.
    int startups = 0;
};

struct ConnectionRecord {
    // The name given to the last open by name. Holds names of any length.
    std::string portName;

    // Current connection; slot 1 aliases handle, spooler, USB and overlapped
    // USB flag (see slotFields()).
    SlotFields current;
    int parallelFlag = 0;
    int serialFlag = 0;
    int networkFlag = 0;
    int connectionOpenFlag = 0;
    // kInvalidSocket while none is held, so a close never reaches socket 0.
    Socket networkSocket = kInvalidSocket;
    // Socket-layer start-ups the current network connection holds.
    int networkStartups = 0;

    // Overlapped record of the binary send without line end on a COM port;
    // its event is the port event.
    Overlapped portOverlapped;

    // Line state read and written by SetRS232.
    SerialState serialSettings;

    // Every command send copies its text here first; it grows as needed.
    std::string sendCopy;

    // Slots 2..5 (index 0 and 1 unused: slot 1 is `current`).
    SlotFields slots[6];
    // Network of slots 1..5 (index 0 unused); slot 1's is its own.
    SlotNetwork slotNet[6];

    // The current connection's handle, spooler flag, ... as slot n's
    // (n must be 1..5): slot 1 is the current connection's own fields.
    SlotFields& slotFields(int n) { return n == 1 ? current : slots[n]; }
};

// The process-global record, zero at load.
ConnectionRecord& connection();

// True for the slot numbers 1 to 5.
inline bool validSlot(int n) { return n >= 1 && n <= 5; }

// The "Printing..." document every spooler open starts.
constexpr const char* kDocumentName = "Printing...";

// Forgets the spooler, LPT, USB and COM transports of the current
// connection and marks it closed; the opens by name call it after closeport.
void clearTransportFlags(ConnectionRecord& c);

// Opens the spooler printer `name` into the current connection's handle and
// sets its spooler flag when it opened. True when it opened.
bool openSpoolerPrinter(ConnectionRecord& c, const char* name);

// Starts the "Printing..." document and its page on a printer just opened
// into `slot`, and sets its spooler flag.
void startSpoolerDocument(SlotFields& slot);

// Ends the page and the document of a spooler printer and closes it, so
// that what was written prints and the handle is released.
void endSpoolerDocument(Handle printer);

// Tells the user that `name` names no printer nor port (two warning boxes)
// and marks the current connection closed and not on the spooler.
void refusePrinterName(ConnectionRecord& c, const char* name);

// Closes the port event if one is held, and forgets it, so that it is never
// closed twice.
void closePortEvent();

// Resets the record to its state at load (tests).
void resetConnectionState();

}  // namespace qov
