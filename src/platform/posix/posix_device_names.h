// Windows device names on Linux: COM1..COM5, LPT1..LPT4 and USB device
// paths, each mapped to a device file; anything else is a plain path.
//
// Defaults: COMn -> /dev/ttyS<n-1>, LPTn -> /dev/lp<n-1>. The environment
// overrides each port with a path: QOVLIB_COM1..QOVLIB_COM5,
// QOVLIB_LPT1..QOVLIB_LPT4.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/posix_objects.h"

namespace qov::posix {

struct ResolvedName {
    std::string path;
    DeviceKind kind = DeviceKind::File;
    // A port or device: never created, never truncated.
    bool device = false;
};

// Resolves a name given to createFile. False (with a Windows error code in
// *error) for a name that looks like a device but names none: another COM or
// LPT number, or a USB device path no present printer has.
bool resolveDeviceName(const char* name, ResolvedName& out, std::uint32_t* error);

}  // namespace qov::posix
