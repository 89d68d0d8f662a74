// One writer per transport kind, shared by every send export.
//
// The exports differ in which flags they test and in which order; once a
// transport is chosen, the bytes go out through one of these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace qov::sending {

// The command language's line end, always two 8-bit bytes.
constexpr const char kLineEnd[] = "\r\n";
constexpr std::uint32_t kLineEndLength = 2;

// Longest block a single send hands to a transport: socket sends take an
// int count, and the serial write appends the line end.
constexpr std::size_t kMaxSendLength = 0x7FFFFFF0u;

// WritePrinter on a spooler handle; the count goes into `bytes written`.
void writeSpooler(Handle printer, const void* data, std::uint32_t size);

// WriteFile without an overlapped record; the count goes into `bytes written`.
void writePlainFile(Handle h, const void* data, std::uint32_t size);

// A USB (or LPT) device handle: the overlapped write when the handle was
// opened for overlapped I/O (a plain WriteFile would be rejected and the
// data lost), otherwise a plain WriteFile.
void writeDevice(Handle h, bool overlappedHandle, const void* data, std::uint32_t size);

// The whole block on a socket (sendAll). False when the connection failed
// or stalled: the caller then writes nothing more.
bool writeSocket(Socket s, const void* data, std::uint32_t size);

// How a serial write waits for its overlapped record.
enum class SerialWait {
    // A fresh manual-reset event in a zeroed record; no event, no write.
    OwnEvent,
    // A zeroed record without event; the result is collected by waiting on
    // the handle itself.
    OnHandle,
    // The connection record's port overlapped record and its port event,
    // which is closed after the write.
    PortRecord,
};

// WriteFile with an overlapped record on the COM handle, waiting for the
// write to complete. Returns false, with nothing written, only when
// OwnEvent cannot create its event.
bool writeSerial(Handle h, const void* data, std::uint32_t size, SerialWait wait);

}  // namespace qov::sending
