// Files and devices: CreateFileA, ReadFile/WriteFile with the library's
// overlapped record, GetOverlappedResult, CancelIo, GetFileSize, events and
// WaitForSingleObject.
#include <cstddef>

#include "platform/win32/win32_platform.h"

namespace qov::win32 {

// The library's record is passed to the system as an OVERLAPPED.
static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED), "Overlapped must match OVERLAPPED");
static_assert(offsetof(Overlapped, internal) == offsetof(OVERLAPPED, Internal), "Internal");
static_assert(offsetof(Overlapped, internalHigh) == offsetof(OVERLAPPED, InternalHigh),
              "InternalHigh");
static_assert(offsetof(Overlapped, offset) == offsetof(OVERLAPPED, Offset), "Offset");
static_assert(offsetof(Overlapped, offsetHigh) == offsetof(OVERLAPPED, OffsetHigh), "OffsetHigh");
static_assert(offsetof(Overlapped, event) == offsetof(OVERLAPPED, hEvent), "hEvent");
static_assert(sizeof(Handle) == sizeof(HANDLE), "handles are pointer-wide");
// INVALID_HANDLE_VALUE is (HANDLE)-1, the library's kInvalidHandle.

namespace {

DWORD disposition(Disposition d) {
    switch (d) {
        case Disposition::CreateAlways: return CREATE_ALWAYS;
        case Disposition::OpenAlways: return OPEN_ALWAYS;
        case Disposition::OpenExisting: break;
    }
    return OPEN_EXISTING;
}

}  // namespace

Handle Win32Platform::createFile(const char* path, std::uint32_t access, std::uint32_t share,
                                 Disposition d, std::uint32_t flags) {
    DWORD desired = 0;
    if (access & kAccessRead) desired |= GENERIC_READ;
    if (access & kAccessWrite) desired |= GENERIC_WRITE;
    DWORD shareMode = 0;
    if (share & kShareRead) shareMode |= FILE_SHARE_READ;
    if (share & kShareWrite) shareMode |= FILE_SHARE_WRITE;
    DWORD attributes = 0;
    if (flags & kFlagOverlapped) attributes |= FILE_FLAG_OVERLAPPED;
    if (flags & kFlagNormalAttributes) attributes |= FILE_ATTRIBUTE_NORMAL;
    return fromWin(
        CreateFileA(path, desired, shareMode, nullptr, disposition(d), attributes, nullptr));
}

bool Win32Platform::closeHandle(Handle h) { return CloseHandle(toWin(h)) != FALSE; }

// The count goes through a DWORD of our own. With an overlapped record the
// system is given no count pointer, as it asks: a pending request is
// collected with GetOverlappedResult.
bool Win32Platform::writeFile(Handle h, const void* data, std::uint32_t size,
                              std::uint32_t* written, Overlapped* ov) {
    DWORD count = 0;
    const BOOL ok = WriteFile(toWin(h), data, size, ov ? nullptr : &count, toWin(ov));
    if (ok && ov) count = static_cast<DWORD>(ov->internalHigh);
    if (written) *written = ok ? count : 0;
    return ok != FALSE;
}

bool Win32Platform::readFile(Handle h, void* data, std::uint32_t size, std::uint32_t* read,
                             Overlapped* ov) {
    DWORD count = 0;
    const BOOL ok = ReadFile(toWin(h), data, size, ov ? nullptr : &count, toWin(ov));
    if (ok && ov) count = static_cast<DWORD>(ov->internalHigh);
    if (read) *read = ok ? count : 0;
    return ok != FALSE;
}

bool Win32Platform::getOverlappedResult(Handle h, Overlapped* ov, std::uint32_t* transferred,
                                        bool wait) {
    DWORD count = 0;
    const BOOL ok = GetOverlappedResult(toWin(h), toWin(ov), &count, wait ? TRUE : FALSE);
    if (transferred) *transferred = count;
    return ok != FALSE;
}

bool Win32Platform::cancelIo(Handle h) { return CancelIo(toWin(h)) != FALSE; }

bool Win32Platform::fileSize(Handle h, std::uint64_t* size) {
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD low = GetFileSize(toWin(h), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return false;
    if (size) *size = (static_cast<std::uint64_t>(high) << 32) | low;
    return true;
}

Handle Win32Platform::createEvent(bool manualReset, bool initialState) {
    HANDLE event = CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                                nullptr);
    return event ? fromWin(event) : kNullHandle;
}

bool Win32Platform::resetEvent(Handle event) { return ResetEvent(toWin(event)) != FALSE; }

WaitResult Win32Platform::waitForSingleObject(Handle event, std::uint32_t ms) {
    switch (WaitForSingleObject(toWin(event), ms == kInfinite ? INFINITE : ms)) {
        case WAIT_OBJECT_0: return WaitResult::Signaled;
        case WAIT_TIMEOUT: return WaitResult::Timeout;
        default: return WaitResult::Failed;
    }
}

}  // namespace qov::win32
