// The sends that put text on the wire as UTF-8.
#include "qovlib.h"

#include <string>

#include "connections/connection_record.h"
#include "export_guard.h"
#include "sending/send_route.h"
#include "sending/text_encoding.h"

namespace qov::sending {
namespace {

constexpr SendStyle kWithLineEnd{true, SerialWait::OwnEvent, false};

// The converted bytes are sent from their own buffer; the send copy buffer
// keeps the last command text.
bool withinSendLimit(const std::string& utf8) { return utf8.size() <= kMaxSendLength; }

}  // namespace
}  // namespace qov::sending

int sendcommandutf8(const char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        using namespace qov::sending;
        if (text == nullptr) return 0;
        std::string utf8;
        if (!ansiToUtf8(text, utf8) || !withinSendLimit(utf8)) return 0;
        if (qov::connection().connectionOpenFlag == 0) return 0;
        return deliver(currentRoute(), kCommandOrder, utf8.data(),
                       static_cast<std::uint32_t>(utf8.size()), kWithLineEnd);
    });
}

int sendcommandutf8_mult(int slot, char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        using namespace qov::sending;
        if (!qov::validSlot(slot) || text == nullptr) return 0;
        std::string utf8;
        if (!ansiToUtf8(text, utf8) || !withinSendLimit(utf8)) return 0;
        return deliver(sharedSlotRoute(slot), kSlotCommandOrder, utf8.data(),
                       static_cast<std::uint32_t>(utf8.size()), kWithLineEnd);
    });
}

// Wide text goes out as UTF-8, like the other encoded sends.
int sendcommandUnicode(wchar_t* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        using namespace qov::sending;
        if (text == nullptr) return 0;
        if (qov::connection().connectionOpenFlag == 0) return 0;
        std::string utf8;
        if (!utf16ToUtf8(wideToUtf16(text), utf8) || !withinSendLimit(utf8)) return 0;
        return deliver(currentRoute(), kCommandOrder, utf8.data(),
                       static_cast<std::uint32_t>(utf8.size()), kWithLineEnd);
    });
}
