#include "connections/held_handles.h"

#include "platform/platform.h"
#include "reading/receive_state.h"

namespace qov {

void releaseCurrentHandle(ConnectionRecord& c) {
    if (c.current.spoolerFlag) {
        endSpoolerDocument(c.current.handle);
    } else if (c.parallelFlag || c.current.usbFlag) {
        os().closeHandle(c.current.handle);
    } else if (c.serialFlag) {
        os().closeHandle(c.current.handle);
        closePortEvent();
        closeReadEvent();
    }
    c.current.spoolerFlag = 0;
    c.parallelFlag = 0;
    c.current.usbFlag = 0;
    c.serialFlag = 0;
}

void releaseSlotHandle(ConnectionRecord& c, int slot) {
    if (slot == 1) {
        releaseCurrentHandle(c);
        return;
    }
    if (!validSlot(slot)) return;
    SlotFields& fields = c.slots[slot];
    if (fields.usbFlag) {
        os().closeHandle(fields.handle);
    } else if (fields.spoolerFlag) {
        endSpoolerDocument(fields.handle);
    }
    fields.usbFlag = 0;
    fields.spoolerFlag = 0;
}

}  // namespace qov
