// Making the printer restart: ESC "!R" and a line end (LF for serial and
// network, CR for USB).
#include <cstring>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "export_guard.h"
#include "qovlib.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"
#include "sending/socket_send.h"

int comportprinterrestart(void) {
    return qov::noThrow(1, [&] {
        qov::zeroReceiveBuffer();
        qov::receiveState().usbCount = 0;
        char restart[] = "\x1b!R\n";
        ComportSendData(restart);
        return 1;
    });
}

int ethernetprinterrestart(void) {
    return qov::noThrow(1, [] {
        char restart[200] = {};
        std::memcpy(restart, "\x1b!R\n", 4);
        qov::sending::sendAll(qov::connection().networkSocket, restart, 4);
        return 1;
    });
}

int usbprinterrestart(void) {
    return qov::noThrow<int>(-1, [&]() -> int {
        qov::UsbSearchRecord record;
        qov::discoverLastUsbDevice(record);
        if (!record.found) return -1;
        const qov::Handle h =
            qov::os().createFile(record.devicePath.c_str(), qov::kAccessRead | qov::kAccessWrite, 0,
                                 qov::Disposition::OpenExisting, 0);
        if (h == qov::kInvalidHandle) return -2;
        std::uint32_t written = 0;
        qov::os().writeFile(h, "\x1b!R\r", 4, &written, nullptr);
        qov::os().closeHandle(h);
        return 1;
    });
}
