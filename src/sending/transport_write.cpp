#include "sending/transport_write.h"

#include "connections/connection_record.h"
#include "sending/overlapped_write.h"
#include "sending/socket_send.h"

namespace qov::sending {

void writeSpooler(Handle printer, const void* data, std::uint32_t size) {
    std::uint32_t written = 0;
    os().writePrinter(printer, data, size, &written);
}

void writePlainFile(Handle h, const void* data, std::uint32_t size) {
    std::uint32_t written = 0;
    os().writeFile(h, data, size, &written, nullptr);
}

void writeDevice(Handle h, bool overlappedHandle, const void* data, std::uint32_t size) {
    if (overlappedHandle) {
        overlappedWrite(h, data, size);
    } else {
        writePlainFile(h, data, size);
    }
}

bool writeSocket(Socket s, const void* data, std::uint32_t size) {
    return sendAll(s, data, size);
}

namespace {

// Waits for a pending write in `ov`. With `ownEvent` the event is waited on
// first and the result collected without waiting; otherwise the result call
// itself waits.
void finishPendingWrite(Handle h, Overlapped& ov, bool ownEvent) {
    std::uint32_t transferred = 0;
    if (!ownEvent) {
        os().getOverlappedResult(h, &ov, &transferred, true);
        return;
    }
    if (os().waitForSingleObject(ov.event, kInfinite) == WaitResult::Signaled) {
        os().getOverlappedResult(h, &ov, &transferred, false);
        return;
    }
    // The wait failed while the request may still be using the record on
    // our stack: cancel it and let it finish before the record goes away.
    os().cancelIo(h);
    os().getOverlappedResult(h, &ov, &transferred, true);
}

bool writeWithRecord(Handle h, const void* data, std::uint32_t size, Overlapped& ov,
                     bool ownEvent) {
    std::uint32_t written = 0;
    if (!os().writeFile(h, data, size, &written, &ov) &&
        os().lastError() == kErrorIoPending) {
        finishPendingWrite(h, ov, ownEvent);
    }
    return true;
}

}  // namespace

bool writeSerial(Handle h, const void* data, std::uint32_t size, SerialWait wait) {
    switch (wait) {
        case SerialWait::OwnEvent: {
            Overlapped ov{};
            ov.event = os().createEvent(true, false);
            if (ov.event == kNullHandle) return false;
            writeWithRecord(h, data, size, ov, true);
            os().closeHandle(ov.event);
            return true;
        }
        case SerialWait::OnHandle: {
            Overlapped ov{};
            return writeWithRecord(h, data, size, ov, false);
        }
        case SerialWait::PortRecord: {
            Overlapped& ov = connection().portOverlapped;
            Handle event = ov.event;
            // An earlier binary send closed the port event: renew it. When
            // that fails the write still goes out, waited for on the handle.
            if (event == kNullHandle) event = os().createEvent(true, false);
            ov = Overlapped{};
            ov.event = event;
            writeWithRecord(h, data, size, ov, false);
            if (ov.event != kNullHandle) os().closeHandle(ov.event);
            ov.event = kNullHandle;
            return true;
        }
    }
    return false;
}

}  // namespace qov::sending
