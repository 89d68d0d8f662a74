// opencomport, SetRS232 and comportdefault: the line parameters of a COM
// port.
#include <cstdint>

#include "connections/connection_record.h"
#include "connections/held_handles.h"
#include "export_guard.h"
#include "platform/platform.h"
#include "qovlib.h"

namespace qov {
namespace {

// 9600 baud, 8 data bits, no parity (and no parity check), one stop bit.
void applyFixedParameters(SerialState& s) {
    s.baudRate = 9600;
    s.parityCheck = 0;
    s.byteSize = 8;
    s.parity = 0;
    s.stopBits = 0;
}

// Reads the port's state, lets `change` edit it and writes it back. A state
// that could not be read is never written.
template <class Change>
void rewriteLineState(Handle h, SerialState& state, Change&& change) {
    if (!os().getCommState(h, &state)) return;
    change(state);
    os().setCommState(h, state);
}

Handle openComOverlapped(const char* name) {
    // No sharing: a port another open holds is not reconfigured under it.
    return os().createFile(name, kAccessRead | kAccessWrite, 0,
                           Disposition::CreateAlways, kFlagOverlapped | kFlagNormalAttributes);
}

constexpr std::uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,  4800, 9600,
                                        14400, 19200, 38400, 56000, 57600, 115200};

void applyChoices(SerialState& s, int baud, int parity, int dataBits, int stopBits) {
    if (baud >= 0 && baud < static_cast<int>(sizeof kBaudRates / sizeof kBaudRates[0])) {
        s.baudRate = kBaudRates[baud];
    }
    if (parity >= 0 && parity <= 2) s.parity = static_cast<std::uint8_t>(parity);
    if (dataBits == 0) s.byteSize = 8;
    if (dataBits == 1) s.byteSize = 7;
    if (stopBits >= 0 && stopBits <= 2) s.stopBits = static_cast<std::uint8_t>(stopBits);
}

// The "1" that opencomport always returns.
char g_openComResult[] = "1";

}  // namespace
}  // namespace qov

// A port that cannot be opened still counts as open: callers only ever see
// "1", and sends to the invalid handle have no effect. A null name opens
// nothing.
char* opencomport(char* name) {
    return qov::noThrow<char*>(qov::g_openComResult, [&]() -> char* {
        using namespace qov;
        if (name == nullptr) return g_openComResult;
        ConnectionRecord& c = connection();
        // The port opens without sharing: a handle still held on it (an
        // earlier opencomport) would make the reopen fail, and any other
        // held handle would be lost when replaced.
        releaseCurrentHandle(c);
        c.current.handle = openComOverlapped(name);
        SerialState state;
        rewriteLineState(c.current.handle, state, applyFixedParameters);
        c.connectionOpenFlag = 1;
        c.serialFlag = 1;
        return g_openComResult;
    });
}

// Uses a handle of its own and closes it again, so whatever connection holds
// the device handle keeps it.
int SetRS232(char* name, int baud, int parity, int dataBits, int stopBits) {
    return qov::noThrow<int>(1, [&]() -> int {
        using namespace qov;
        if (name == nullptr) return 1;
        const Handle h = openComOverlapped(name);
        rewriteLineState(h, connection().serialSettings, [&](SerialState& s) {
            applyChoices(s, baud, parity, dataBits, stopBits);
        });
        if (h != kInvalidHandle) os().closeHandle(h);
        return 1;
    });
}

int comportdefault(void) {
    return qov::noThrow<int>(1, [&]() -> int {
        using namespace qov;
        SerialState state;
        rewriteLineState(connection().current.handle, state, applyFixedParameters);
        return 1;
    });
}
