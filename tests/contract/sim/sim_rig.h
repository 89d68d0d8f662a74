// The contract rig of the simulated OS: the world is built through the
// simulation's own scripting (devices, peers, printers, USB interfaces) and
// read back from its records. Time is the simulation's virtual clock.
#pragma once

#include <string>
#include <vector>

#include "contract_rig.h"
#include "sim.h"

namespace qov::contract {

class SimRig {
public:
    static const char* name() { return "sim"; }
    Platform& os() { return sim_; }
    std::int64_t nowMs() { return static_cast<std::int64_t>(sim_.nowMs()); }
    std::int64_t calendarNow() { return sim_.epochSeconds + nowMs() / 1000; }

    // files and devices
    std::string newFilePath(const std::string& name) { return "C:\\contract\\" + name; }
    void putFile(const std::string& path, const std::string& bytes);
    std::string fileBytes(const std::string& path);
    std::string addPipe();
    void pipePut(const std::string& bytes) { makeReadable(device(kPipe).io, bytes); }
    std::string pipeTake(std::size_t) { return device(kPipe).io.received; }

    // serial ports
    std::string addSerialPort();
    void serialPut(const std::string& bytes) { makeReadable(device("COM2").io, bytes); }
    std::string serialTake(std::size_t) { return device("COM2").io.received; }

    // sockets
    std::uint16_t listeningPort();
    std::uint16_t refusingPort();
    void peerSend(const std::string& bytes) { makeReadable(connection(), bytes); }
    std::string peerTake(std::size_t) { return connection().received; }
    void peerClose() { connection().closedAtMs = sim_.nowMs(); }

    // spooler
    bool spoolerReady(std::string*) { return true; }
    void addQueue(const std::string& name) { sim_.addPrinter(name, queuePort(name)); }
    std::string queuePort(const std::string& name) { return "QOV_" + name; }
    std::string queueTake(const std::string& name, std::size_t);
    void setQueueOffline(const std::string& name);

    // USB device interfaces
    void addUsbPrinter(const std::string& vid, const std::string& pid, const std::string& serial);
    std::string usbWritten(std::size_t index) { return device(usbPaths_.at(index)).io.received; }

    // message boxes and standard output
    void captureUi() {}
    std::string shownBoxes();
    std::string stdoutText() { return sim_.stdoutText; }

private:
    static constexpr const char* kPipe = "\\\\.\\pipe\\contract";
    static constexpr std::uint16_t kListening = 9100, kRefusing = 9101;

    sim::Device& device(const std::string& path);
    sim::Endpoint& connection();
    // Bytes the far side sends now: readable from the present moment on.
    void makeReadable(sim::Endpoint& ep, const std::string& bytes) {
        ep.readable.push_back({sim_.nowMs(), bytes});
    }

    sim::SimPlatform sim_;
    std::vector<std::string> usbPaths_;
};

}  // namespace qov::contract
