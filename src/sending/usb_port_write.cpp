// usbportwrite: one write to the USB printer through a handle of its own,
// leaving the connection record as it is.
#include "qovlib.h"

#include <cstring>
#include <string>

#include "connections/usb_discovery.h"
#include "export_guard.h"
#include "sending/transport_write.h"

namespace {
constexpr int kWritten = 0;
constexpr int kNoPrinter = -1;
constexpr int kCannotOpen = -2;

int writeOnce(const char* text) {
    using namespace qov;
    const std::size_t length = std::strlen(text);
    // The line takes the text, a blank and "\r\n"; any longer text cannot
    // be handed to one write.
    if (length > sending::kMaxSendLength) return kCannotOpen;

    // The printer gets the text, one blank and two line ends. The line
    // grows with the text; it is built before the device is opened so that
    // nothing can fail while the handle is held.
    std::string line(text, length);
    line += " \r\n";

    UsbSearchRecord record;
    discoverLastUsbDevice(record);
    if (!record.found) return kNoPrinter;

    const Handle h = os().createFile(record.devicePath.c_str(), kAccessRead | kAccessWrite, 0,
                                     Disposition::OpenExisting, 0);
    if (h == kInvalidHandle) return kCannotOpen;

    std::uint32_t written = 0;
    os().writeFile(h, line.data(), static_cast<std::uint32_t>(line.size()), &written, nullptr);
    os().writeFile(h, sending::kLineEnd, sending::kLineEndLength, &written, nullptr);
    os().closeHandle(h);
    return kWritten;
}

}  // namespace

int usbportwrite(char* text) {
    return qov::noThrow<int>(kCannotOpen, [&]() -> int {
        if (text == nullptr) return kNoPrinter;  // nothing written
        return writeOnce(text);
    });
}
