#include "connections/usb_discovery.h"

#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "connections/connection_record.h"
#include "platform/platform.h"

namespace qov {

namespace {

// Numbers the matching devices during a numbered discovery; 1 between calls.
int g_usbSlotCounter = 1;

// The vendor identifier sits right after the "\\?\usb#" prefix of a path.
constexpr std::size_t kVendorOffset = 8;

bool passesVendorFilter(const std::string& path) {
    const char* filter = vendorFilter();
    const std::size_t len = std::strlen(filter);
    return path.size() >= kVendorOffset + len && path.compare(kVendorOffset, len, filter) == 0;
}

// The present interfaces that pass the filter, in the OS's order. Every
// interface is visited, so the record ends with the last match.
std::vector<std::string> matchingPaths(UsbSearchRecord& record) {
    record = UsbSearchRecord();
    std::vector<std::string> paths;
    std::vector<std::string> matches;
    if (!os().enumUsbDevicePaths(paths)) return matches;
    for (std::string& path : paths) {
        if (passesVendorFilter(path)) matches.push_back(std::move(path));
    }
    if (!matches.empty()) {
        record.devicePath = matches.back();
        record.found = true;
    }
    return matches;
}

}  // namespace

const char* vendorFilter() { return QOV_USB_VENDOR_ID; }

void discoverLastUsbDevice(UsbSearchRecord& record) { matchingPaths(record); }

void discoverUsbById(UsbSearchRecord& record, int slot, const char* text) {
    // Paths carry their identifiers in lower case; a null text matches none.
    std::string needle;
    if (text != nullptr) {
        for (const char* p = text; *p != '\0'; ++p) {
            needle += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        }
    }
    for (const std::string& path : matchingPaths(record)) {
        if (text != nullptr && validSlot(slot) && path.find(needle) != std::string::npos) {
            record.slotPaths[slot] = path;
        }
    }
    g_usbSlotCounter = 1;
}

void discoverUsbNumbered(UsbSearchRecord& record) {
    for (const std::string& path : matchingPaths(record)) {
        if (validSlot(g_usbSlotCounter)) record.slotPaths[g_usbSlotCounter] = path;
        ++g_usbSlotCounter;
    }
    g_usbSlotCounter = 1;
}

void resetUsbDiscoveryState() { g_usbSlotCounter = 1; }

}  // namespace qov
