// openport_usbid, openport_usbid_async and openusbportmult: opening a USB
// printer into a slot, by a text in its device path or by its position.
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

Handle openUsbPath(const std::string& path, bool overlapped) {
    // No device matched: there is nothing to ask the OS for.
    if (path.empty()) return kInvalidHandle;
    if (overlapped) {
        return os().createFile(path.c_str(), kAccessRead | kAccessWrite, 0,
                               Disposition::OpenExisting, kFlagOverlapped | kFlagNormalAttributes);
    }
    return os().createFile(path.c_str(), kAccessRead | kAccessWrite, 0, Disposition::OpenExisting,
                           0);
}

int openUsbIdImpl(int slot, const char* text, bool overlapped) {
    ConnectionRecord& c = connection();
    closeport();
    // A USB handle that closeport did not reach (the open flag was 0) would
    // be lost with its flag.
    if (c.current.usbFlag) os().closeHandle(c.current.handle);
    c.current.usbFlag = 0;
    c.connectionOpenFlag = 0;
    // Kept as the last name given; the USB open itself does not use it.
    c.portName = text;
    normalizePortName(c.portName);

    UsbSearchRecord search;
    discoverUsbById(search, slot, text);
    if (!search.found || !validSlot(slot)) {
        c.current.usbFlag = 0;
        c.connectionOpenFlag = 0;
        return 1;
    }

    const Handle h = openUsbPath(search.slotPaths[slot], overlapped);
    if (h == kInvalidHandle) {
        // A device that the slot already holds (opened without sharing, so
        // its reopen fails) stays open and reachable through the slot.
        c.connectionOpenFlag = 0;
        return 1;
    }
    releaseSlotHandle(c, slot);
    SlotFields& fields = c.slotFields(slot);
    fields.handle = h;
    fields.usbFlag = 1;
    fields.overlappedUsbFlag = overlapped ? 1 : 0;
    // Only slot 1 is the current connection; the USB flag was cleared above
    // for every other slot.
    c.connectionOpenFlag = c.current.usbFlag;
    return 0;
}

int openUsbPortMultImpl(int slot) {
    ConnectionRecord& c = connection();
    if (slot <= 0) {
        os().messageBox("Can't using USB_Mult port", "Error Message", Icon::Warning);
        // The open document is finished and its printer closed before the
        // flag that leads to them is dropped.
        if (c.current.spoolerFlag != 0) endSpoolerDocument(c.current.handle);
        c.current.spoolerFlag = 0;
        c.connectionOpenFlag = 0;
        return 0;
    }

    UsbSearchRecord search;
    discoverUsbNumbered(search);
    if (!search.found) {
        os().messageBox("Can't find printer by USB.", "Error Message", Icon::Warning);
        c.connectionOpenFlag = 0;
        return 0;
    }

    // Slots above 5 have no device path, like a slot beyond the devices
    // present.
    const Handle h = validSlot(slot) ? openUsbPath(search.slotPaths[slot], false) : kInvalidHandle;
    if (h == kInvalidHandle) {
        os().messageBox("Couldn't create port by USB.", "Error Message", Icon::Warning);
        // A device that the slot already holds stays open and reachable.
        c.connectionOpenFlag = 0;
        return 0;
    }
    releaseSlotHandle(c, slot);
    SlotFields& fields = c.slotFields(slot);
    fields.handle = h;
    fields.usbFlag = 1;
    c.connectionOpenFlag = c.current.usbFlag;
    return 1;
}

}  // namespace
}  // namespace qov

// Slots outside 1..5 and a null text open nothing: result 1.

int openport_usbid(int slot, const char* id) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (id == nullptr) return 1;
        return qov::openUsbIdImpl(slot, id, false);
    });
}

int openport_usbid_async(int slot, const char* id) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (id == nullptr) return 1;
        return qov::openUsbIdImpl(slot, id, true);
    });
}

int openusbportmult(int slot) {
    return qov::noThrow(0, [&] { return qov::openUsbPortMultImpl(slot); });
}
