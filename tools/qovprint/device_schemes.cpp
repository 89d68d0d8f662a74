#include "device_schemes.h"

#include <pappl/pappl.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <string>

#include "job_claims.h"
#include "library_link.h"
#include "qovlib.h"

namespace qovprint {

namespace {

using namespace std::chrono_literals;

// How long a job waits while another printer's job holds the library.
constexpr auto kOpenWait = 120s;

// The open device that holds the library (one at a time: the library has one connection).
std::atomic<pappl_device_t*> gHolder{nullptr};

void releaseLibrary() {
    LibraryLink::instance().noteJobUse();
    LibraryLink::instance().release();
}

bool deviceOpen(pappl_device_t* device, const char* uri, const char*) {
    std::string error;
    if (!LibraryLink::instance().acquire(uri ? uri : "", kOpenWait, &error)) {
        papplDeviceError(device, "%s", error.c_str());
        return false;
    }
    gHolder = device;
    LibraryLink::instance().noteJobUse();
    return true;
}

void deviceClose(pappl_device_t* device) {
    pappl_device_t* expected = device;
    if (!gHolder.compare_exchange_strong(expected, nullptr)) return;  // closed already
    // A second thread PAPPL started on the same job closes the device while
    // the first still prints: the library goes back when that job ends.
    if (deferWhileClaimed(releaseLibrary)) return;
    releaseLibrary();
}

// Replies come back through the status reads; nothing else reads.
ssize_t deviceRead(pappl_device_t*, void*, size_t) { return -1; }

ssize_t deviceWrite(pappl_device_t* device, const void* buffer, size_t bytes) {
    const char* p = static_cast<const char*>(buffer);
    size_t left = bytes;
    while (left) {
        const int n = left > INT_MAX ? INT_MAX : static_cast<int>(left);
        if (!sendBinaryDataNoCRLF(p, n)) {
            papplDeviceError(device, "The printer took no data.");
            LibraryLink::instance().closeCurrent();  // opened anew for the next job
            return -1;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(bytes);
}

// The printer's reasons come from the status poller.
pappl_preason_t deviceStatus(pappl_device_t*) { return PAPPL_PREASON_NONE; }

}  // namespace

void addDeviceSchemes() {
    struct Scheme {
        const char* name;
        pappl_devtype_t type;
    } schemes[] = {{"socket", PAPPL_DEVTYPE_SOCKET},
                   {"file", PAPPL_DEVTYPE_FILE},
                   {"usb", PAPPL_DEVTYPE_USB},
                   {"serial", PAPPL_DEVTYPE_CUSTOM_LOCAL},
                   {"parallel", PAPPL_DEVTYPE_CUSTOM_LOCAL}};
    for (const Scheme& s : schemes)
        papplDeviceAddScheme(s.name, s.type, nullptr, deviceOpen, deviceClose, deviceRead, deviceWrite, deviceStatus,
                             nullptr);
}

}  // namespace qovprint
