#include "connections/connection_record.h"

namespace qov {

namespace {
ConnectionRecord g_connection;
}

ConnectionRecord& connection() { return g_connection; }

void closePortEvent() {
    Handle& event = g_connection.portOverlapped.event;
    if (event != kNullHandle) {
        os().closeHandle(event);
        event = kNullHandle;
    }
}

void clearTransportFlags(ConnectionRecord& c) {
    c.current.spoolerFlag = 0;
    c.parallelFlag = 0;
    c.current.usbFlag = 0;
    c.serialFlag = 0;
    c.connectionOpenFlag = 0;
}

void resetConnectionState() { g_connection = ConnectionRecord{}; }

}  // namespace qov
