#pragma once
// The printers' raw sockets (what port 9100 is to a network printer): a
// connection's bytes become one raw job, sent to the printer unchanged.
// PAPPL's own raw listener waits for ever on a silent sender and spools
// without limit, so qovprint keeps its own, bounded: a sender silent for
// the idle limit, or sending more than the size limit, fails its job with a
// message and nothing of it is printed.
#include <pappl/pappl.h>

#include <optional>
#include <string>

#include "raw_intake.h"

namespace qovprint {

struct RawSocketOptions {
    int basePort = 9100;      // printer n listens on basePort + n - 1; 0: no raw sockets
    bool loopbackOnly = true; // else every address
    std::string spoolDir;     // where documents wait for their job
    RawLimits limits;
};

void startRawSockets(pappl_system_t* system, const RawSocketOptions& options);
void stopRawSockets();

// For a raw job's document: the reason its intake failed, if it did (the job
// then fails with it). Each reason is handed out once.
std::optional<std::string> takeRawRefusal(const char* documentPath);

// The size cap of raw documents, for raw jobs that came through IPP.
std::uint64_t rawSizeLimit();

}  // namespace qovprint
