// USB printers as the kernel's usblp driver shows them in sysfs.
//
// Each printer interface appears as <sysfs>/class/usbmisc/lpN (older kernels:
// <sysfs>/class/usb/lpN); its `device` link leads to the interface, whose
// parent is the USB device with idVendor, idProduct and serial. The device
// node is <dev>/lpN. Both roots can be moved for tests: QOVLIB_SYSFS_ROOT
// (default /sys) and QOVLIB_USB_DEV_ROOT (default /dev/usb).
//
// Printers are reported with Windows device-interface paths,
// "\\?\usb#vid_xxxx&pid_xxxx#<serial>#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
// all lower case, so the library's vendor filter reads them unchanged.
// Printers that share vendor, product and serial get "<serial>&<place on
// the bus>" instead of the serial, so each path names one device.
#pragma once

#include <string>
#include <vector>

namespace qov::posix {

struct UsbPrinter {
    std::string devicePath;  // the Windows-form path
    std::string nodePath;    // the device file to open
};

// The present printers, by lp number.
std::vector<UsbPrinter> scanUsbPrinters();

// The Windows-form path for a vendor, product and serial text.
std::string usbInterfacePath(const std::string& vendor, const std::string& product,
                             const std::string& serial);

}  // namespace qov::posix
