// Serial ports: GetCommState, SetCommState, SetCommTimeouts.
//
// The library only ever changes five fields of the port's DCB; setCommState
// therefore starts from the port's current DCB and writes those five on top,
// so flow control, special characters and the rest stay as the port had them.
#include "platform/win32/win32_platform.h"

namespace qov::win32 {

namespace {

bool readDcb(Handle h, DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    return GetCommState(toWin(h), &dcb) != FALSE;
}

}  // namespace

bool Win32Platform::getCommState(Handle h, SerialState* state) {
    DCB dcb;
    if (!readDcb(h, dcb)) return false;
    if (state) {
        state->baudRate = dcb.BaudRate;
        state->parityCheck = static_cast<std::uint8_t>(dcb.fParity);
        state->byteSize = dcb.ByteSize;
        state->parity = dcb.Parity;
        state->stopBits = dcb.StopBits;
    }
    return true;
}

bool Win32Platform::setCommState(Handle h, const SerialState& state) {
    DCB dcb;
    if (!readDcb(h, dcb)) return false;
    dcb.BaudRate = state.baudRate;
    dcb.fParity = state.parityCheck ? 1 : 0;
    dcb.ByteSize = state.byteSize;
    dcb.Parity = state.parity;
    dcb.StopBits = state.stopBits;
    return SetCommState(toWin(h), &dcb) != FALSE;
}

bool Win32Platform::setCommTimeouts(Handle h, const CommTimeouts& t) {
    COMMTIMEOUTS timeouts{t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                          t.writeTotalMultiplier, t.writeTotalConstant};
    return SetCommTimeouts(toWin(h), &timeouts) != FALSE;
}

}  // namespace qov::win32
