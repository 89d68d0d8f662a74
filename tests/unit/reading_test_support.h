// Shared set-up of the reading tests: a printer on each readable transport
// made the current connection, and the virtual clock put at the start of a
// calendar second so that whole-second limits read as exact milliseconds.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "fixtures.h"
#include "sim.h"
#include "qovlib.h"
#include "reading/receive_state.h"

namespace reading_test {

using qov::sim::Device;
using qov::sim::DeviceKind;
using qov::sim::NetworkPeer;
using qov::sim::SimPlatform;
using qov::sim::Step;

constexpr const char* kPeerAddress = "10.0.0.9";
constexpr std::uint16_t kPeerPort = 9100;
inline std::string peerTarget() { return fixtures::peerTarget(kPeerAddress, kPeerPort); }

// A device path that passes the vendor filter.
inline std::string usbPath(const std::string& serial = "PR0001") {
    return fixtures::usbDevicePath(qov::vendorFilter(), "0042", serial);
}

// Moves the clock to the start of the next calendar second (or leaves it
// there) and returns the time.
inline std::uint64_t alignToSecond(SimPlatform& sim) {
    const std::uint64_t rest = sim.nowMs() % 1000;
    if (rest != 0) sim.advance(1000 - rest);
    return sim.nowMs();
}

// A USB printer as the current connection: overlapped, as openport_async
// opens it, or not, as openport("USB") does.
inline Device& useUsb(SimPlatform& sim, bool overlapped, std::vector<Step> script = {},
                      const std::string& path = usbPath()) {
    Device& d = sim.addDevice(path, DeviceKind::Usb);
    d.io.script = std::move(script);
    auto& c = qov::connection();
    c.current.handle =
        overlapped ? sim.createFile(path.c_str(), qov::kAccessRead | qov::kAccessWrite,
                                    qov::kShareRead | qov::kShareWrite,
                                    qov::Disposition::OpenExisting,
                                    qov::kFlagOverlapped | qov::kFlagNormalAttributes)
                   : sim.createFile(path.c_str(), qov::kAccessRead | qov::kAccessWrite, 0,
                                    qov::Disposition::OpenExisting, 0);
    c.current.usbFlag = 1;
    c.current.overlappedUsbFlag = overlapped ? 1 : 0;
    c.connectionOpenFlag = 1;
    return d;
}

// A handle on a USB device for the chunk readers (overlapped: requests on a
// quiet printer stay pending). Not the connection's.
inline void* usbHandle(SimPlatform& sim, std::vector<Step> script,
                       const std::string& path = usbPath("CHUNK1")) {
    Device& d = sim.addDevice(path, DeviceKind::Usb);
    d.io.script = std::move(script);
    const qov::Handle h =
        sim.createFile(path.c_str(), qov::kAccessRead | qov::kAccessWrite,
                       qov::kShareRead | qov::kShareWrite, qov::Disposition::OpenExisting,
                       qov::kFlagOverlapped);
    return reinterpret_cast<void*>(h);
}

// COM1 as the current connection with the time-outs openport gives it
// (not overlapped), or overlapped as opencomport opens it.
inline Device& useCom(SimPlatform& sim, std::vector<Step> script = {}, bool overlapped = false) {
    Device& d = sim.addDevice("COM1", DeviceKind::Com);
    d.io.script = std::move(script);
    auto& c = qov::connection();
    c.current.handle = sim.createFile("COM1", qov::kAccessRead | qov::kAccessWrite, 0,
                                      qov::Disposition::OpenExisting,
                                      overlapped ? std::uint32_t{qov::kFlagOverlapped} : 0u);
    if (!overlapped) sim.setCommTimeouts(c.current.handle, {50, 10, 50, 10, 50});
    c.serialFlag = 1;
    c.connectionOpenFlag = 1;
    return d;
}

// A network printer connected with openethernet (blocking, 1 s receive
// time-out) or openethernet_async (non-blocking).
inline NetworkPeer& usePeer(SimPlatform& sim, std::vector<Step> script, bool async) {
    NetworkPeer& p = sim.addPeer(kPeerAddress, kPeerPort);
    p.script = std::move(script);
    const int rc = async ? openethernet_async(kPeerAddress, kPeerPort)
                         : openethernet(kPeerAddress, kPeerPort);
    EXPECT_EQ(rc, 0);
    return p;
}

// The receive buffer as bytes.
inline const unsigned char* receiveBuffer() { return qov::receiveState().receiveBuffer; }
inline std::string bufferText() {
    return std::string(reinterpret_cast<const char*>(receiveBuffer()));
}

// Number of ReadFile calls on a device.
inline int readsOf(const SimPlatform& sim, const std::string& path) {
    return sim.countCalls("ReadFile " + path);
}

}  // namespace reading_test
