// The "Printing..." document of a spooler printer: started by every open
// that reaches the spooler, ended by the closes.
#include "connections/connection_record.h"
#include "platform/platform.h"

namespace qov {

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

}  // namespace qov
