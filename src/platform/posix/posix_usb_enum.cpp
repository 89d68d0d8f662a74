// USB device interfaces: the printers sysfs shows (posix_usb_sysfs.h).
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_usb_sysfs.h"

namespace qov::posix {

bool PosixPlatform::enumUsbDevicePaths(std::vector<std::string>& out) {
    out.clear();
    for (UsbPrinter& p : scanUsbPrinters()) out.push_back(std::move(p.devicePath));
    return true;
}

}  // namespace qov::posix
