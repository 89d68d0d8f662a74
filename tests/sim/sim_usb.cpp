// USB device interface enumeration.
#include "sim_impl.h"

namespace qov::sim {

bool SimPlatform::enumUsbDevicePaths(std::vector<std::string>& out) {
    impl_->log("EnumUsbDevices");
    if (usbEnumerationFails) return false;
    out.clear();
    for (auto& i : impl_->usbInterfaces)
        if (!i.detailFails) out.push_back(i.path);
    return true;
}

}  // namespace qov::sim
