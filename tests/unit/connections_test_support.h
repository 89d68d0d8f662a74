// Helpers shared by the connection tests: flag snapshots, USB device paths
// built from the vendor filter, positions in the call log.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "fixtures.h"
#include "sim.h"

namespace conn_test {

// The current connection's transport flags, in one comparable value. The
// fields keep the library's int values, so a flag set to anything but 0 or 1
// shows; Flags::with names the ones a test expects set:
// Flags::with({&Flags::network, &Flags::open}).
struct Flags {
    int spooler = 0, parallel = 0, usb = 0, serial = 0, network = 0, open = 0, overlapped = 0;

    static Flags with(std::initializer_list<int Flags::*> set) {
        Flags f;
        for (int Flags::*field : set) f.*field = 1;
        return f;
    }
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
    Flags f;
    f.spooler = c.current.spoolerFlag;
    f.parallel = c.parallelFlag;
    f.usb = c.current.usbFlag;
    f.serial = c.serialFlag;
    f.network = c.networkFlag;
    f.open = c.connectionOpenFlag;
    f.overlapped = c.current.overlappedUsbFlag;
    return f;
}
const Flags kNone{};

using fixtures::usbDevicePath;
// A present printer of the library's vendor: interface and device.
inline std::string addUsbPrinter(qov::sim::SimPlatform& sim, const std::string& serial,
                                 bool detailFails = false) {
    const std::string path = usbDevicePath(qov::vendorFilter(), "0001", serial);
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

// The port argument of openethernet: a number passed in the pointer itself.
inline int* portArg(std::uintptr_t value) { return reinterpret_cast<int*>(value); }

}  // namespace conn_test
