// QOVA_DownloadPCX: an image file stored in the printer as a named logo.
// The file's bytes go out unchanged between a "~LOGO" header that declares
// them as PCX and the raster-end trailer.
#include "qovlib.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "connections/connection_record.h"
#include "export_guard.h"
#include "sending/transport_write.h"

namespace qov {
namespace {

void warn(const char* text, const char* caption) { os().messageBox(text, caption, Icon::Warning); }

// Closes the image file on every way out, after any message box.
class OpenFile {
public:
    explicit OpenFile(Handle h) : h_(h) {}
    ~OpenFile() { os().closeHandle(h_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    Handle handle() const { return h_; }

private:
    Handle h_;
};

// Writes the body on the first transport the connection has, in the order
// spooler, LPT or USB, COM, network. False when none applies, the COM
// write cannot get its event (nothing written then) or the socket failed or
// stalled.
bool writeBody(const char* data, std::uint32_t size) {
    ConnectionRecord& c = connection();
    if (c.current.spoolerFlag != 0) {
        sending::writeSpooler(c.current.handle, data, size);
    } else if (c.parallelFlag != 0) {
        sending::writePlainFile(c.current.handle, data, size);
    } else if (c.current.usbFlag != 0) {
        // A handle opened for overlapped I/O takes only overlapped writes.
        sending::writeDevice(c.current.handle, c.current.overlappedUsbFlag != 0, data, size);
    } else if (c.serialFlag != 0) {
        return sending::writeSerial(c.current.handle, data, size, sending::SerialWait::OwnEvent);
    } else if (c.networkFlag != 0) {
        return sending::writeSocket(c.networkSocket, data, size);
    } else {
        return false;
    }
    return true;
}

// The socket is the transport of this download (it comes last).
bool networkOnly(const ConnectionRecord& c) {
    return c.current.spoolerFlag == 0 && c.parallelFlag == 0 && c.current.usbFlag == 0 &&
           c.serialFlag == 0 && c.networkFlag != 0;
}

int downloadImage(const char* path, const char* logoName) {
    ConnectionRecord& c = connection();
    if (c.connectionOpenFlag == 0) return 0;

    const Handle h = path ? os().createFile(path, kAccessRead, kShareRead,
                                            Disposition::OpenExisting, kFlagNormalAttributes)
                          : kInvalidHandle;
    if (h == kInvalidHandle) {
        warn("Could not open file", "Error Message");
        return 0;
    }
    OpenFile file(h);

    std::uint64_t size = 0;
    if (!os().fileSize(file.handle(), &size)) {
        warn("File read unsuccessfully", "Read File Message");
        return 0;
    }
    // The body goes out in one write, which takes at most this many bytes.
    if (size > sending::kMaxSendLength) {
        warn("Out of memory", "Error Message");
        return 0;
    }
    std::unique_ptr<char[]> body(new (std::nothrow) char[size > 0 ? size : 1]);
    if (!body) {
        warn("Out of memory", "Error Message");
        return 0;
    }
    std::uint32_t got = 0;
    if (!os().readFile(file.handle(), body.get(), static_cast<std::uint32_t>(size), &got,
                       nullptr)) {
        warn("File read unsuccessfully", "Read File Message");
        return 0;
    }

    // Built whole, whatever the name's length.
    std::string header = "~LOGO;";
    header += logoName ? logoName : "";
    header += ";PCX;DISK\r\n";
    const int headerSent = ZULOutBuffer(&header[0]);
    // On a socket that failed nothing more is written.
    if (headerSent == 0 && networkOnly(c)) return 0;
    std::string trailer = "~RASTEREND\r\nEND\r\n";

    // A fresh port event for the port overlapped record, whatever the
    // transport; the one it replaces is closed, not leaked.
    closePortEvent();
    c.portOverlapped = Overlapped{};
    c.portOverlapped.event = os().createEvent(true, false);

    // Only the bytes the read delivered are sent.
    if (!writeBody(body.get(), got)) return 0;
    if (ZULOutBuffer(&trailer[0]) == 0 && networkOnly(c)) return 0;
    return 1;
}

}  // namespace
}  // namespace qov

int QOVA_DownloadPCX(const char* path, const char* logoName) {
    return qov::noThrow(0, [&] { return qov::downloadImage(path, logoName); });
}
