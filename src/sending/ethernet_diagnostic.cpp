// Ethernetsend: a diagnostic exchange on the current socket that shows the
// user every answer of the printer.
#include "qovlib.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "connections/connection_record.h"
#include "export_guard.h"
#include "reading/receive_state.h"
#include "sending/socket_send.h"

namespace {
constexpr const char* kCaption = "Error Message";
// Each receive takes at most this much, so one box shows one short piece.
constexpr int kDiagnosticReceiveSize = 500;
// A socket opened by openethernet_async is non-blocking: a receive that
// finds nothing yet is retried every poll, for as long as the blocking
// socket's receive time-out, so both end the same way after the printer's
// last data.
constexpr std::uint32_t kReceiveTimeoutMs = 1000;
constexpr std::uint32_t kPollMs = 50;

void showBox(const char* text) { qov::os().messageBox(text, kCaption, qov::Icon::Warning); }
}  // namespace

namespace qov {
namespace {

int exchange(char* text) {
    ReceiveState& rs = receiveState();
    clearReceiveBufferAndUsbCount();

    const Socket s = connection().networkSocket;
    // A failed send shows in the receives that follow.
    sending::sendAll(s, text, std::strlen(text));

    static_assert(kDiagnosticReceiveSize < sizeof rs.networkChunk, "chunk keeps a terminator");
    std::uint32_t quietMs = 0;
    for (;;) {
        std::memset(rs.networkChunk, 0, sizeof rs.networkChunk);
        const int n = os().recv(s, rs.networkChunk, kDiagnosticReceiveSize);
        if (n == 0) break;  // the printer closed the connection
        if (n < 0 && os().socketLastError() == kWsaWouldBlock && quietMs < kReceiveTimeoutMs) {
            os().sleep(kPollMs);
            quietMs += kPollMs;
            continue;
        }
        quietMs = 0;
        if (n < 0) {
            char number[16];
            std::snprintf(number, sizeof number, "%d", n);
            showBox(number);
            showBox("end");
            return 1;
        }
        // The chunk stays zero past what was received, so it reads as text.
        showBox(reinterpret_cast<const char*>(rs.networkChunk));
    }
    showBox("Hi");
    os().writeStdout("Connection Closed.\n");
    return 1;
}

}  // namespace
}  // namespace qov

int Ethernetsend(char* text) {
    return qov::noThrow<int>(0, [&]() -> int {
        if (text == nullptr) return 0;
        return qov::exchange(text);
    });
}
