// The objects behind the backend's handles: open files and devices, and
// events. Handles are table keys, never raw descriptors, so a stale or
// zero handle from the library reaches nothing (closing handle 0 must not
// close standard input).
//
// Like the library itself, the tables are meant for one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/platform.h"

namespace qov::posix {

enum class DeviceKind { File, Serial, Parallel, Usb };

struct FileObject {
    int fd = -1;
    DeviceKind kind = DeviceKind::File;
    bool overlapped = false;  // opened with kFlagOverlapped
    bool regular = false;     // a regular file (reads and writes never wait)
    bool tty = false;         // the descriptor is a terminal (termios applies)
    std::uint32_t access = 0;
    // Serial time-outs; all zero (no time-outs) until setCommTimeouts.
    CommTimeouts timeouts{};
    // termios has no one-and-a-half stop bits: it is set as two and
    // remembered here so getCommState reports what was asked for.
    bool oneAndHalfStopBits = false;
    std::string path;
    // Opened without sharing: the descriptor holds an advisory lock (and,
    // on a terminal, exclusive mode), released when it closes.
    bool exclusive = false;
    // The application's own descriptor (adoptCallerHandle): never closed
    // here; its file status flags are put back when it is released.
    bool borrowed = false;
    int savedStatusFlags = 0;
};

struct EventObject {
    bool manualReset = false;
    bool signaled = false;
};

// A fresh handle value: never 0 or -1, never reused while the process runs.
Handle allocateHandle();

std::map<Handle, FileObject>& files();
std::map<Handle, EventObject>& events();

FileObject* findFile(Handle h);
EventObject* findEvent(Handle h);

// Sets an event (completion of a request bound to it); unknown handles are
// ignored, the event may have been closed while its request was pending.
void signalEvent(Handle h);

// Milliseconds of the monotonic clock.
std::int64_t monotonicMs();

}  // namespace qov::posix
