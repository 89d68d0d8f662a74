// Helpers shared by the connection tests: flag snapshots, USB device paths
// built from the vendor filter, positions in the call log.
#pragma once

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "sim.h"

namespace conn_test {

// The current connection's transport flags, in one comparable value.
struct Flags {
    int spooler, parallel, usb, serial, network, open, overlapped;
    bool operator==(const Flags& o) const {
        return spooler == o.spooler && parallel == o.parallel && usb == o.usb &&
               serial == o.serial && network == o.network && open == o.open &&
               overlapped == o.overlapped;
    }
};
inline std::ostream& operator<<(std::ostream& out, const Flags& f) {
    return out << "{spooler " << f.spooler << ", parallel " << f.parallel << ", usb " << f.usb
               << ", serial " << f.serial << ", network " << f.network << ", open " << f.open
               << ", overlapped " << f.overlapped << "}";
}
inline Flags flags() {
    const auto& c = qov::connection();
    return {c.current.spoolerFlag, c.parallelFlag, c.current.usbFlag, c.serialFlag,
            c.networkFlag,         c.connectionOpenFlag, c.current.overlappedUsbFlag};
}
constexpr Flags kNone{0, 0, 0, 0, 0, 0, 0};

// "\\?\usb#<vendor>&pid_<pid>#<serial>#{interface class}".
inline std::string usbPath(const std::string& vendor, const std::string& pid,
                           const std::string& serial) {
    return "\\\\?\\usb#" + vendor + "&pid_" + pid + "#" + serial +
           "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}
// A present printer of the library's vendor: interface and device.
inline std::string addUsbPrinter(qov::sim::SimPlatform& sim, const std::string& serial,
                                 bool detailFails = false) {
    const std::string path = usbPath(qov::vendorFilter(), "0001", serial);
    sim.addUsbInterface(path, detailFails);
    sim.addDevice(path, qov::sim::DeviceKind::Usb);
    return path;
}

// Position of the first call starting with `prefix` (-1 when absent).
inline int callAt(const qov::sim::SimPlatform& sim, const std::string& prefix) {
    auto it = std::find_if(sim.calls.begin(), sim.calls.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    });
    return it == sim.calls.end() ? -1 : static_cast<int>(it - sim.calls.begin());
}

}  // namespace conn_test
