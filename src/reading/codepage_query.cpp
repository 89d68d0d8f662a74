// Asking the printer for its code page, once per transport. Each talks to
// its transport directly, whatever the current connection is.
#include <cstring>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "export_guard.h"
#include "qovlib.h"
#include "reading/read_request.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"
#include "reading/usb_chunk_reads.h"
#include "sending/overlapped_write.h"
#include "sending/socket_send.h"

namespace qov {

namespace {

constexpr unsigned char kStx = 0x02;
// "~!I" and an OUT of the single byte STX: the printer answers with its
// code page and then the STX.
constexpr char kSerialQuery[] = "~!I\n OUT \"\x02\"\n";
constexpr char kUsbQuery[] = "~!I\n\rOUT \"\x02\"\n\r";
// The network answer wait ends after this many whole calendar seconds.
constexpr std::int64_t kNetworkAnswerSeconds = 5;
// The USB answer collection ends after this many whole calendar seconds.
constexpr std::int64_t kUsbAnswerSeconds = 5;

// One read of up to 500 bytes after a pause; an answer that is not already
// there when the request is issued is given up on.
void readSerialAnswer() {
    auto& rs = receiveState();
    const Handle port = connection().current.handle;
    Overlapped ov{};
    ScopedEvent event(os().createEvent(true, false));
    if (!event) return;
    ov.event = event.get();
    os().sleep(500);
    std::memset(rs.serialChunk, 0, sizeof rs.serialChunk);
    ReadRequest request = issueRead(port, rs.serialChunk, 500, ov);
    if (!request.completed) {
        cancelRead(port, ov, request);  // before the chunk and the record are reused
        return;
    }
    for (std::uint32_t i = 0; i < request.count; ++i) {
        const unsigned char b = rs.serialChunk[i];
        if (b == kStx) break;
        if (rs.usbCount < 0 || static_cast<std::size_t>(rs.usbCount) >= kReceiveBufferSize) {
            rs.usbCount = 0;
        }
        rs.receiveBuffer[rs.usbCount] = b;
        rs.usbCount = static_cast<int>((rs.usbCount + 1) % kReceiveBufferSize);
    }
}

char* serialCodePage() {
    auto& rs = receiveState();
    zeroReceiveBuffer();
    rs.usbCount = 0;
    char query[sizeof kSerialQuery];
    std::memcpy(query, kSerialQuery, sizeof query);
    ComportSendData(query);
    readSerialAnswer();
    return reinterpret_cast<char*>(rs.receiveBuffer);
}

char* networkCodePage() {
    auto& rs = receiveState();
    zeroReceiveBuffer();
    rs.usbCount = 0;
    const Socket socket = connection().networkSocket;
    char query[200] = {};
    std::memcpy(query, kSerialQuery, sizeof kSerialQuery);
    // A failed send shows in the receive that follows.
    sending::sendAll(socket, query, std::strlen(query));

    // The chunk buffer has a spare last byte that is always 0, so even a
    // full 65,536-byte answer comes back NUL-terminated.
    std::memset(rs.networkChunk, 0, sizeof rs.networkChunk);
    const std::int64_t start = os().calendarSeconds();
    for (;;) {
        os().sleep(50);
        const int got = os().recv(socket, rs.networkChunk, static_cast<int>(kNetworkChunkSize));
        if (got > 0) break;
        if (got == 0) break;  // the printer closed the connection
        const int error = os().socketLastError();
        if (error != 0 && error != kWsaWouldBlock) {
            rs.socketErrorFlag = 1;
            break;
        }
        if (os().calendarSeconds() - start >= kNetworkAnswerSeconds) break;
    }
    return reinterpret_cast<char*>(rs.networkChunk);
}

char* usbCodePage() {
    auto& rs = receiveState();
    UsbSearchRecord record;
    discoverLastUsbDevice(record);
    // Without a printer there is no path to open (create-always would make
    // a file of an empty name); a failed open still ends after the read
    // wait, with nothing.
    const Handle h = record.found ? os().createFile(record.devicePath.c_str(),
                                                    kAccessRead | kAccessWrite, 0,
                                                    Disposition::CreateAlways, kFlagOverlapped)
                                  : kInvalidHandle;
    clearReceiveBufferAndUsbCount();
    if (h != kInvalidHandle) {
        overlappedWrite(h, kUsbQuery, static_cast<std::uint32_t>(std::strlen(kUsbQuery)));
    }
    // The answer ends with its CR or STX; a printer that streams on without
    // either is given up on once the USB wait has passed.
    const std::int64_t start = os().calendarSeconds();
    while (usbReadDataToBuffer(h)) {
        if (os().calendarSeconds() - start >= kUsbAnswerSeconds) break;
    }
    if (h != kInvalidHandle) os().closeHandle(h);
    return reinterpret_cast<char*>(rs.receiveBuffer);
}

}  // namespace
}  // namespace qov

char* comportprintercodepage(void) {
    return qov::noThrow<char*>(const_cast<char*>(qov::kEmptyText),
                               [&] { return qov::serialCodePage(); });
}

char* ethernetprintercodepage(void) {
    return qov::noThrow<char*>(const_cast<char*>(qov::kEmptyText),
                               [&] { return qov::networkCodePage(); });
}

char* usbprintercodepage(void) {
    return qov::noThrow<char*>(const_cast<char*>(qov::kEmptyText),
                               [&] { return qov::usbCodePage(); });
}
