// A spooler printer as the current connection: the open by name, the
// "Printing..." document every open starts and every close ends, and the
// warning when a name names no printer.
#include "connections/connection_record.h"
#include "platform/platform.h"

namespace qov {

bool openSpoolerPrinter(ConnectionRecord& c, const char* name) {
    c.current.handle = os().openPrinter(name);
    c.current.spoolerFlag = c.current.handle != kNullHandle ? 1 : 0;
    return c.current.spoolerFlag == 1;
}

// Neither result is checked: the printer handle is what makes the open.
void startSpoolerDocument(SlotFields& slot) {
    os().startDocPrinter(slot.handle, kDocumentName);
    os().startPagePrinter(slot.handle);
    slot.spoolerFlag = 1;
}

void endSpoolerDocument(Handle printer) {
    os().endPagePrinter(printer);
    os().endDocPrinter(printer);
    os().closePrinter(printer);
}

void refusePrinterName(ConnectionRecord& c, const char* name) {
    os().messageBox(name, "Error Message", Icon::Warning);
    os().messageBox("Can't Find Printer Driver, Please check Driver Name", "Error Message",
                    Icon::Warning);
    c.current.spoolerFlag = 0;
    c.connectionOpenFlag = 0;
}

}  // namespace qov
