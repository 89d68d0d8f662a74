#pragma once
// What the printer's status report says, read into printer-state-reasons.
#include <pappl/pappl.h>

#include <string>

namespace qovprint {

// One fault line of the report and the printer-state-reasons keyword it
// stands for. The report lists active faults in this table's order.
struct FaultReason {
    const char* line;     // the report's line, without its CR LF
    const char* keyword;  // printer-state-reasons keyword
    pappl_preason_t reason;
    bool blocksPrinting;  // a job waits while this fault is active
};

const FaultReason* faultReasons(std::size_t* count);

struct PrinterStatus {
    bool answered = false;   // a whole report (up to END) came back
    bool faulted = false;    // the report began with STATUS;FAULT
    pappl_preason_t reasons = PAPPL_PREASON_NONE;
    bool paused = false;     // the report's FAULT;PAUSED line (paused is no PAPPL reason bit)
    bool blocked = false;    // some active fault makes jobs wait
    long labelsPrinted = -1; // LABELS PRINTED, -1 when absent
};

// Reads a report as QOVA_GetStatus returns it. Anything but a whole report
// ("Time Out\r\n", "-1", "", a cut-off text) gives answered = false.
PrinterStatus parseStatusReport(const std::string& text);

}  // namespace qovprint
