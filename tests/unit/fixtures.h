// Helpers every unit test area shares; each area's *_test_support.h adds
// its own on top.
#pragma once

#include <cstdint>
#include <string>

namespace fixtures {

// A USB printer interface path as device enumeration reports it:
// "\\?\usb#<vendor>&pid_<pid>#<serial>#{printer interface class}".
inline std::string usbDevicePath(const std::string& vendor, const std::string& pid,
                                 const std::string& serial) {
    return "\\\\?\\usb#" + vendor + "&pid_" + pid + "#" + serial +
           "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

// The name the simulation records a network connection's writes under.
inline std::string peerTarget(const std::string& address, std::uint16_t port) {
    return "tcp:" + address + ":" + std::to_string(port);
}

}  // namespace fixtures
