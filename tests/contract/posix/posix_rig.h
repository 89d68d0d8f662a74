// The contract rig of the Linux backend: temporary files and a FIFO as a
// device, a pty pair as COM2, a loopback peer, the private CUPS server with
// raw queues that deliver to loopback printers, and the fake sysfs tree of
// the posix tests. Time is real (the monotonic clock).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "contract_rig.h"
#include "loopback_peer.h"
#include "platform/platform.h"
#include "posix_test_support.h"
#include "private_cups.h"

namespace qov::contract {

class PosixRig {
public:
    PosixRig() = default;
    ~PosixRig();
    static const char* name() { return "posix"; }
    Platform& os() { return nativePlatform(); }
    std::int64_t nowMs() { return posixtest::nowMs(); }
    std::int64_t calendarNow();

    // files and devices
    std::string newFilePath(const std::string& name) { return dir_.file(name); }
    void putFile(const std::string& path, const std::string& bytes) {
        posixtest::writeFileText(path, bytes);
    }
    std::string fileBytes(const std::string& path) { return posixtest::readFileText(path); }
    std::string addPipe();
    void pipePut(const std::string& bytes);
    std::string pipeTake(std::size_t size);

    // serial ports
    std::string addSerialPort();
    void serialPut(const std::string& bytes) { pty_->writeMaster(bytes); }
    std::string serialTake(std::size_t size) { return pty_->readMaster(size, 2000); }

    // sockets
    std::uint16_t listeningPort();
    std::uint16_t refusingPort() { return LoopbackPeer::closedPort(); }
    void peerSend(const std::string& bytes) { peer_->send(bytes); }
    std::string peerTake(std::size_t size) { return peer_->take(size); }
    void peerClose() { peer_->hangUp(); }

    // spooler
    bool spoolerReady(std::string* why);
    void addQueue(const std::string& name);
    std::string queuePort(const std::string& name);
    std::string queueTake(const std::string& name, std::size_t size);
    void setQueueOffline(const std::string& name);

    // USB device interfaces
    void addUsbPrinter(const std::string& vid, const std::string& pid, const std::string& serial);
    std::string usbWritten(std::size_t index);

    // message boxes (one line each on standard error) and standard output
    void captureUi();
    std::string shownBoxes();
    std::string stdoutText();

private:
    void endCapture();

    posixtest::TempDir dir_;
    int pipePeer_ = -1;
    std::unique_ptr<posixtest::PtyPair> pty_;
    std::unique_ptr<posixtest::ScopedEnv> comEnv_;
    std::unique_ptr<LoopbackPeer> peer_;
    posixtest::PrivateCups* cups_ = nullptr;
    std::unique_ptr<posixtest::ScopedEnv> cupsEnv_;
    std::map<std::string, std::unique_ptr<posixtest::TcpPrinter>> queues_;
    // Always there, so no case sees the machine's own printers.
    posixtest::FakeUsbTree usb_;
    int usbCount_ = 0;
    bool capturing_ = false;
    std::string stderr_, stdout_;
};

}  // namespace qov::contract
