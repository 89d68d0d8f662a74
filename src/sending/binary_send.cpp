// Counted byte blocks (image and font data may hold zero bytes).
#include "qovlib.h"

#include "connections/connection_record.h"
#include "export_guard.h"
#include "sending/send_route.h"

namespace qov::sending {
namespace {

int sendBlock(const char* data, int length, const SendStyle& style) {
    if (data == nullptr || length < 0) return 0;
    if (connection().connectionOpenFlag == 0) return 0;
    const auto size = static_cast<std::uint32_t>(length);
    if (size > kMaxSendLength) return 0;
    return deliver(currentRoute(), kBinaryOrder, data, size, style);
}

}  // namespace
}  // namespace qov::sending

using qov::sending::SendStyle;
using qov::sending::SerialWait;

// On a COM port the block and the line end are two writes, each waited for
// on the handle.
int sendBinaryData(const char* data, int length) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendBlock(data, length, SendStyle{true, SerialWait::OnHandle, true});
    });
}

// On a COM port the block goes through the port overlapped record; its
// event is used up by the write.
int sendBinaryDataNoCRLF(const char* data, int length) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendBlock(data, length, SendStyle{false, SerialWait::PortRecord, false});
    });
}
