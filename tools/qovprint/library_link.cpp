#include "library_link.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "qovlib.h"
#include "socket_tuning.h"

namespace qovprint {

namespace {

// The library reaches device files and plain files through its port names;
// these are the names qovprint lends to them.
constexpr const char* kFilePort = "LPT4";
constexpr const char* kFileEnv = "QOVLIB_LPT4";
constexpr const char* kParallelPort = "LPT1";
constexpr const char* kParallelEnv = "QOVLIB_LPT1";
constexpr const char* kSerialPort = "COM1";
constexpr const char* kSerialEnv = "QOVLIB_COM1";

std::vector<char> writable(const char* s) { return std::vector<char>(s, s + std::strlen(s) + 1); }

}  // namespace

LibraryLink& LibraryLink::instance() {
    static LibraryLink link;
    return link;
}

bool LibraryLink::acquire(const std::string& uri, std::chrono::milliseconds wait, std::string* error) {
    {
        std::unique_lock<std::mutex> lock(stateMutex_);
        if (!freed_.wait_for(lock, wait, [this] { return !held_; })) {
            *error = "the printer connection is busy";
            return false;
        }
        held_ = true;
    }
    if (uri.empty() || uri == uri_) return true;  // empty: the library alone, whatever is open
    closeCurrent();
    if (open(uri, error)) return true;
    release();
    return false;
}

void LibraryLink::release() {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        held_ = false;
    }
    freed_.notify_one();
}

void LibraryLink::closeCurrent() {
    if (uri_.empty()) return;
    if (current_.transport == Transport::Network)
        closeethernetport(0);  // sends are complete when they return; no pause needed
    else
        closeport();
    uri_.clear();
}

bool LibraryLink::open(const std::string& uri, std::string* error) {
    DeviceTarget t;
    if (!parseDeviceUri(uri, &t, error)) return false;
    int failed = 1;
    switch (t.transport) {
    case Transport::Network:
        failed = openethernet(t.host.c_str(), t.port);
        if (!failed) setNoDelayTowards(t.host, t.port);
        break;
    case Transport::File: {
        // The library never creates a port; a file standing in for one must exist.
        const int fd = ::open(t.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            *error = "cannot open " + t.path;
            return false;
        }
        ::close(fd);
        setenv(kFileEnv, t.path.c_str(), 1);
        failed = openport(kFilePort);
        break;
    }
    case Transport::Parallel:
        setenv(kParallelEnv, t.path.c_str(), 1);
        failed = openport(kParallelPort);
        break;
    case Transport::Serial: {
        setenv(kSerialEnv, t.path.c_str(), 1);
        auto name = writable(kSerialPort);
        SetRS232(name.data(), t.baudIndex, 0, 0, 0);  // before the open: an open port keeps its line
        failed = openport(kSerialPort);
        break;
    }
    case Transport::Usb:
        failed = t.path.empty() ? openport("USB") : openport_usbid(1, t.path.c_str());
        break;
    }
    if (failed) {
        *error = "cannot open " + uri;
        return false;
    }
    uri_ = uri;
    current_ = t;
    return true;
}

}  // namespace qovprint
