// The state of the simulated OS, shared by its service files (sim_*.cpp).
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "library_state.h"
#include "platform/like_pattern.h"
#include "sim.h"
#include "sim_codepage.h"

namespace qov::sim {

constexpr std::uint64_t kNever = UINT64_MAX;

// A synchronous USB read with nothing to read ends empty after this wait, as
// on the real backends.
constexpr std::uint64_t kUsbReadWaitMs = 5000;

// Windows status values kept in Overlapped::internal.
constexpr std::uintptr_t kStatusSuccess = 0;
constexpr std::uintptr_t kStatusPending = 0x103;
constexpr std::uintptr_t kStatusCancelled = 0xC0000120;
constexpr std::uintptr_t kStatusDeviceGone = 0xC000009D;

// The scripted-peer machinery (sim_script.cpp).
void scheduleFrom(Endpoint& ep, std::uint64_t t);
void prime(Endpoint& ep);
void endpointWrite(Endpoint& ep, const std::string& bytes, std::uint64_t now);
enum class ReadState { Data, Closed, Failed, Nothing };
std::uint64_t endOfStream(const Endpoint& ep);
ReadState readState(Endpoint& ep, std::uint64_t now);
std::uint64_t nextReadEvent(Endpoint& ep);
std::uint32_t takeChunk(Endpoint& ep, void* data, std::uint32_t size);
std::string addrText(std::uint32_t addr);

struct SimPlatform::Impl {
    SimPlatform& self;
    explicit Impl(SimPlatform& s) : self(s) {}

    std::vector<std::unique_ptr<Printer>> printers;
    std::vector<std::unique_ptr<Device>> devices;
    struct UsbInterface {
        std::string path;
        bool detailFails;
    };
    std::vector<UsbInterface> usbInterfaces;
    std::vector<std::pair<std::pair<std::string, std::uint16_t>, std::unique_ptr<NetworkPeer>>> peers;

    std::uint32_t lastError = 0;
    std::intptr_t nextHandle = 0x1000;
    std::uint32_t nextJob = 1;

    enum class HType { Printer, Device, Event };
    struct HandleRec {
        HType type;
        bool open = true;
        Printer* printer = nullptr;
        Device* device = nullptr;
        bool overlapped = false;
        std::uint32_t access = 0, share = 0;
        std::uint64_t pos = 0;
        bool docOpen = false;
        // events
        bool manualReset = false;
        bool signaled = false;
    };
    std::map<Handle, HandleRec> handles;

    struct Request {
        Handle h;
        Overlapped* ov;
        Handle event;
        bool write;
        char* buf;
        std::uint32_t size;
        std::uint64_t completeAt;  // writes
        enum State { Pending, Done, Cancelled, Failed } state = Pending;
        std::uint32_t count = 0;
    };
    std::vector<Request> requests;  // by creation; one per Overlapped record

    struct SocketRec {
        bool open = true;
        bool nonBlocking = false;
        std::uint32_t recvTimeoutMs = 0;
        std::uint32_t sendTimeoutMs = 0;
        bool connected = false;
        bool connecting = false;   // non-blocking connect under way
        NetworkPeer* peer = nullptr;
        std::shared_ptr<Endpoint> conn;
        std::string target;        // "tcp:<a>:<p>"
        int soError = 0;
        std::uint32_t connectTimeoutMs = 0;
        std::uint64_t connectedAtMs = 0;
        std::uint64_t takenWhilePaused = 0;  // bytes sent while the peer pauses
    };
    std::map<Socket, SocketRec> sockets;

    Handle newHandle() {
        Handle h = nextHandle;
        nextHandle += 4;
        return h;
    }

    std::uint64_t callsAtThisMoment = 0;

    void log(std::string s) {
        self.calls.push_back(std::move(s));
        if (self.runawayCallLimit && ++callsAtThisMoment > self.runawayCallLimit) {
            std::fprintf(stderr,
                         "qov::sim: %llu calls without the virtual clock moving (a loop that "
                         "never ends?). Last calls:\n",
                         static_cast<unsigned long long>(callsAtThisMoment - 1));
            std::size_t from = self.calls.size() > 12 ? self.calls.size() - 12 : 0;
            for (std::size_t i = from; i < self.calls.size(); ++i)
                std::fprintf(stderr, "  %s\n", self.calls[i].c_str());
            std::abort();
        }
    }

    HandleRec* rec(Handle h, HType type) {
        auto it = handles.find(h);
        if (it == handles.end() || !it->second.open || it->second.type != type) return nullptr;
        return &it->second;
    }

    // The moment a pausing peer reads again (0: it does not pause).
    static std::uint64_t resumeAt(const SocketRec& k) {
        return k.peer && k.peer->pauseMs ? k.connectedAtMs + k.peer->pauseMs : 0;
    }

    // Bytes the connection takes now without waiting.
    std::uint64_t room(const SocketRec& k) const {
        if (self.now_ >= resumeAt(k)) return kNever;
        return k.takenWhilePaused >= k.peer->bufferBytes ? 0
                                                         : k.peer->bufferBytes - k.takenWhilePaused;
    }

    // The peer has closed or failed by now.
    bool gone(SocketRec& k) {
        prime(*k.conn);
        return endOfStream(*k.conn) <= self.now_;
    }

