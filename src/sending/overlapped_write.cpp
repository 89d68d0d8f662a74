#include "sending/overlapped_write.h"

#include "reading/receive_state.h"

namespace qov {

std::uint32_t overlappedWrite(Handle h, const void* data, std::uint32_t size) {
    // Whatever was received and not yet read belongs to the previous
    // exchange; the answer to these bytes starts from an empty buffer.
    clearReceiveBufferAndUsbCount();

    Overlapped ov{};
    ov.event = os().createEvent(true, false);
    if (ov.event == kNullHandle) return 0;

    std::uint32_t written = 0;
    std::uint32_t result = 0;
    if (os().writeFile(h, data, size, &written, &ov)) {
        result = written == size ? written : 0;
    } else if (os().lastError() == kErrorIoPending) {
        if (os().waitForSingleObject(ov.event, kInfinite) == WaitResult::Signaled) {
            os().setLastError(kErrorSuccess);
            written = 0;
            if (!os().getOverlappedResult(h, &ov, &written, false) &&
                os().lastError() == kErrorOperationAborted) {
                written = 0;
            }
            result = written == size ? written : 0;
        } else {
            os().cancelIo(h);
            // The cancelled request still refers to `ov`; let it finish
            // before the record leaves this frame.
            std::uint32_t ignored = 0;
            os().getOverlappedResult(h, &ov, &ignored, true);
            result = 0;
        }
    }
    os().closeHandle(ov.event);
    return result;
}

}  // namespace qov
