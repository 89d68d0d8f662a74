// Files and devices: open, close, read, write, overlapped completion,
// events and waits.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <cerrno>

#include "platform/posix/posix_device_names.h"
#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_io_request.h"
#include "platform/posix/posix_objects.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_serial.h"
#include "platform/posix/posix_time.h"

namespace qov::posix {

namespace {

constexpr std::uint32_t kErrorAlreadyExists = 183;

// A port opened without sharing is this descriptor's alone: an advisory
// lock keeps out every other open of the library, in this process (another
// descriptor) or another; a terminal is put in exclusive mode as well, which
// keeps out other programs that do not run as root. False when another
// open holds the device.
bool claimExclusive(int fd, bool tty) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return false;
    if (tty) ::ioctl(fd, TIOCEXCL);
    return true;
}

// Closes a descriptor the backend opened; a terminal leaves exclusive mode
// first, which would outlive this descriptor while the device stays open
// elsewhere.
void closeOwned(const FileObject& f) {
    if (f.exclusive && f.tty) ::ioctl(f.fd, TIOCNXCL);
    ::close(f.fd);
}

int openFlags(std::uint32_t access) {
    bool r = access & kAccessRead, w = access & kAccessWrite;
    if (r && w) return O_RDWR;
    if (w) return O_WRONLY;
    return O_RDONLY;
}

void consumeIfAutoReset(Handle event) {
    if (EventObject* e = findEvent(event))
        if (!e->manualReset) e->signaled = false;
}

// One read or write, synchronous or overlapped (see posix_io_request.h).
bool startIo(Handle h, bool write, void* data, std::uint32_t size, std::uint32_t* count,
             Overlapped* ov) {
    if (count) *count = 0;
    FileObject* f = findFile(h);
    if (!f) {
        setThreadLastError(kErrorInvalidHandle);
        return false;
    }
    if (!(f->access & (write ? kAccessWrite : kAccessRead))) {
        setThreadLastError(kErrorAccessDenied);
        return false;
    }
    if (f->overlapped && !ov) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    if (ov && ov->event != kNullHandle) {
        if (EventObject* e = findEvent(ov->event)) e->signaled = false;
    }
    IoRequest r = makeRequest(h, *f, write, data, size, ov);
    if (!f->overlapped) {
        // A record on a synchronous handle only receives the result.
        driveRequest(r, *f, -1);
        if (ov) publishCompletion(r);
        if (count) *count = r.done;
        if (r.error) {
            setThreadLastError(r.error);
            return false;
        }
        return true;
    }
    ov->internal = kStatusPending;
    ov->internalHigh = 0;
    pendingRequests().erase(ov);  // a record reused before its request ended
    if (driveRequest(r, *f, monotonicMs())) {
        publishCompletion(r);
        if (count) *count = r.done;
        if (r.error) {
            setThreadLastError(r.error);
            return false;
        }
        return true;
    }
    pendingRequests().emplace(ov, std::move(r));
    setThreadLastError(kErrorIoPending);
    return false;
}

}  // namespace

Handle PosixPlatform::createFile(const char* path, std::uint32_t access, std::uint32_t share,
                                 Disposition disposition, std::uint32_t flags) {
    if (!path) {
        setThreadLastError(kErrorInvalidParameter);
        return kInvalidHandle;
    }
    ResolvedName name;
    std::uint32_t error = 0;
    if (!resolveDeviceName(path, name, &error)) {
        setThreadLastError(error);
        return kInvalidHandle;
    }
    int oflags = openFlags(access) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    bool existed = false;
    struct stat st {};
    if (::stat(name.path.c_str(), &st) == 0) existed = true;
    if (name.device) {
        // Ports are never created; a file standing in for one is a stream
        // that every open continues.
        if (existed && S_ISREG(st.st_mode)) oflags |= O_APPEND;
    } else if (disposition == Disposition::CreateAlways) {
        oflags |= O_CREAT | O_TRUNC;
    } else if (disposition == Disposition::OpenAlways) {
        oflags |= O_CREAT;
    }
    int fd;
    do {
        fd = ::open(name.path.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setLastErrorFromErrno(errno);
        return kInvalidHandle;
    }
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        setThreadLastError(kErrorAccessDenied);
        return kInvalidHandle;
    }
    const bool tty = ::isatty(fd) == 1;
    // Ports (and the files standing in for them) honour "no sharing"; plain
    // files are shared as POSIX files are.
    const bool exclusive = name.device && share == 0;
    if (exclusive && !claimExclusive(fd, tty)) {
        ::close(fd);
        setThreadLastError(name.kind == DeviceKind::Serial
                               ? static_cast<std::uint32_t>(kErrorAccessDenied)
                               : static_cast<std::uint32_t>(kErrorSharingViolation));
        return kInvalidHandle;
    }
    FileObject f;
    f.fd = fd;
    f.exclusive = exclusive;
    f.kind = name.kind;
    f.overlapped = (flags & kFlagOverlapped) != 0;
    f.regular = S_ISREG(st.st_mode);
    f.tty = tty;
    f.access = access;
    f.path = name.path;
    if (f.kind == DeviceKind::Serial && f.tty) makeRawKeepingLine(fd);
    Handle h = allocateHandle();
    files().emplace(h, std::move(f));
    bool creating = disposition != Disposition::OpenExisting && !name.device;
    setThreadLastError(creating && existed ? kErrorAlreadyExists : kErrorSuccess);
    return h;
}

