#pragma once
// PAPPL 1.3 can start one job on two threads at once: the check for the next
// job, made as one job ends and again as another arrives, races (seen in the
// log as the same job's "Starting print job." twice, and under
// AddressSanitizer as one thread freeing the page the other was printing).
// Only the first thread runs qovprint's part of a job; the other finds it
// claimed (or already done) and does nothing. The device such a thread
// closes stays open for the claiming thread until its job ends.
#include <pappl/pappl.h>

namespace qovprint {

// True when this thread is (now) the one that processes the job; false when
// another thread does, or did (and then says so in the job's log).
bool claimJob(pappl_job_t* job);

// True when this thread holds the job's claim.
bool ownsJob(pappl_job_t* job);

// The claiming thread is done with the job: it is never processed again.
void releaseJob(pappl_job_t* job);

// For the device close: true when some job is being processed, and then
// `closeLater` runs once the last claim is released instead.
bool deferWhileClaimed(void (*closeLater)());

}  // namespace qovprint
