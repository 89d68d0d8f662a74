// The Linux library's native backend.
#include "platform/posix/posix_platform.h"

namespace qov {

Platform& nativePlatform() {
    static posix::PosixPlatform platform;
    return platform;
}

}  // namespace qov
