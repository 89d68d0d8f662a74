// Shared helpers of the sending tests: opening each transport through the
// real exports on the simulated OS, and a readable summary of the writes a
// call made.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "fixtures.h"
#include "sim.h"
#include "qovlib.h"

namespace sending_test {

using qov::sim::WriteKind;

// The transports a connection can be opened on.
enum class Link { Spooler, Lpt, Usb, UsbAsync, Network, Com };

inline const char* linkName(Link l) {
    switch (l) {
        case Link::Spooler: return "Spooler";
        case Link::Lpt: return "Lpt";
        case Link::Usb: return "Usb";
        case Link::UsbAsync: return "UsbAsync";
        case Link::Network: return "Network";
        case Link::Com: return "Com";
    }
    return "?";
}

constexpr const char* kPrinter = "ZP-1";
constexpr const char* kPeerAddress = "10.0.0.7";
constexpr std::uint16_t kPeerPort = 9100;

// A device path that passes the vendor filter.
inline std::string usbPath(const std::string& serial = "SN0001") {
    return fixtures::usbDevicePath(qov::vendorFilter(), "0051", serial);
}

inline std::string peerTarget(const std::string& address = kPeerAddress,
                              std::uint16_t port = kPeerPort) {
    return fixtures::peerTarget(address, port);
}

// openethernetmult takes the port number as the value of its pointer.
inline int* portArg(std::uint16_t port) {
    return reinterpret_cast<int*>(static_cast<std::intptr_t>(port));
}

// The name writes to this link are recorded under.
inline std::string targetOf(Link l) {
    switch (l) {
        case Link::Spooler: return kPrinter;
        case Link::Lpt: return "LPT1";
        case Link::Usb:
        case Link::UsbAsync: return usbPath();
        case Link::Network: return peerTarget();
        case Link::Com: return "COM1";
    }
    return "";
}

// Opens the current connection on a link through the exports; fails the
// test when the open does not succeed.
inline void open(qov::sim::SimPlatform& sim, Link l) {
    int rc = -1;
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
        case Link::Network:
            sim.addPeer(kPeerAddress, kPeerPort);
            rc = openethernet(kPeerAddress, kPeerPort);
            break;
        case Link::Com:
            sim.addDevice("COM1", qov::sim::DeviceKind::Com);
            rc = openport("COM1");
            break;
    }
    ASSERT_EQ(rc, 0) << "open of " << linkName(l);
}

inline const char* kindName(WriteKind k) {
    switch (k) {
        case WriteKind::WritePrinter: return "WritePrinter";
        case WriteKind::WriteFile: return "WriteFile";
        case WriteKind::WriteFileOverlapped: return "WriteFileOv";
        case WriteKind::Send: return "Send";
    }
    return "?";
}

// Bytes with control characters spelled out: "AB\r\n" reads as AB\r\n.
inline std::string escaped(const std::string& bytes) {
    std::string out;
    for (unsigned char ch : bytes) {
        if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch < 0x20 || ch >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", ch);
            out += hex;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

// The writes from index `from` on, as "Kind[bytes] Kind[bytes]".
inline std::string writesSince(const qov::sim::SimPlatform& sim, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < sim.writes.size(); ++i) {
        if (!out.empty()) out += ' ';
        out += kindName(sim.writes[i].kind);
        out += '[' + escaped(sim.writes[i].bytes) + ']';
    }
    return out;
}

// The targets of the writes from index `from` on, each once per write.
inline std::vector<std::string> targetsSince(const qov::sim::SimPlatform& sim,
                                             std::size_t from) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < sim.writes.size(); ++i) out.push_back(sim.writes[i].target);
    return out;
}

// The call's own writes: runs `call` and returns its result; `writes`
// receives the summary of what it wrote.
template <class F>
int run(qov::sim::SimPlatform& sim, std::string& writes, F&& call) {
    const std::size_t from = sim.writes.size();
    const int rc = call();
    writes = writesSince(sim, from);
    return rc;
}

}  // namespace sending_test
