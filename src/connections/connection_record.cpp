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

void resetConnectionState() { g_connection = ConnectionRecord{}; }

}  // namespace qov
