// The command sends addressed to a connection slot.
#include "qovlib.h"

#include "connections/connection_record.h"
#include "export_guard.h"
#include "sending/send_route.h"

namespace qov::sending {
namespace {

// sendcommand_mult and sendcommand_withoutcrlf_mult: slot 1 is the current
// connection, its socket included.
int sendSharedSlotCommand(int slot, const char* text, bool lineEnd) {
    if (!validSlot(slot) || text == nullptr) return 0;
    std::uint32_t size = 0;
    if (!copyCommandText(text, &size)) return 0;
    return deliver(sharedSlotRoute(slot), kSlotCommandOrder, connection().sendCopy.data(), size,
                   SendStyle{lineEnd, SerialWait::OwnEvent, false});
}

}  // namespace
}  // namespace qov::sending

int sendcommand_mult(int slot, char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendSharedSlotCommand(slot, text, true);
    });
}

int sendcommand_withoutcrlf_mult(int slot, char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        return qov::sending::sendSharedSlotCommand(slot, text, false);
    });
}

// Every slot through its own socket: for slot 1 the socket of
// openethernetmult(1, ...), not the current connection's.
int sendcommandmult(int slot, char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        using namespace qov::sending;
        if (!qov::validSlot(slot) || text == nullptr) return 0;
        std::uint32_t size = 0;
        if (!copyCommandText(text, &size)) return 0;
        return deliver(ownSlotRoute(slot), kUsbFirstOrder, qov::connection().sendCopy.data(),
                       size, SendStyle{true, SerialWait::OwnEvent, false});
    });
}
