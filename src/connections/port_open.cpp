// openport, openport_async and openportmult: opening by printer name or by
// port name ("USB", "LPT1".."LPT4", "COM1".."COM5").
#include <string>

#include "connections/connection_record.h"
#include "connections/held_handles.h"
#include "connections/port_name.h"
#include "connections/usb_discovery.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"

namespace qov {
namespace {

constexpr const char* kLptNames[] = {"LPT1", "LPT2", "LPT3", "LPT4"};
constexpr const char* kComNames[] = {"COM1", "COM2", "COM3", "COM4", "COM5"};

template <std::size_t N>
bool isOneOf(const std::string& name, const char* const (&names)[N]) {
    for (const char* candidate : names) {
        if (name == candidate) return true;
    }
    return false;
}

int openUsbBranch(ConnectionRecord& c) {
    UsbSearchRecord search;
    discoverLastUsbDevice(search);
    if (search.found) {
        c.current.handle = os().createFile(search.devicePath.c_str(), kAccessRead | kAccessWrite,
                                           0, Disposition::OpenExisting, 0);
        if (c.current.handle != kInvalidHandle) {
            // Only the interval time-out is ours to choose; zero totals
            // leave the other limits unused.
            CommTimeouts timeouts;
            timeouts.readInterval = 1000;
            os().setCommTimeouts(c.current.handle, timeouts);
            c.current.usbFlag = 1;
            c.connectionOpenFlag = 1;
            return 0;
        }
    }
    c.current.usbFlag = 0;
    c.connectionOpenFlag = 0;
    return 1;
}

int openLptBranch(ConnectionRecord& c) {
    c.current.handle = os().createFile(c.portName.c_str(), kAccessWrite, 0,
                                       Disposition::CreateAlways, kFlagNormalAttributes);
    // An event from an earlier LPT open would leak if simply replaced.
    closePortEvent();
    c.portOverlapped = Overlapped{};
    c.portOverlapped.event = os().createEvent(true, false);
    if (c.current.handle == kInvalidHandle) {
        c.parallelFlag = 0;
        c.connectionOpenFlag = 0;
        return 1;
    }
    c.parallelFlag = 1;
    c.connectionOpenFlag = 1;
    return 0;
}

int openComBranch(ConnectionRecord& c) {
    c.current.handle = os().createFile(c.portName.c_str(), kAccessRead | kAccessWrite, 0,
                                       Disposition::OpenExisting, 0);
    CommTimeouts timeouts;
    timeouts.readInterval = 50;
    timeouts.readTotalMultiplier = 10;
    timeouts.readTotalConstant = 50;
    timeouts.writeTotalMultiplier = 10;
    timeouts.writeTotalConstant = 50;
    os().setCommTimeouts(c.current.handle, timeouts);
    if (c.current.handle == kInvalidHandle) {
        c.serialFlag = 0;
        os().messageBox("Couldn't open the specific COM port.", "Message", Icon::Warning);
        c.connectionOpenFlag = 0;
        return 1;
    }
    c.serialFlag = 1;
    c.connectionOpenFlag = 1;
    return 0;
}

int openPortImpl(const char* name) {
    ConnectionRecord& c = connection();
    closeport();
    // closeport closes one transport, and none while the open flag is 0; a
    // handle still flagged would be lost when the flags are cleared.
    releaseCurrentHandle(c);
    c.current.overlappedUsbFlag = 0;
    clearTransportFlags(c);
    c.portName = name;

    // The spooler sees the name exactly as the caller wrote it.
    if (openSpoolerPrinter(c, c.portName.c_str())) {
        startSpoolerDocument(c.current);
        c.connectionOpenFlag = 1;
        return 0;
    }

    normalizePortName(c.portName);
    if (c.portName == "USB") return openUsbBranch(c);
    if (isOneOf(c.portName, kLptNames)) return openLptBranch(c);
    if (isOneOf(c.portName, kComNames)) return openComBranch(c);

    refusePrinterName(c, name);
    return 1;
}

int openPortAsyncImpl(const char* name) {
    ConnectionRecord& c = connection();
    closeport();
    c.current.overlappedUsbFlag = 0;
    c.portName = name;
    normalizePortName(c.portName);
    if (c.portName != "USB") return 1;

    UsbSearchRecord search;
    discoverLastUsbDevice(search);
    // Only a handle opened by this call counts: the stored one may be the
    // closed handle of an earlier connection.
    if (search.found) {
        // The handle about to be stored replaces whatever closeport left.
        releaseCurrentHandle(c);
        c.current.handle = os().createFile(search.devicePath.c_str(), kAccessRead | kAccessWrite,
                                           0, Disposition::OpenExisting,
                                           kFlagOverlapped | kFlagNormalAttributes);
        if (c.current.handle != kInvalidHandle) {
            c.current.overlappedUsbFlag = 1;
            c.current.usbFlag = 1;
            c.connectionOpenFlag = 1;
            return 0;
        }
    }
    c.connectionOpenFlag = 0;
    c.current.usbFlag = 0;
    return 1;
}

int openPortMultImpl(int slot, const char* name) {
    ConnectionRecord& c = connection();
    c.portName = name;
    if (!validSlot(slot)) return 0;

    // A printer that the spooler does not know leaves whatever the slot
    // holds open and working.
    const Handle printer = os().openPrinter(c.portName.c_str());
    if (printer == kNullHandle) return 0;

    // The slot's earlier printer or device is closed only now that its
    // successor has opened.
    releaseSlotHandle(c, slot);
    SlotFields& fields = c.slotFields(slot);
    fields.handle = printer;
    startSpoolerDocument(fields);
    if (slot == 1) c.connectionOpenFlag = 1;
    return 1;
}

}  // namespace
}  // namespace qov

// A null name opens nothing and changes nothing.

int openport(const char* name) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (name == nullptr) return 1;
        return qov::openPortImpl(name);
    });
}

int openport_async(const char* name) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (name == nullptr) return 1;
        return qov::openPortAsyncImpl(name);
    });
}

int openportmult(int slot, char* name) {
    return qov::noThrow<int>(0, [&]() -> int {
        if (name == nullptr) return 0;
        return qov::openPortMultImpl(slot, name);
    });
}
