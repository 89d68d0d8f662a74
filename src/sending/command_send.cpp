// The command sends of the current connection.
#include "qovlib.h"

#include "connections/connection_record.h"
#include "export_guard.h"
#include "sending/send_route.h"

namespace qov::sending {
namespace {

int sendCurrentCommand(const char* text, const SendStyle& style) {
    if (text == nullptr) return 0;
    if (connection().connectionOpenFlag == 0) return 0;
    std::uint32_t size = 0;
    if (!copyCommandText(text, &size)) return 0;
    return deliver(currentRoute(), kCommandOrder, connection().sendCopy.data(), size, style);
}

}  // namespace
}  // namespace qov::sending

using qov::sending::SendStyle;
using qov::sending::SerialWait;

int sendcommand(const char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendCurrentCommand(text, SendStyle{true, SerialWait::OwnEvent, false});
    });
}

int sendcommand_withoutcrlf(char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendCurrentCommand(text, SendStyle{false, SerialWait::OwnEvent, false});
    });
}

// Same bytes as sendcommand_withoutcrlf; on a COM port it waits for the
// write through the handle instead of an event of its own.
int sendcommandnocrlf(const char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendCurrentCommand(text, SendStyle{false, SerialWait::OnHandle, false});
    });
}
