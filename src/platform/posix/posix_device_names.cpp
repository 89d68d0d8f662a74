#include "platform/posix/posix_device_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/platform.h"
#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_usb_sysfs.h"

namespace qov::posix {

namespace {

// "COM" or "LPT" followed by digits only (case-insensitive); *number gets
// their value.
bool portNumber(const char* name, const char* prefix, long* number) {
    if (strncasecmp(name, prefix, 3) != 0) return false;
    const char* digits = name + 3;
    if (!*digits) return false;
    for (const char* p = digits; *p; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    if (std::strlen(digits) > 6) {
        *number = -1;
        return true;
    }
    *number = std::strtol(digits, nullptr, 10);
    return true;
}

std::string portPath(const char* envPrefix, long n, const char* defaultStem, long base) {
    std::string var = std::string(envPrefix) + std::to_string(n);
    const char* v = std::getenv(var.c_str());
    if (v && *v) return v;
    return std::string(defaultStem) + std::to_string(n - base);
}

}  // namespace

bool resolveDeviceName(const char* name, ResolvedName& out, std::uint32_t* error) {
    out = ResolvedName{};
    // The Win32 device namespace prefix "\\.\" names the same ports.
    const char* bare = std::strncmp(name, "\\\\.\\", 4) == 0 ? name + 4 : name;

    long n = 0;
    if (portNumber(bare, "COM", &n)) {
        if (n < 1 || n > 5) {
            *error = kErrorFileNotFound;
            return false;
        }
        out.path = portPath("QOVLIB_COM", n, "/dev/ttyS", 1);
        out.kind = DeviceKind::Serial;
        out.device = true;
        return true;
    }
    if (portNumber(bare, "LPT", &n)) {
        if (n < 1 || n > 4) {
            *error = kErrorFileNotFound;
            return false;
        }
        out.path = portPath("QOVLIB_LPT", n, "/dev/lp", 1);
        out.kind = DeviceKind::Parallel;
        out.device = true;
        return true;
    }
    if (strncasecmp(name, "\\\\?\\usb#", 8) == 0) {
        for (const UsbPrinter& p : scanUsbPrinters()) {
            if (strcasecmp(p.devicePath.c_str(), name) == 0) {
                out.path = p.nodePath;
                out.kind = DeviceKind::Usb;
                out.device = true;
                return true;
            }
        }
        *error = kErrorFileNotFound;
        return false;
    }
    if (!*name) {
        *error = kErrorPathNotFound;
        return false;
    }
    out.path = name;
    return true;
}

}  // namespace qov::posix
