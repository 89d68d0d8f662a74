// Reads and writes as Windows carries them out, on non-blocking descriptors
// driven by poll and deadlines, without threads.
//
// Every read or write is a request. A synchronous one is driven to its end
// at once. An overlapped one is tried at once; when it cannot finish it
// stays pending (kErrorIoPending), keyed by its overlapped record, and is
// driven further by a wait on its event, by getOverlappedResult or ended by
// cancelIo. On completion its status and count go into the record
// (internal, internalHigh) and its event is set.
//
// Serial reads follow the COMMTIMEOUTS rules: a total time-out counted
// from the start of the request (multiplier * size + constant), an interval
// time-out between bytes once the first byte arrived, and the special forms
// "return at once" (interval MAXDWORD, totals 0) and "return with the first
// byte" (interval and multiplier MAXDWORD, a constant). A read that times out
// succeeds with what it has, possibly nothing. Reads from other devices
// complete with whatever the first readiness brings; a synchronous USB read
// completes with nothing after kUsbSyncReadMs, and a USB device at end of
// file or hung up counts as silent (its request sleeps out its time).
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_objects.h"

namespace qov::posix {

// How long a USB printer read on a handle without overlapped I/O waits for
// data before it completes with what it has (the USB wait of the readers).
constexpr std::int64_t kUsbSyncReadMs = 5000;

// The status kept in Overlapped::internal while a request is pending.
constexpr std::uintptr_t kStatusPending = 0x103;

struct IoRequest {
    Handle file = kNullHandle;
    Handle event = kNullHandle;
    Overlapped* ov = nullptr;  // nullptr for a synchronous request
    bool write = false;
    unsigned char* readBuffer = nullptr;       // the caller's buffer (reads)
    std::vector<unsigned char> writeData;      // a copy of the bytes (writes)
    std::uint32_t size = 0;
    std::uint32_t done = 0;
    std::uint64_t offset = 0;   // position in a regular file with a record
    bool useOffset = false;
    std::int64_t startMs = 0;
    std::int64_t lastByteMs = 0;
    bool complete = false;
    std::uint32_t error = 0;    // Windows code when complete
};

// Starts a request and tries it once. Returns true when it completed now.
// The request is not in the pending table yet.
IoRequest makeRequest(Handle file, FileObject& f, bool write, void* data, std::uint32_t size,
                      Overlapped* ov);

// Drives a request until it completes or `deadlineMs` (monotonic, -1 for no
// limit) passes. Returns true when it completed.
bool driveRequest(IoRequest& r, FileObject& f, std::int64_t deadlineMs);

// The pending overlapped requests, keyed by their records.
std::map<Overlapped*, IoRequest>& pendingRequests();

// Records a completed overlapped request in its record and sets its event.
void publishCompletion(IoRequest& r);

// Drives the pending request of `ov` to completion or the deadline; on
// completion it leaves the pending table. Returns true when it completed
// (or was not pending).
bool drivePending(Overlapped* ov, std::int64_t deadlineMs);

// Forgets the pending requests of a file without touching their records,
// which may be gone once the file closes; their events are set.
void dropRequestsOf(Handle file);

}  // namespace qov::posix