bool PosixPlatform::closeHandle(Handle h) {
    if (FileObject* f = findFile(h)) {
        if (f->borrowed) {
            releaseCallerHandle(h);
            return true;
        }
        dropRequestsOf(h);
        closeOwned(*f);
        files().erase(h);
        return true;
    }
    if (findEvent(h)) {
        events().erase(h);
        return true;
    }
    setThreadLastError(kErrorInvalidHandle);
    return false;
}

bool PosixPlatform::writeFile(Handle h, const void* data, std::uint32_t size,
                              std::uint32_t* written, Overlapped* ov) {
    if (!data && size > 0) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    return startIo(h, true, const_cast<void*>(data), size, written, ov);
}

bool PosixPlatform::readFile(Handle h, void* data, std::uint32_t size, std::uint32_t* read,
                             Overlapped* ov) {
    if (!data && size > 0) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    return startIo(h, false, data, size, read, ov);
}

bool PosixPlatform::getOverlappedResult(Handle /*h*/, Overlapped* ov, std::uint32_t* transferred,
                                        bool wait) {
    if (!ov) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    auto it = pendingRequests().find(ov);
    if (it != pendingRequests().end()) {
        Handle event = it->second.event;
        if (!drivePending(ov, wait ? -1 : monotonicMs())) {
            setThreadLastError(kErrorIoIncomplete);
            return false;
        }
        // Waiting for the request waited on its event.
        if (wait) consumeIfAutoReset(event);
    }
    if (transferred) *transferred = static_cast<std::uint32_t>(ov->internalHigh);
    std::uintptr_t status = ov->internal;
    if (status == kStatusPending) {
        // Its file was closed while it was pending.
        setThreadLastError(kErrorOperationAborted);
        return false;
    }
    if (status != 0) {
        setThreadLastError(static_cast<std::uint32_t>(status));
        return false;
    }
    return true;
}

bool PosixPlatform::cancelIo(Handle h) {
    if (!findFile(h)) {
        setThreadLastError(kErrorInvalidHandle);
        return false;
    }
    auto& table = pendingRequests();
    for (auto it = table.begin(); it != table.end();) {
        if (it->second.file == h) {
            IoRequest r = std::move(it->second);
            it = table.erase(it);
            r.complete = true;
            r.error = kErrorOperationAborted;
            publishCompletion(r);
        } else {
            ++it;
        }
    }
    return true;
}

bool PosixPlatform::fileSize(Handle h, std::uint64_t* size) {
    FileObject* f = findFile(h);
    struct stat st {};
    if (!f || ::fstat(f->fd, &st) != 0) {
        setThreadLastError(kErrorInvalidHandle);
        return false;
    }
    if (size) *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

Handle PosixPlatform::adoptCallerHandle(std::intptr_t value) {
    // 0 is what a null pointer gives: never standard input.
    const int flags = value > 0 && value <= INT_MAX ? ::fcntl(static_cast<int>(value), F_GETFL) : -1;
    struct stat st {};
    if (flags < 0 || ::fstat(static_cast<int>(value), &st) != 0 || S_ISDIR(st.st_mode)) {
        setThreadLastError(kErrorInvalidHandle);
        return kInvalidHandle;
    }
    const int fd = static_cast<int>(value);
    // Requests are driven by poll: the descriptor must not block while it is ours.
    if (!(flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    FileObject f;
    f.fd = fd;
    f.kind = DeviceKind::Usb;
    f.overlapped = true;
    f.regular = S_ISREG(st.st_mode);
    f.tty = ::isatty(fd) == 1;
    const int mode = flags & O_ACCMODE;
    f.access = mode == O_RDWR ? (kAccessRead | kAccessWrite)
                              : mode == O_WRONLY ? kAccessWrite : kAccessRead;
    f.borrowed = true;
    f.savedStatusFlags = flags;
    Handle h = allocateHandle();
    files().emplace(h, std::move(f));
    return h;
}

void PosixPlatform::releaseCallerHandle(Handle h) {
    FileObject* f = findFile(h);
    if (!f || !f->borrowed) return;
    dropRequestsOf(h);
    ::fcntl(f->fd, F_SETFL, f->savedStatusFlags);
    files().erase(h);
}

Handle PosixPlatform::createEvent(bool manualReset, bool initialState) {
    Handle h = allocateHandle();
    events().emplace(h, EventObject{manualReset, initialState});
    return h;
}

bool PosixPlatform::resetEvent(Handle event) {
    EventObject* e = findEvent(event);
    if (!e) {
        setThreadLastError(kErrorInvalidHandle);
        return false;
    }
    e->signaled = false;
    return true;
}

WaitResult PosixPlatform::waitForSingleObject(Handle event, std::uint32_t ms) {
    EventObject* e = findEvent(event);
    if (!e) {
        setThreadLastError(kErrorInvalidHandle);
        return WaitResult::Failed;
    }
    if (e->signaled) {
        consumeIfAutoReset(event);
        return WaitResult::Signaled;
    }
    Overlapped* bound = nullptr;
    for (auto& [ov, r] : pendingRequests()) {
        if (r.event == event) {
            bound = ov;
            break;
        }
    }
    if (!bound) {
        // Nothing in this single-threaded process can set it any more: a
        // finite wait runs out, an infinite one would never end.
        if (ms == kInfinite) {
            setThreadLastError(kErrorInvalidParameter);
            return WaitResult::Failed;
        }
        sleepMs(ms);
        return WaitResult::Timeout;
    }
    std::int64_t deadline = ms == kInfinite ? -1 : monotonicMs() + ms;
    drivePending(bound, deadline);
    e = findEvent(event);
    if (e && e->signaled) {
        consumeIfAutoReset(event);
        return WaitResult::Signaled;
    }
    return WaitResult::Timeout;
}

}  // namespace qov::posix
