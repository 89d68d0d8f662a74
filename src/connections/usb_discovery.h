// USB discovery: the present USB device interfaces whose device path carries
// the printer maker's vendor identifier (the vendor filter).
#pragma once

#include <string>

namespace qov {

// The vendor filter: "vid_" and four lower-case hexadecimal digits, set at
// build time.
const char* vendorFilter();

// Resets the USB slot counter to its state at load (tests).
void resetUsbDiscoveryState();

}  // namespace qov
