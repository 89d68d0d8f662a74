// USB discovery: the present USB device interfaces whose device path carries
// the printer maker's vendor identifier (the vendor filter).
#pragma once

#include <string>

namespace qov {

// The working record of one discovery. Device paths are held whole.
struct UsbSearchRecord {
    std::string devicePath;    // last present device that passed the filter; empty when none
    std::string slotPaths[6];  // slots 1..5 (index 0 unused); empty when none
    bool found = false;        // at least one device passed the filter
};

// The vendor filter: "vid_" and four lower-case hexadecimal digits, set at
// build time.
const char* vendorFilter();

// Last-device discovery: fills devicePath with the last matching device.
void discoverLastUsbDevice(UsbSearchRecord& record);
// Identified discovery: the last matching device whose path contains a
// lower-case copy of `text` goes into slotPaths[slot] (slot 1..5).
void discoverUsbById(UsbSearchRecord& record, int slot, const char* text);
// Numbered discovery: the k-th matching device goes into slotPaths[k].
void discoverUsbNumbered(UsbSearchRecord& record);

// Resets the USB slot counter to its state at load (tests).
void resetUsbDiscoveryState();

}  // namespace qov
