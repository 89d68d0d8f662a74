#pragma once
// PWG and Apple raster documents are read by PAPPL from the client's
// connection while they print. A chunked stream that ends in the middle of a
// page leaves that read waiting for a next chunk that never comes, for a
// minute each time, while the client waits for the answer. The watch ends
// such a wait: when a streamed job's lines stop for the idle limit, the
// connection its thread waits on is shut for reading; the read then fails,
// the page is cut short and the job fails with a message (the client still
// gets its answer).
#include <pappl/pappl.h>

#include <chrono>

namespace qovprint {

// serverPort: the IPP port; only connections to it (or the local socket) are shut.
void startStreamWatch(std::chrono::milliseconds idleLimit, int serverPort);
void stopStreamWatch();

// On the thread that reads the job's document (the client's, for streamed
// formats), at the job's start; then at every line; and at its end.
void watchStream(pappl_job_t* job);
void streamProgress(pappl_job_t* job);
void unwatchStream(pappl_job_t* job);

// The descriptor a thread of this process is blocked reading (poll on one
// descriptor, read, recvfrom), -1 when it is not blocked so. Linux's
// /proc/self/task/TID/syscall tells.
int blockedDescriptor(long threadId);

}  // namespace qovprint
