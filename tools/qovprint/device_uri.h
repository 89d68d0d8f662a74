#pragma once
// Device URIs of qovprint and the library open each one maps to.
#include <string>

namespace qovprint {

enum class Transport { Network, File, Serial, Parallel, Usb };

struct DeviceTarget {
    Transport transport = Transport::Network;
    std::string host;   // Network: dotted IPv4 address (names are resolved)
    int port = 9100;    // Network
    std::string path;   // File, Serial, Parallel: the device or file path; Usb: text the device path contains
    int baudIndex = 6;  // Serial: the library's baud index (6 = 9600)
};

// socket://host[:port], file:///path, serial:///dev/ttyX[?baud=N],
// parallel:///dev/lpN, usb://[text]. False, with a message, for anything else.
bool parseDeviceUri(const std::string& uri, DeviceTarget* target, std::string* error);

// The library's baud index of a rate (19200 -> 8), -1 when it has none.
int baudIndex(long baud);

}  // namespace qovprint
