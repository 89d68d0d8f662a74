// The printer's status report, and where it volunteers status reports.
#include <cstring>

#include "connections/connection_record.h"
#include "export_guard.h"
#include "qovlib.h"
#include "reading/receive_state.h"
#include "reading/reply_search.h"

namespace qov {

namespace {

const char* statusSetupText(int mode) {
    switch (mode) {
    case 0: return "~NORMAL\r\n~CONFIG\r\nSNOOP;OFF\r\nEND\r\n";
    case 1: return "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;SER\r\nEND\r\n";
    case 2: return "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;PAR\r\nEND\r\n";
    case 3: return "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;ETH\r\nEND\r\n";
    default: return nullptr;
    }
}

const char* getStatus() {
    auto& rs = receiveState();
    const auto& c = connection();
    rs.usbCount = 0;
    std::memset(rs.receiveBuffer, 0, kReadChunkSize);
    if (c.current.spoolerFlag == 1 || c.parallelFlag == 1) {
        os().sleep(100);
        return kEmptyText;
    }
    if (c.current.usbFlag == 1 || c.serialFlag == 1 || c.networkFlag == 1) {
        char request[] = "~NORMAL\r\n~STATUS";  // no line end: the printer answers at once
        sendcommand_withoutcrlf(request);
        return QOVA_Read("END\r\n");
    }
    return kEmptyText;
}

}  // namespace
}  // namespace qov

const char* QOVA_GetStatus(void) {
    return qov::noThrow<const char*>(qov::kFailedText, [&] { return qov::getStatus(); });
}

int QOVA_SetupStatus(int mode) {
    return qov::noThrow<int>(0, [&]() -> int {
        const char* text = qov::statusSetupText(mode);
        if (!text) return 0;  // no status interface of that number: nothing to send
        return sendcommand(text);
    });
}

int QOVA_SetupStatus_Mult(int slot, int mode) {
    return qov::noThrow<int>(0, [&]() -> int {
        const char* text = qov::statusSetupText(mode);
        if (!text) return 0;
        std::string copy(text);
        return sendcommand_mult(slot, &copy[0]);
    });
}
