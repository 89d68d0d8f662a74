#include "connections/connection_record.h"

namespace qov {

namespace {
ConnectionRecord g_connection;
}

ConnectionRecord& connection() { return g_connection; }

void resetConnectionState() { g_connection = ConnectionRecord{}; }

}  // namespace qov
