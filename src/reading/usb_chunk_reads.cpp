// The USB chunk readers: one read of up to 512 bytes from a handle the
// caller passes, stored into the receive buffer at the USB receive count.
// They never use the connection record.
#include <cstring>

#include "export_guard.h"
#include "qovlib.h"
#include "reading/read_request.h"
#include "reading/readers.h"
#include "reading/receive_state.h"
#include "reading/usb_chunk_reads.h"

namespace qov {

namespace {

constexpr unsigned char kStx = 0x02;
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kLf = 0x0A;

struct Chunk {
    bool ok = false;  // false: the event could not be created
    std::uint32_t count = 0;
    unsigned char bytes[kReadChunkSize] = {};
};

// One 512-byte request with an event of its own; a request that does not
// complete at once gets the USB wait, and is cancelled after it. A request
// that completed at once keeps its count.
Chunk readChunk(Handle h) {
    Chunk chunk;
    Overlapped ov{};
    ScopedEvent event(os().createEvent(false, false));
    if (!event) return chunk;
    ov.event = event.get();
    chunk.ok = true;
    ReadRequest request = issueRead(h, chunk.bytes, kReadChunkSize, ov);
    chunk.count = request.count;
    if (!request.completed) awaitRead(h, ov, request, kUsbWaitMs, &chunk.count);
    return chunk;
}

// Appends bytes without wrapping; at a full buffer the rest is dropped.
// An STX stops the chunk (false); CR and LF are skipped.
bool storeText(const Chunk& chunk) {
    auto& rs = receiveState();
    for (std::uint32_t i = 0; i < chunk.count; ++i) {
        const unsigned char b = chunk.bytes[i];
        if (b == kStx) return false;
        if (b == kCr || b == kLf) continue;
        if (rs.usbCount >= 0 && static_cast<std::size_t>(rs.usbCount) < kReceiveBufferSize) {
            rs.receiveBuffer[rs.usbCount++] = b;
        }
    }
    return true;
}

// The next index of a wrapping store.
std::size_t wrappedIndex(int count) {
    return count < 0 || static_cast<std::size_t>(count) >= kReceiveBufferSize
               ? 0
               : static_cast<std::size_t>(count);
}

}  // namespace

bool usbReadData(Handle h) {
    os().sleep(50);
    Chunk chunk = readChunk(h);
    if (!chunk.ok) return false;
    if (chunk.count == 0) {
        receiveState().usbCount = 0;
        return false;
    }
    return storeText(chunk);
}

bool usbReadDataMult(Handle h) {
    receiveState().usbCount = 0;
    os().sleep(100);
    Chunk chunk = readChunk(h);
    if (!chunk.ok) return false;
    os().sleep(100);
    if (chunk.count == 0) return false;
    return storeText(chunk);
}

bool usbReadStatus(Handle h) {
    auto& rs = receiveState();
    os().sleep(100);
    Chunk chunk = readChunk(h);
    if (!chunk.ok) return false;
    os().sleep(100);
    if (chunk.count == 0) return false;
    // Every byte goes to the one position the count names: it keeps the
    // last byte of the chunk.
    if (rs.usbCount >= 0 && static_cast<std::size_t>(rs.usbCount) < kReceiveBufferSize) {
        for (std::uint32_t i = 0; i < chunk.count; ++i) rs.receiveBuffer[rs.usbCount] = chunk.bytes[i];
    }
    return true;
}

bool usbReadStatusDataToBuffer(Handle h) {
    auto& rs = receiveState();
    os().sleep(100);
    Chunk chunk = readChunk(h);
    if (!chunk.ok) return false;
    if (chunk.count == 0) return false;
    for (std::uint32_t i = 0; i < chunk.count; ++i) {
        const std::size_t at = wrappedIndex(rs.usbCount);
        rs.receiveBuffer[at] = chunk.bytes[i];
        rs.usbCount = static_cast<int>((at + 1) % kReceiveBufferSize);
    }
    return true;
}

bool usbReadDataToBuffer(Handle h) {
    auto& rs = receiveState();
    os().sleep(100);
    Chunk chunk = readChunk(h);
    if (!chunk.ok || chunk.count == 0) return false;
    for (std::uint32_t i = 0; i < chunk.count; ++i) {
        const unsigned char b = chunk.bytes[i];
        if (b == kStx) return true;  // the printer's end mark: unstored
        const std::size_t at = wrappedIndex(rs.usbCount);
        rs.receiveBuffer[at] = b;
        rs.usbCount = static_cast<int>((at + 1) % kReceiveBufferSize);
        if (b == kCr) return false;  // the answer's text ends with its CR
    }
    return true;
}

}  // namespace qov

namespace {
// Runs a reader on the handle the application passed in.
template <typename F>
bool onCallerHandle(void* handle, F&& reader) {
    qov::CallerHandle h(handle);
    return reader(h.get());
}
}  // namespace

bool UsbReadData(void* handle, bool) {
    return qov::noThrow(false, [&] { return onCallerHandle(handle, qov::usbReadData); });
}

bool UsbReadData_mult(void* handle, bool) {
    return qov::noThrow(false, [&] { return onCallerHandle(handle, qov::usbReadDataMult); });
}

bool UsbReadStatus(void* handle, bool) {
    return qov::noThrow(false, [&] { return onCallerHandle(handle, qov::usbReadStatus); });
}

bool UsbReadStatusDataToBuffer(void* handle, bool) {
    return qov::noThrow<bool>(false, [&]() -> bool {
        return onCallerHandle(handle, qov::usbReadStatusDataToBuffer);
    });
}

bool UsbReadDataToBuffer(void* handle, bool) {
    return qov::noThrow(false, [&] { return onCallerHandle(handle, qov::usbReadDataToBuffer); });
}
