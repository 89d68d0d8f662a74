// closeport and closeportmult.
#include "connections/connection_record.h"
#include "connections/network_close.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"
#include "reading/receive_state.h"

namespace qov {

namespace {

// Closes the first open transport of the current connection. The open
// flag and the stored handle values stay as they are, so repeated calls walk
// through whatever else is still open.
int closePortImpl() {
    ConnectionRecord& c = connection();
    if (!c.connectionOpenFlag) return 0;
    if (c.current.spoolerFlag) {
        endSpoolerDocument(c.current.handle);
        c.current.spoolerFlag = 0;
        return 1;
    }
    if (c.parallelFlag) {
        os().closeHandle(c.current.handle);
        c.parallelFlag = 0;
        return 1;
    }
    if (c.current.usbFlag) {
        os().closeHandle(c.current.handle);
        c.current.usbFlag = 0;
        return 1;
    }
    if (c.serialFlag) {
        os().closeHandle(c.current.handle);
        closePortEvent();
        closeReadEvent();
        c.serialFlag = 0;
        return 1;
    }
    if (c.networkFlag) {
        // Gives the printer time to take the last data.
        os().sleep(1000);
        closeCurrentSocket();
        return 1;
    }
    return 0;
}

// USB is tested before the spooler here; serial ports and sockets are not
// this export's business.
int closePortMultImpl(int slot) {
    ConnectionRecord& c = connection();
    if (validSlot(slot)) {
        SlotFields& fields = c.slotFields(slot);
        if (fields.usbFlag) {
            os().closeHandle(fields.handle);
            fields.usbFlag = 0;
            return 1;
        }
        if (fields.spoolerFlag) {
            endSpoolerDocument(fields.handle);
            fields.spoolerFlag = 0;
            return 1;
        }
    }
    if (c.parallelFlag) {
        os().closeHandle(c.current.handle);
        c.parallelFlag = 0;
    } else if (c.current.usbFlag) {
        os().closeHandle(c.current.handle);
        c.current.usbFlag = 0;
    }
    return 1;
}

}  // namespace
}  // namespace qov

int closeport(void) { return qov::noThrow(0, qov::closePortImpl); }

int closeportmult(int slot) {
    return qov::noThrow(1, [&] { return qov::closePortMultImpl(slot); });
}
