#include "platform/posix/posix_errors.h"

#include <cerrno>

#include "platform/platform.h"

namespace qov::posix {

namespace {
thread_local std::uint32_t t_lastError = 0;
thread_local int t_socketError = 0;
}  // namespace

std::uint32_t threadLastError() { return t_lastError; }
void setThreadLastError(std::uint32_t code) { t_lastError = code; }
void setLastErrorFromErrno(int err) { t_lastError = win32ErrorFromErrno(err); }

int threadSocketError() { return t_socketError; }
void setThreadSocketError(int code) { t_socketError = code; }

std::uint32_t win32ErrorFromErrno(int err) {
    switch (err) {
        case 0: return kErrorSuccess;
        case ENOENT:
        case ENXIO:
        case ENODEV: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        // A port held by another process answers "access denied" on Windows.
        case EACCES:
        case EPERM:
        case EISDIR:
        case EBUSY: return kErrorAccessDenied;
        case EBADF: return kErrorInvalidHandle;
        case EINVAL: return kErrorInvalidParameter;
        case EMFILE:
        case ENFILE: return kErrorTooManyOpenFiles;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EROFS: return kErrorWriteProtect;
        case EEXIST: return kErrorFileExists;
        case ENOSPC: return kErrorDiskFull;
        case EPIPE: return kErrorBrokenPipe;
        case ENAMETOOLONG: return kErrorFilenameTooLong;
        case ETIMEDOUT: return kErrorTimeout;
        case ECANCELED: return kErrorOperationAborted;
        default: return kErrorGenFailure;
    }
}

int wsaErrorFromErrno(int err) {
    switch (err) {
        case 0: return 0;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return kWsaWouldBlock;
        case EINPROGRESS: return kWsaWouldBlock;  // a non-blocking connect under way
        case EALREADY: return kWsaAlready;
        case EINTR: return kWsaInterrupted;
        case EBADF:
        case ENOTSOCK: return kWsaNotSocket;
        case EACCES:
        case EPERM: return kWsaAccess;
        case EFAULT: return kWsaFault;
        case EINVAL: return kWsaInvalid;
        case EMFILE:
        case ENFILE: return kWsaTooManySockets;
        case EMSGSIZE: return kWsaMsgSize;
        case EAFNOSUPPORT: return kWsaAfNoSupport;
        case EADDRINUSE: return kWsaAddrInUse;
        case EADDRNOTAVAIL: return kWsaAddrNotAvail;
        case ENETDOWN: return kWsaNetDown;
        case ENETUNREACH: return kWsaNetUnreach;
        case ECONNABORTED: return kWsaConnAborted;
        case ECONNRESET:
        case EPIPE: return kWsaConnReset;
        case ENOBUFS:
        case ENOMEM: return kWsaNoBufs;
        case EISCONN: return kWsaIsConn;
        case ENOTCONN: return kWsaNotConn;
        case ESHUTDOWN: return kWsaShutdown;
        case ETIMEDOUT: return kWsaTimedOut;
        case ECONNREFUSED: return kWsaConnRefused;
        case EHOSTDOWN: return kWsaHostDown;
        case EHOSTUNREACH: return kWsaHostUnreach;
        default: return kWsaNetDown;
    }
}

}  // namespace qov::posix
