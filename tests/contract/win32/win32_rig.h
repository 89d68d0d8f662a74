// The contract rig of the Windows backend, run under Wine: files in a
// temporary folder, a named pipe as the device, a loopback peer on Winsock.
// Only the services Wine can show are tested here (files and overlapped
// requests, events, sockets, code pages, the clock); serial lines, the
// spooler, USB and message boxes need the world scripts/wine_tests.sh sets
// up for the DLL's own suite. Time is real.
#pragma once

#include <memory>
#include <string>

#include "contract_rig.h"
#include "loopback_peer.h"
#include "platform/platform.h"

namespace qov::contract {

class Win32Rig {
public:
    Win32Rig();
    ~Win32Rig();
    Win32Rig(const Win32Rig&) = delete;
    Win32Rig& operator=(const Win32Rig&) = delete;
    static const char* name() { return "win32"; }
    Platform& os() { return nativePlatform(); }
    std::int64_t nowMs();
    std::int64_t calendarNow();

    // files and devices
    std::string newFilePath(const std::string& name);
    void putFile(const std::string& path, const std::string& bytes);
    std::string fileBytes(const std::string& path);
    std::string addPipe();
    void pipePut(const std::string& bytes);
    std::string pipeTake(std::size_t size);

    // sockets
    std::uint16_t listeningPort();
    std::uint16_t refusingPort() { return LoopbackPeer::closedPort(); }
    void peerSend(const std::string& bytes) { peer_->send(bytes); }
    std::string peerTake(std::size_t size) { return peer_->take(size); }
    void peerClose() { peer_->hangUp(); }

private:
    bool connectPipe();

    std::string dir_;
    void* pipe_ = nullptr;  // the server end (HANDLE)
    std::unique_ptr<LoopbackPeer> peer_;
};

}  // namespace qov::contract
