// Helpers of the formatter, control and information tests: opening a
// connection through the real exports on the simulated OS, and the writes
// one target saw.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "connections/usb_discovery.h"
#include "fixtures.h"
#include "sim.h"
#include "qovlib.h"

namespace fmt_test {

using qov::sim::WriteKind;

constexpr const char* kPrinter = "LP-7";
constexpr const char* kPeer = "10.1.2.3";
constexpr std::uint16_t kPeerPort = 9100;

inline std::string usbPath() { return fixtures::usbDevicePath(qov::vendorFilter(), "0042", "F00D"); }

inline std::string peerTarget(const char* address = kPeer, std::uint16_t port = kPeerPort) {
    return fixtures::peerTarget(address, port);
}

enum class Link { Spooler, Lpt, Usb, UsbAsync, Com, Network };

inline const char* linkName(Link l) {
    switch (l) {
        case Link::Spooler: return "spooler";
        case Link::Lpt: return "LPT";
        case Link::Usb: return "USB";
        case Link::UsbAsync: return "overlapped USB";
        case Link::Com: return "COM";
        case Link::Network: return "network";
    }
    return "?";
}

// Where the sim records the writes of a link.
inline std::string targetOf(Link l) {
    switch (l) {
        case Link::Spooler: return kPrinter;
        case Link::Lpt: return "LPT1";
        case Link::Usb:
        case Link::UsbAsync: return usbPath();
        case Link::Com: return "COM1";
        case Link::Network: return peerTarget();
    }
    return "";
}

// Opens the current connection on a link; the peer of a network link is
// returned for scripting (nullptr for the other links).
inline qov::sim::NetworkPeer* open(qov::sim::SimPlatform& sim, Link l) {
    int rc = -1;
    qov::sim::NetworkPeer* peer = nullptr;
    switch (l) {
        case Link::Spooler:
            sim.addPrinter(kPrinter, "USB001");
            rc = openport(kPrinter);
            break;
        case Link::Lpt:
            sim.addDevice("LPT1", qov::sim::DeviceKind::Lpt);
            rc = openport("LPT1");
            break;
        case Link::Usb:
        case Link::UsbAsync:
            sim.addUsbInterface(usbPath());
            sim.addDevice(usbPath(), qov::sim::DeviceKind::Usb);
            rc = l == Link::Usb ? openport("USB") : openport_async("USB");
            break;
        case Link::Com:
            sim.addDevice("COM1", qov::sim::DeviceKind::Com);
            rc = openport("COM1");
            break;
        case Link::Network:
            peer = &sim.addPeer(kPeer, kPeerPort);
            rc = openethernet(kPeer, kPeerPort);
            break;
    }
    EXPECT_EQ(rc, 0) << "open of " << linkName(l);
    return peer;
}

// The bytes of each write to a target, in order.
inline std::vector<std::string> writtenTo(const qov::sim::SimPlatform& sim,
                                          const std::string& target) {
    std::vector<std::string> out;
    for (const auto& w : sim.writesTo(target)) out.push_back(w.bytes);
    return out;
}

inline std::vector<WriteKind> kindsTo(const qov::sim::SimPlatform& sim,
                                      const std::string& target) {
    std::vector<WriteKind> out;
    for (const auto& w : sim.writesTo(target)) out.push_back(w.kind);
    return out;
}

}  // namespace fmt_test
