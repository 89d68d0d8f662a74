// Between the names an application knows and the printers the spooler
// knows: port of a printer, printer of a port. Each lookup closes the
// current connection and opens the printer it finds into it.
#include <set>
#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "connections/held_handles.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"

namespace qov {

namespace {

// Texts handed out for the life of the process: one copy per distinct
// text, so repeated calls do not grow memory and every pointer stays valid.
const char* keepForever(const std::string& text) {
    static std::set<std::string> kept;
    return kept.insert(text).first->c_str();
}

const char* driverPortName(const char* name) {
    static const char kCannotFind[] = "cannot find printer";
    if (!name) return kCannotFind;
    connection().portName = name;
    // The open stores its handle over the current one, success or not.
    releaseCurrentHandle(connection());
    if (!openSpoolerPrinter(connection(), connection().portName.c_str())) return kCannotFind;
    startSpoolerDocument(connection().current);
    connection().connectionOpenFlag = 1;
    std::string port;
    if (!os().printerPortName(connection().current.handle, port)) port.clear();
    return keepForever(port);
}

// Closes the current connection, clears its transport flags and lists the
// local printers. False when the spooler cannot list them.
bool startOver(const char* portName, std::vector<PrinterEntry>& printers) {
    closeport();
    auto& c = connection();
    releaseCurrentHandle(c);
    clearTransportFlags(c);
    c.portName = portName;
    return os().enumPrinters(printers);
}

// The first printer of the spooler's order on exactly this port.
const PrinterEntry* printerOnPort(const std::vector<PrinterEntry>& printers,
                                  const std::string& port) {
    for (const auto& p : printers) {
        if (p.portName == port) return &p;
    }
    return nullptr;
}

int comparePort(const char* portName) {
    const std::string port = portName ? portName : "";
    std::vector<PrinterEntry> printers;
    const PrinterEntry* match = nullptr;
    if (startOver(port.c_str(), printers)) match = printerOnPort(printers, port);
    if (match) {
        if (!openSpoolerPrinter(connection(), match->printerName.c_str())) return -1;
        startSpoolerDocument(connection().current);
        connection().connectionOpenFlag = 1;
        return 1;
    }
    refusePrinterName(connection(), port.c_str());
    return 0;
}

// A spooler printer name as UTF-8: an ANSI name through UTF-16, a name that
// is UTF-8 already byte for byte.
std::string printerNameAsUtf8(const std::string& ansi) {
    if (os().spoolerCodePage() == kCodePageUtf8) return ansi;
    const int wideLength = os().multiByteToWide(kCodePageAnsi, ansi.c_str(), -1, nullptr, 0);
    if (wideLength <= 0) return ansi;
    std::vector<char16_t> wide(static_cast<std::size_t>(wideLength));
    if (os().multiByteToWide(kCodePageAnsi, ansi.c_str(), -1, wide.data(), wideLength) <= 0) {
        return ansi;
    }
    const int utf8Length = os().wideToMultiByte(kCodePageUtf8, wide.data(), -1, nullptr, 0);
    if (utf8Length <= 0) return ansi;
    std::vector<char> utf8(static_cast<std::size_t>(utf8Length));
    if (os().wideToMultiByte(kCodePageUtf8, wide.data(), -1, utf8.data(), utf8Length) <= 0) {
        return ansi;
    }
    return std::string(utf8.data());  // up to the terminator the conversion wrote
}

const char* returnDriver(const char* portName) {
    static const char kFailed[] = "-1";
    const std::string port = portName ? portName : "";
    std::vector<PrinterEntry> printers;
    if (!startOver(port.c_str(), printers)) return kFailed;
    const PrinterEntry* match = printerOnPort(printers, port);
    if (!match) return kFailed;
    // Opened only: no document, and the connection stays closed for sends.
    if (!openSpoolerPrinter(connection(), match->printerName.c_str())) return kFailed;
    return keepForever(printerNameAsUtf8(match->printerName));
}

}  // namespace
}  // namespace qov

const char* driver_portname(const char* printerName) {
    return qov::noThrow<const char*>("cannot find printer",
                                     [&] { return qov::driverPortName(printerName); });
}

int compareport(char* portName) {
    return qov::noThrow<int>(0, [&] { return qov::comparePort(portName); });
}

char* returndriver(char* portName) {
    return qov::noThrow<char*>(const_cast<char*>("-1"),
                               [&] { return const_cast<char*>(qov::returnDriver(portName)); });
}
