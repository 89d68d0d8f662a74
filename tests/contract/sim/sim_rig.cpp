#include "sim_rig.h"

#include <stdexcept>

namespace qov::contract {

sim::Device& SimRig::device(const std::string& path) {
    sim::Device* d = sim_.device(path);
    if (!d) throw std::logic_error("the sim rig has no device " + path);
    return *d;
}

sim::Endpoint& SimRig::connection() {
    sim::NetworkPeer* p = sim_.peer("127.0.0.1", kListening);
    if (!p || p->connections.empty()) throw std::logic_error("the sim rig's peer has no connection");
    return *p->connections.back();
}

void SimRig::putFile(const std::string& path, const std::string& bytes) {
    if (sim::Device* d = sim_.device(path))
        d->content = bytes;
    else
        sim_.addFile(path, bytes);
}

std::string SimRig::fileBytes(const std::string& path) { return device(path).content; }

std::string SimRig::addPipe() {
    sim_.addDevice(kPipe, sim::DeviceKind::Lpt);
    return kPipe;
}

std::string SimRig::addSerialPort() {
    sim_.addDevice("COM2", sim::DeviceKind::Com);
    return "COM2";
}

std::uint16_t SimRig::listeningPort() {
    sim_.addPeer("127.0.0.1", kListening);
    return kListening;
}

std::uint16_t SimRig::refusingPort() {
    sim_.addPeer("127.0.0.1", kRefusing).behaviour = sim::NetworkPeer::Refuse;
    return kRefusing;
}

std::string SimRig::queueTake(const std::string& name, std::size_t) {
    sim::Printer* p = sim_.printer(name);
    return p ? p->io.received : std::string();
}

void SimRig::setQueueOffline(const std::string& name) {
    if (sim::Printer* p = sim_.printer(name)) p->online = false;
}

void SimRig::addUsbPrinter(const std::string& vid, const std::string& pid,
                           const std::string& serial) {
    std::string path = usbPath(vid, pid, serial);
    sim_.addUsbInterface(path);
    sim_.addDevice(path, sim::DeviceKind::Usb);
    usbPaths_.push_back(path);
}

std::string SimRig::shownBoxes() {
    std::string out;
    for (const sim::MessageBoxRecord& b : sim_.boxes) out += b.caption + ": " + b.text + "\n";
    return out;
}

}  // namespace qov::contract
