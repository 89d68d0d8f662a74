// The process-global receive state shared by every reader.
//
// Incoming bytes are appended to the receive buffer; the USB, serial and
// network readers each keep their own count. The overlapped write of the
// sending side clears the buffer and the USB count before it writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace qov {

constexpr std::size_t kReceiveBufferSize = 65536;
constexpr std::size_t kReadChunkSize = 512;
constexpr std::size_t kNetworkChunkSize = 65536;
// Reply copies kept alive: a returned reply stays valid for the next
// kReplyRingSize - 1 replies, and memory stays bounded.
constexpr std::size_t kReplyRingSize = 16;

struct ReceiveState {
    // One byte more than the buffer's size, always 0, so the buffer reads as
    // NUL-terminated text even when every byte of it was received.
    unsigned char receiveBuffer[kReceiveBufferSize + 1] = {};
    int usbCount = 0;
    int serialCount = 0;
    int networkCount = 0;

    unsigned char usbChunk[kReadChunkSize] = {};
    unsigned char serialChunk[kReadChunkSize] = {};
    // One byte more than a receive may fill, always 0 (see receiveBuffer).
    unsigned char networkChunk[kNetworkChunkSize + 1] = {};

    // The text the read exports return: a fixed text or a reply copy.
    const char* replyText = "";
    int socketErrorFlag = 0;

    // Read overlapped record and its event, used by the serial and
    // overlapped-USB readers; closeport closes the event with a COM port.
    Overlapped readOverlapped{};

    // The last replies, whole; replyText points into one of them.
    std::string replies[kReplyRingSize];
    std::size_t nextReply = 0;
};

// The process-global receive state: zero at load, reply text "".
ReceiveState& receiveState();

// Clears the whole receive buffer and the USB count (the overlapped write
// does this before every write).
void clearReceiveBufferAndUsbCount();

// Closes the read event if one is held, and forgets it.
void closeReadEvent();

// Gives the read record a fresh event in place of the previous read's.
// False when no event could be made.
bool renewReadEvent();

// Resets the receive state to its state at load (tests).
void resetReceiveState();

}  // namespace qov
