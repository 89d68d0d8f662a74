#include "reading/receive_state.h"

#include <cstring>
#include <memory>

namespace qov {

namespace {
ReceiveState g_receive;  // zero at load
}

ReceiveState& receiveState() { return g_receive; }

void clearReceiveBufferAndUsbCount() {
    std::memset(g_receive.receiveBuffer, 0, sizeof g_receive.receiveBuffer);
    g_receive.usbCount = 0;
}

void closeReadEvent() {
    if (g_receive.readOverlapped.event != kNullHandle) {
        os().closeHandle(g_receive.readOverlapped.event);
        g_receive.readOverlapped.event = kNullHandle;
    }
}

bool renewReadEvent() {
    closeReadEvent();
    g_receive.readOverlapped = Overlapped{};
    g_receive.readOverlapped.event = os().createEvent(false, false);
    return g_receive.readOverlapped.event != kNullHandle;
}

void resetReceiveState() {
    // Copied from one zero state made once on the heap: the state is far
    // larger than a comfortable stack frame, and a fresh block per reset
    // costs page faults that dominate short test and fuzz cases.
    static const std::unique_ptr<const ReceiveState> zero = std::make_unique<ReceiveState>();
    g_receive = *zero;
}

}  // namespace qov
