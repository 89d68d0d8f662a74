// termios2 lives in the kernel's headers, whose struct termios clashes with
// the C library's: this file includes only those.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "platform/posix/posix_serial.h"

namespace qov::posix {

bool setCustomBaud(int fd, std::uint32_t baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    t.c_cflag &= ~(CBAUD << IBSHIFT);  // input speed follows the output speed
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool getCustomBaud(int fd, std::uint32_t* baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    *baud = t.c_ospeed;
    return true;
}

}  // namespace qov::posix
