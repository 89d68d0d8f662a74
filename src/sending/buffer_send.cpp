// Texts sent without line end by the image download and the serial
// queries: no test of the connection open flag.
#include "qovlib.h"

#include <cstring>

#include "connections/connection_record.h"
#include "export_guard.h"
#include "sending/send_route.h"

using qov::sending::SendStyle;
using qov::sending::SerialWait;

int ZULOutBuffer(char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        using namespace qov::sending;
        if (text == nullptr) return 0;
        std::uint32_t size = 0;
        if (!copyCommandText(text, &size)) return 0;
        return deliver(currentRoute(), kBinaryOrder, qov::connection().sendCopy.data(), size,
                       SendStyle{false, SerialWait::OwnEvent, false});
    });
}

namespace {
int outBufferToSlot(int slot, const char* text) {
    using namespace qov::sending;
    std::uint32_t size = 0;
    if (!copyCommandText(text, &size)) return 0;
    qov::ConnectionRecord& c = qov::connection();
    const char* bytes = c.sendCopy.data();
    if (qov::validSlot(slot)) {
        const qov::SlotFields& f = c.slotFields(slot);
        if (f.usbFlag != 0) {
            writeDevice(f.handle, f.overlappedUsbFlag != 0, bytes, size);
        } else {
            writeSpooler(f.handle, bytes, size);
        }
        return 1;
    }
    if (c.parallelFlag != 0) {
        writePlainFile(c.current.handle, bytes, size);
    } else if (c.current.usbFlag != 0) {
        writeDevice(c.current.handle, c.current.overlappedUsbFlag != 0, bytes, size);
    } else if (c.serialFlag != 0) {
        // With a record, so that an overlapped COM handle takes it too.
        writeSerial(c.current.handle, bytes, size, SerialWait::OnHandle);
    } else {
        return 0;
    }
    return 1;
}
}  // namespace

// A slot's device handle: WriteFile when the slot holds a USB device,
// WritePrinter otherwise (the spooler flag is not tested). Any other slot
// number falls back to the current connection's device handle.
int ZULOutBuffermult(int slot, char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        if (text == nullptr) return 0;
        return outBufferToSlot(slot, text);
    });
}

// The caller knows that the device handle is a COM port: no flag is tested.
int ComportSendData(char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        using namespace qov::sending;
        if (text == nullptr) return 0;
        const std::size_t length = std::strlen(text);
        if (length > kMaxSendLength) return 0;
        return writeSerial(qov::connection().current.handle, text,
                           static_cast<std::uint32_t>(length), SerialWait::OwnEvent)
                   ? 1
                   : 0;
    });
}