    // Waits, at most `limitMs` (kNever: no limit), until the connection
    // takes bytes again or the peer goes. False when the limit came first.
    bool waitForRoom(SocketRec& k, std::uint64_t limitMs) {
        if (gone(k) || room(k) > 0) return true;
        const std::uint64_t until = std::min(resumeAt(k), endOfStream(*k.conn));
        if (limitMs == kNever || until <= self.now_ + limitMs) {
            self.advance(until - self.now_);
            return true;
        }
        self.advance(limitMs);
        return false;
    }

    SocketRec* sock(Socket s) {
        auto it = sockets.find(s);
        if (it == sockets.end() || !it->second.open) return nullptr;
        return &it->second;
    }

    // The lookups every member starts with: the open handle of this type (the
    // open socket), or nullptr with the invalid-handle (not-a-socket) error
    // set and, when the call is named, "<call> invalid" in the call log.
    HandleRec* lookup(Handle h, HType type, const char* call = nullptr) {
        HandleRec* r = rec(h, type);
        if (!r) fail(call, kErrorInvalidHandle);
        return r;
    }

    SocketRec* lookupSocket(Socket s, const char* call = nullptr) {
        SocketRec* k = sock(s);
        if (!k) fail(call, kSimWsaNotSocket);
        return k;
    }

    void fail(const char* call, std::uint32_t error) {
        if (call) log(std::string(call) + " invalid");
        lastError = error;
    }

    void signal(Handle event) {
        if (auto* e = rec(event, HType::Event)) e->signaled = true;
    }

    Request* request(Overlapped* ov) {
        for (auto& r : requests)
            if (r.ov == ov) return &r;
        return nullptr;
    }

    void dropRequest(Overlapped* ov) {
        requests.erase(std::remove_if(requests.begin(), requests.end(),
                                      [&](const Request& r) { return r.ov == ov; }),
                       requests.end());
    }

    Request& newRequest(Handle h, Overlapped* ov, bool write, void* buf, std::uint32_t size) {
        requests.erase(std::remove_if(requests.begin(), requests.end(),
                                      [&](const Request& r) { return r.ov == ov; }),
                       requests.end());
        Request r{h, ov, ov->event, write, static_cast<char*>(buf), size, kNever};
        requests.push_back(r);
        return requests.back();
    }

    void finish(Request& r, Request::State state, std::uint32_t count) {
        r.state = state;
        r.count = count;
        r.ov->internal = state == Request::Done        ? kStatusSuccess
                         : state == Request::Cancelled ? kStatusCancelled
                                                       : kStatusDeviceGone;
        r.ov->internalHigh = count;
        signal(r.event);
    }

    // The moment a pending request would complete (kNever: it cannot).
    std::uint64_t completionTime(Request& r) {
        if (r.state != Request::Pending) return self.now_;
        if (r.write) return r.completeAt;
        auto* h = rec(r.h, HType::Device);
        if (!h) return kNever;
        return nextReadEvent(h->device->io);
    }

    // Completes the pending requests whose moment has come.
    void settle() {
        for (auto& r : requests) {
            if (r.state != Request::Pending) continue;
            if (r.write) {
                if (r.completeAt <= self.now_) finish(r, Request::Done, r.count);
                continue;
            }
            auto* h = rec(r.h, HType::Device);
            if (!h) continue;
            Endpoint& ep = h->device->io;
            switch (readState(ep, self.now_)) {
            case ReadState::Data: finish(r, Request::Done, takeChunk(ep, r.buf, r.size)); break;
            case ReadState::Closed: finish(r, Request::Done, 0); break;
            case ReadState::Failed: finish(r, Request::Failed, 0); break;
            case ReadState::Nothing: break;
            }
        }
    }

    // Synchronous read of a device endpoint after the device's rules.
    bool syncRead(Device& d, void* data, std::uint32_t size, std::uint32_t* read) {
        Endpoint& ep = d.io;
        std::uint64_t limit = kNever;  // how long the read may wait
        switch (d.kind) {
        case DeviceKind::Lpt: limit = 0; break;
        case DeviceKind::Usb: limit = kNever; break;
        case DeviceKind::Com: {
            const CommTimeouts& t = d.timeouts;
            if (t.readTotalConstant || t.readTotalMultiplier)
                limit = std::uint64_t(t.readTotalConstant) +
                        std::uint64_t(t.readTotalMultiplier) * size;
            else if (t.readInterval == 0xFFFFFFFFu)
                limit = 0;
            else if (t.readInterval)
                limit = t.readInterval;
            else
                limit = kNever;
            break;
        }
        case DeviceKind::File: limit = 0; break;
        }
        ReadState st = readState(ep, self.now_);
        if (st == ReadState::Nothing) {
            std::uint64_t next = nextReadEvent(ep);
            if (next != kNever && (limit == kNever || next <= self.now_ + limit)) {
                self.advance(next - self.now_);
                st = readState(ep, self.now_);
            } else if (d.kind == DeviceKind::Usb) {
                self.advance(kUsbReadWaitMs);  // nothing scripted: the USB wait
            } else if (limit == kNever) {
                log("wait forever");
            } else {
                self.advance(limit);
            }
        }
        if (read) *read = 0;
        switch (st) {
        case ReadState::Data: {
            std::uint32_t n = takeChunk(ep, data, size);
            if (read) *read = n;
            return true;
        }
        case ReadState::Failed: lastError = kSimErrorDeviceNotConnected; return false;
        case ReadState::Closed:
        case ReadState::Nothing: return true;
        }
        return true;
    }

    void record(const std::string& target, WriteKind kind, std::string bytes) {
        self.writes.push_back({target, kind, std::move(bytes), self.now_});
    }
};

}  // namespace qov::sim
