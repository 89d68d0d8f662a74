#pragma once
// The printers' states from their status reports: a poller asks every
// printer that can answer (network, USB, serial) about twice a second while
// the library is free, and the system's timer shows the answers as
// printer-state-reasons. A job that finds its printer faulted waits for it.
#include <pappl/pappl.h>

#include "status_map.h"

namespace qovprint {

void startStatusPolling(pappl_system_t* system);
void stopStatusPolling();

// Shows a status on a printer (from the system's thread or a job's).
void applyStatus(pappl_printer_t* printer, const PrinterStatus& status);

// Called by a job with the library held for its printer: while the last
// known status of the printer stops printing, asks the printer again every
// half second, keeping the reasons (and media-needed) up to date. False when
// the job was cancelled or the wait ran out (the job then fails).
bool waitUntilReady(pappl_job_t* job);

// The driver's status callback: the poller keeps the reasons current.
bool statusCallback(pappl_printer_t* printer);

// Asks the current connection for its status report (library held).
PrinterStatus queryStatus();

}  // namespace qovprint
