// driver_status: whether the spooler's printer of a name is online. The
// lookups that open a printer and change the connection record
// (driver_portname, compareport, returndriver) are in
// connections/spooler_names.cpp.
#include <cstddef>
#include <cstdio>

#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"

namespace qov {

namespace {

constexpr std::size_t kQueryBufferSize = 128;

// Formats the management query into a 128-byte buffer. A name that does
// not fit is refused: cut short it would be a different LIKE pattern.
bool formatOfflineQuery(const char* name, char (&query)[kQueryBufferSize]) {
    const int n = std::snprintf(query, sizeof query,
                                "SELECT * from Win32_Printer WHERE Name LIKE '%s'", name);
    return n >= 0 && static_cast<std::size_t>(n) < sizeof query;
}

int driverStatus(const char* name) {
    if (!name) return -1;
    char query[kQueryBufferSize];
    if (!formatOfflineQuery(name, query)) return -1;
    bool offline = false;
    switch (os().queryPrinterOffline(query, &offline)) {
    case ManagementResult::Found: return offline ? 0 : 1;
    case ManagementResult::NotFound: return 0;
    case ManagementResult::Failed:
    default: return -1;
    }
}

}  // namespace
}  // namespace qov

int driver_status(const char* printerName) {
    return qov::noThrow<int>(-1, [&] { return qov::driverStatus(printerName); });
}
