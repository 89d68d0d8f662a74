#include "posix_rig.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <stdexcept>

namespace qov::contract {

PosixRig::~PosixRig() {
    endCapture();
    if (pipePeer_ >= 0) ::close(pipePeer_);
    if (cups_) {
        cups_->run("cancel", "-a -x");
        for (auto& [name, printer] : queues_) cups_->removeQueue(name);
    }
}

std::int64_t PosixRig::calendarNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string PosixRig::addPipe() {
    std::string path = dir_.file("device.fifo");
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    // Read-write, so the FIFO never sees its last writer go.
    pipePeer_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (pipePeer_ < 0) throw std::runtime_error("cannot open the FIFO");
    return path;
}

void PosixRig::pipePut(const std::string& bytes) {
    if (::write(pipePeer_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("FIFO write failed");
}

std::string PosixRig::pipeTake(std::size_t size) {
    std::string out;
    const std::int64_t end = nowMs() + 2000;
    while (out.size() < size && nowMs() < end) {
        pollfd p{pipePeer_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buf[4096];
        ssize_t n = ::read(pipePeer_, buf, sizeof buf);
        if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

std::string PosixRig::addSerialPort() {
    pty_ = std::make_unique<posixtest::PtyPair>();
    comEnv_ = std::make_unique<posixtest::ScopedEnv>("QOVLIB_COM2", pty_->slavePath());
    return "COM2";
}

std::uint16_t PosixRig::listeningPort() {
    peer_ = std::make_unique<LoopbackPeer>();
    return peer_->port();
}

bool PosixRig::spoolerReady(std::string* why) {
    cups_ = posixtest::PrivateCups::get();
    if (!cups_) {
        *why = posixtest::PrivateCups::whyNot();
        return false;
    }
    cupsEnv_ = std::make_unique<posixtest::ScopedEnv>("CUPS_SERVER", cups_->server());
    return true;
}

void PosixRig::addQueue(const std::string& name) {
    auto printer = std::make_unique<posixtest::TcpPrinter>();
    std::string uri = "socket://127.0.0.1:" + std::to_string(printer->port());
    queues_[name] = std::move(printer);
    if (!cups_->addRawQueue(name, uri)) throw std::runtime_error("lpadmin failed for " + name);
}

std::string PosixRig::queuePort(const std::string& name) {
    return "socket://127.0.0.1:" + std::to_string(queues_.at(name)->port());
}

std::string PosixRig::queueTake(const std::string& name, std::size_t size) {
    // The server delivers the job on its own time.
    return queues_.at(name)->waitForBytes(0, size, 20000);
}

void PosixRig::setQueueOffline(const std::string& name) {
    if (!cups_->run("cupsdisable", name)) throw std::runtime_error("cupsdisable failed");
}

void PosixRig::addUsbPrinter(const std::string& vid, const std::string& pid,
                             const std::string& serial) {
    int n = usbCount_++;
    usb_.add("usbmisc", n, "1-" + std::to_string(n + 1), vid, pid, &serial);
}

std::string PosixRig::usbWritten(std::size_t index) {
    return posixtest::readFileText(usb_.dev() + "/lp" + std::to_string(index));
}

void PosixRig::captureUi() {
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    capturing_ = true;
}

void PosixRig::endCapture() {
    if (!capturing_) return;
    capturing_ = false;
    stderr_ = ::testing::internal::GetCapturedStderr();
    stdout_ = ::testing::internal::GetCapturedStdout();
}

std::string PosixRig::shownBoxes() {
    endCapture();
    return stderr_;
}

std::string PosixRig::stdoutText() {
    endCapture();
    return stdout_;
}

}  // namespace qov::contract
