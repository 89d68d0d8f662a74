// The calling thread's last error and the translation of errno values into
// the Windows and Winsock codes the library tests.
#pragma once

#include <cstdint>

namespace qov::posix {

// Windows codes used by this backend beyond those in platform.h.
enum : std::uint32_t {
    kErrorInvalidFunction = 1,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorNotEnoughMemory = 8,
    kErrorWriteProtect = 19,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorHandleEof = 38,
    kErrorFileExists = 80,
    kErrorDiskFull = 112,
    kErrorInsufficientBuffer = 122,
    kErrorBrokenPipe = 109,
    kErrorNoUnicodeTranslation = 1113,
    kErrorFilenameTooLong = 206,
    kErrorTimeout = 1460,
};

// Winsock codes beyond those in platform.h.
enum : int {
    kWsaInterrupted = 10004,
    kWsaBadFd = 10009,
    kWsaAccess = 10013,
    kWsaFault = 10014,
    kWsaInvalid = 10022,
    kWsaTooManySockets = 10024,
    kWsaNotSocket = 10038,
    kWsaMsgSize = 10040,
    kWsaAfNoSupport = 10047,
    kWsaAddrInUse = 10048,
    kWsaAddrNotAvail = 10049,
    kWsaNetDown = 10050,
    kWsaNetUnreach = 10051,
    kWsaConnAborted = 10053,
    kWsaNoBufs = 10055,
    kWsaIsConn = 10056,
    kWsaNotConn = 10057,
    kWsaShutdown = 10058,
    kWsaHostDown = 10064,
    kWsaHostUnreach = 10065,
    kWsaAlready = 10037,
    kWsaInProgress = 10036,
};

std::uint32_t threadLastError();
void setThreadLastError(std::uint32_t code);
// Sets the thread's last error from an errno value.
void setLastErrorFromErrno(int err);

int threadSocketError();
void setThreadSocketError(int code);

// errno -> Windows error code (file and device calls).
std::uint32_t win32ErrorFromErrno(int err);
// errno -> Winsock error code. EAGAIN/EWOULDBLOCK maps to kWsaWouldBlock;
// callers that know the socket is blocking turn it into kWsaTimedOut.
int wsaErrorFromErrno(int err);

}  // namespace qov::posix
