#include "connections/usb_discovery.h"

namespace qov {

const char* vendorFilter() { return QOV_USB_VENDOR_ID; }

void resetUsbDiscoveryState() {}

}  // namespace qov
