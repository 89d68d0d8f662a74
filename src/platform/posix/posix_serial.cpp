// COM ports: the DCB fields the library changes, on termios.
#include "platform/posix/posix_serial.h"

#include <termios.h>

#include <cerrno>

#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_objects.h"
#include "platform/posix/posix_platform.h"

namespace qov::posix {

namespace {

struct SpeedCode {
    std::uint32_t baud;
    speed_t code;
};

const SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedCode(std::uint32_t baud, speed_t* code) {
    for (const SpeedCode& s : kSpeeds)
        if (s.baud == baud) {
            *code = s.code;
            return true;
        }
    return false;
}

bool baudOf(speed_t code, std::uint32_t* baud) {
    for (const SpeedCode& s : kSpeeds)
        if (s.code == code) {
            *baud = s.baud;
            return true;
        }
    return false;
}

// The serial port behind a handle, or nullptr with the Windows error set.
FileObject* serialPort(Handle h) {
    FileObject* f = findFile(h);
    if (!f) {
        setThreadLastError(kErrorInvalidHandle);
        return nullptr;
    }
    if (f->kind != DeviceKind::Serial) {
        setThreadLastError(kErrorInvalidFunction);
        return nullptr;
    }
    return f;
}

}  // namespace

void makeRawKeepingLine(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

bool PosixPlatform::getCommState(Handle h, SerialState* state) {
    FileObject* f = serialPort(h);
    if (!f) return false;
    termios t{};
    if (!f->tty || tcgetattr(f->fd, &t) != 0) {
        setThreadLastError(kErrorInvalidFunction);
        return false;
    }
    SerialState s;
    if (!baudOf(cfgetospeed(&t), &s.baudRate) && !getCustomBaud(f->fd, &s.baudRate))
        s.baudRate = 0;
    switch (t.c_cflag & CSIZE) {
        case CS5: s.byteSize = 5; break;
        case CS6: s.byteSize = 6; break;
        case CS7: s.byteSize = 7; break;
        default: s.byteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        s.parity = 0;
    else if (t.c_cflag & CMSPAR)
        s.parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
        s.parity = (t.c_cflag & PARODD) ? 1 : 2;
    s.stopBits = (t.c_cflag & CSTOPB) ? (f->oneAndHalfStopBits ? 1 : 2) : 0;
    s.parityCheck = (t.c_iflag & INPCK) ? 1 : 0;
    *state = s;
    return true;
}

bool PosixPlatform::setCommState(Handle h, const SerialState& s) {
    FileObject* f = serialPort(h);
    if (!f) return false;
    if (s.baudRate == 0 || s.byteSize < 5 || s.byteSize > 8 || s.parity > 4 || s.stopBits > 2) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    termios t{};
    if (!f->tty || tcgetattr(f->fd, &t) != 0) {
        setThreadLastError(kErrorInvalidFunction);
        return false;
    }
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= kSizes[s.byteSize - 5];
    switch (s.parity) {
        case 1: t.c_cflag |= PARENB | PARODD; break;
        case 2: t.c_cflag |= PARENB; break;
        case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case 4: t.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    if (s.stopBits != 0) t.c_cflag |= CSTOPB;
    if (s.parityCheck)
        t.c_iflag |= INPCK;
    else
        t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    speed_t code;
    bool standard = speedCode(s.baudRate, &code);
    if (standard) {
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    if (tcsetattr(f->fd, TCSANOW, &t) != 0) {
        setLastErrorFromErrno(errno);
        return false;
    }
    if (!standard && !setCustomBaud(f->fd, s.baudRate)) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    f->oneAndHalfStopBits = s.stopBits == 1;
    return true;
}

bool PosixPlatform::setCommTimeouts(Handle h, const CommTimeouts& timeouts) {
    FileObject* f = serialPort(h);
    if (!f) return false;
    f->timeouts = timeouts;
    return true;
}

}  // namespace qov::posix
