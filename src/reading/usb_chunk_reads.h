// The USB chunk readers behind UsbReadData, UsbReadData_mult, UsbReadStatus,
// UsbReadStatusDataToBuffer and UsbReadDataToBuffer.
#pragma once

#include "platform/platform.h"

namespace qov {

bool usbReadData(Handle h);
bool usbReadDataMult(Handle h);
bool usbReadStatus(Handle h);
bool usbReadStatusDataToBuffer(Handle h);
// The code-page reader: stores up to an STX (true, unstored) or a CR
// (false, stored), wrapping at the end of the receive buffer.
bool usbReadDataToBuffer(Handle h);

}  // namespace qov
