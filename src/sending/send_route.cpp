#include "sending/send_route.h"

#include <cstring>
#include <string>

#include "connections/connection_record.h"

namespace qov::sending {

Route currentRoute() {
    const ConnectionRecord& c = connection();
    Route r;
    r.handle = c.current.handle;
    r.spooler = c.current.spoolerFlag;
    r.parallel = c.parallelFlag;
    r.usb = c.current.usbFlag;
    r.overlappedUsb = c.current.overlappedUsbFlag != 0;
    r.network = c.networkFlag;
    r.socket = c.networkSocket;
    r.serial = c.serialFlag;
    return r;
}

Route sharedSlotRoute(int slot) {
    // Slot 1's LPT flag is never tested: the slot orders leave it out.
    if (slot == 1) return currentRoute();
    return ownSlotRoute(slot);
}

Route ownSlotRoute(int slot) {
    ConnectionRecord& c = connection();
    const SlotFields& f = c.slotFields(slot);
    Route r;
    r.handle = f.handle;
    r.spooler = f.spoolerFlag;
    r.usb = f.usbFlag;
    r.overlappedUsb = f.overlappedUsbFlag != 0;
    r.network = c.slotNet[slot].networkFlag;
    r.socket = c.slotNet[slot].socket;
    return r;
}

namespace {

bool flagSet(const Route& r, Transport t) {
    switch (t) {
        case Transport::Spooler: return r.spooler != 0;
        case Transport::Parallel: return r.parallel != 0;
        case Transport::Usb: return r.usb != 0;
        case Transport::Network: return r.network != 0;
        case Transport::Serial: return r.serial != 0;
    }
    return false;
}

int writeSerialSend(const Route& r, const char* bytes, std::uint32_t size,
                    const SendStyle& style) {
    if (!style.lineEnd) {
        return writeSerial(r.handle, bytes, size, style.serialWait) ? 1 : 0;
    }
    if (style.serialLineEndApart) {
        if (!writeSerial(r.handle, bytes, size, style.serialWait)) return 0;
        writeSerial(r.handle, kLineEnd, kLineEndLength, style.serialWait);
        return 1;
    }
    // Text and line end leave in one write.
    std::string joined(bytes, size);
    joined.append(kLineEnd, kLineEndLength);
    return writeSerial(r.handle, joined.data(), static_cast<std::uint32_t>(joined.size()),
                       style.serialWait)
               ? 1
               : 0;
}

}  // namespace

int deliver(const Route& route, const Transport* order, std::size_t count, const char* bytes,
            std::uint32_t size, const SendStyle& style) {
    for (std::size_t i = 0; i < count; ++i) {
        const Transport t = order[i];
        if (!flagSet(route, t)) continue;
        switch (t) {
            case Transport::Spooler:
                writeSpooler(route.handle, bytes, size);
                if (style.lineEnd) writeSpooler(route.handle, kLineEnd, kLineEndLength);
                return 1;
            case Transport::Parallel:
                writePlainFile(route.handle, bytes, size);
                if (style.lineEnd) writePlainFile(route.handle, kLineEnd, kLineEndLength);
                return 1;
            case Transport::Usb:
                writeDevice(route.handle, route.overlappedUsb, bytes, size);
                if (style.lineEnd) {
                    writeDevice(route.handle, route.overlappedUsb, kLineEnd, kLineEndLength);
                }
                return 1;
            case Transport::Network:
                // A block the printer did not take whole gets no line end.
                if (!writeSocket(route.socket, bytes, size)) return 0;
                if (style.lineEnd && !writeSocket(route.socket, kLineEnd, kLineEndLength)) {
                    return 0;
                }
                return 1;
            case Transport::Serial:
                return writeSerialSend(route, bytes, size, style);
        }
    }
    return 0;
}

bool copyCommandText(const char* text, std::uint32_t* size) {
    const std::size_t length = std::strlen(text);
    if (length > kMaxSendLength) return false;
    ConnectionRecord& c = connection();
    c.sendCopy.assign(text, length);
    *size = static_cast<std::uint32_t>(length);
    return true;
}

}  // namespace qov::sending
