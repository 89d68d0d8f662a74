// The simulated operating system of the unit tests (see sim.h).
#include "sim.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "library_state.h"
#include "platform/like_pattern.h"
#include "sim_codepage.h"

namespace qov::sim {

// ---------------------------------------------------------------------------
// Script steps
// ---------------------------------------------------------------------------

Step expect(std::string bytes) { return Step{Step::Expect, std::move(bytes), 0}; }
Step reply(std::string bytes, std::uint32_t afterMs) { return Step{Step::Reply, std::move(bytes), afterMs}; }
Step closeAfter(std::uint32_t afterMs) { return Step{Step::Close, {}, afterMs}; }
Step failAfter(std::uint32_t afterMs) { return Step{Step::Fail, {}, afterMs}; }

namespace {

constexpr std::uint64_t kNever = UINT64_MAX;

// Windows status values kept in Overlapped::internal.
constexpr std::uintptr_t kStatusSuccess = 0;
constexpr std::uintptr_t kStatusPending = 0x103;
constexpr std::uintptr_t kStatusCancelled = 0xC0000120;
constexpr std::uintptr_t kStatusDeviceGone = 0xC000009D;

// Schedules the non-Expect steps from nextStep on, from time t.
void scheduleFrom(Endpoint& ep, std::uint64_t t) {
    while (ep.nextStep < ep.script.size() && ep.script[ep.nextStep].kind != Step::Expect) {
        const Step& st = ep.script[ep.nextStep];
        t += st.delayMs;
        switch (st.kind) {
        case Step::Reply: ep.readable.push_back({t, st.bytes}); break;
        case Step::Close: ep.closedAtMs = std::min(ep.closedAtMs, t); break;
        case Step::Fail: ep.failAtMs = std::min(ep.failAtMs, t); break;
        case Step::Expect: break;
        }
        ++ep.nextStep;
    }
}

// Steps with no Expect in front of them are scheduled from the anchor.
void prime(Endpoint& ep) { scheduleFrom(ep, ep.anchorMs); }

void endpointWrite(Endpoint& ep, const std::string& bytes, std::uint64_t now) {
    prime(ep);
    ep.received += bytes;
    ep.writes.push_back(bytes);
    ep.unmatched += bytes;
    while (ep.nextStep < ep.script.size() && ep.script[ep.nextStep].kind == Step::Expect) {
        const std::string& want = ep.script[ep.nextStep].bytes;
        auto pos = ep.unmatched.find(want);
        if (pos == std::string::npos) break;
        ep.unmatched.erase(0, pos + want.size());
        ++ep.nextStep;
        ep.anchorMs = now;
        scheduleFrom(ep, now);
    }
}

enum class ReadState { Data, Closed, Failed, Nothing };

std::uint64_t endOfStream(const Endpoint& ep) { return std::min(ep.closedAtMs, ep.failAtMs); }

ReadState readState(Endpoint& ep, std::uint64_t now) {
    prime(ep);
    if (!ep.readable.empty() && ep.readable.front().atMs <= now &&
        ep.readable.front().atMs <= endOfStream(ep))
        return ReadState::Data;
    if (ep.failAtMs <= now && ep.failAtMs <= ep.closedAtMs) return ReadState::Failed;
    if (ep.closedAtMs <= now) return ReadState::Closed;
    if (ep.failAtMs <= now) return ReadState::Failed;
    return ReadState::Nothing;
}

// The next moment at which a read would see something (data, close, fail).
std::uint64_t nextReadEvent(Endpoint& ep) {
    prime(ep);
    std::uint64_t t = endOfStream(ep);
    if (!ep.readable.empty() && ep.readable.front().atMs <= t) t = ep.readable.front().atMs;
    return t;
}

// Takes at most `size` bytes of the first chunk (the rest stays readable).
std::uint32_t takeChunk(Endpoint& ep, void* data, std::uint32_t size) {
    auto& chunk = ep.readable.front();
    std::uint32_t n = std::uint32_t(std::min<std::size_t>(size, chunk.bytes.size()));
    if (n && data) std::memcpy(data, chunk.bytes.data(), n);
    if (n == chunk.bytes.size()) {
        ep.readable.pop_front();
    } else {
        chunk.bytes.erase(0, n);
    }
    return n;
}

std::string addrText(std::uint32_t addr) {
    return std::to_string(addr & 0xFF) + "." + std::to_string((addr >> 8) & 0xFF) + "." +
           std::to_string((addr >> 16) & 0xFF) + "." + std::to_string((addr >> 24) & 0xFF);
}

}  // namespace

// SQL LIKE as the management service applies it (exposed for the tests).
bool sqlLike(const std::string& pattern, const std::string& text) {
    return qov::likeMatch(pattern, text);
}

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------

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
                self.advance(1000);  // nothing scripted: the read interval
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

// ---------------------------------------------------------------------------
// World
// ---------------------------------------------------------------------------

SimPlatform::SimPlatform() : impl_(std::make_unique<Impl>(*this)) {}
SimPlatform::~SimPlatform() = default;

Printer& SimPlatform::addPrinter(const std::string& name, const std::string& port, bool online) {
    auto p = std::make_unique<Printer>();
    p->name = name;
    p->port = port;
    p->online = online;
    p->io.name = name;
    impl_->printers.push_back(std::move(p));
    return *impl_->printers.back();
}

Device& SimPlatform::addDevice(const std::string& path, DeviceKind kind) {
    if (Device* d = device(path)) {
        d->kind = kind;
        return *d;
    }
    auto d = std::make_unique<Device>();
    d->path = path;
    d->kind = kind;
    d->io.name = path;
    impl_->devices.push_back(std::move(d));
    return *impl_->devices.back();
}

Device& SimPlatform::addFile(const std::string& path, const std::string& content) {
    Device& d = addDevice(path, DeviceKind::File);
    d.content = content;
    return d;
}

void SimPlatform::addUsbInterface(const std::string& path, bool detailFails) {
    impl_->usbInterfaces.push_back({path, detailFails});
}

NetworkPeer& SimPlatform::addPeer(const std::string& address, std::uint16_t port) {
    if (NetworkPeer* p = peer(address, port)) return *p;
    impl_->peers.emplace_back(std::make_pair(address, port), std::make_unique<NetworkPeer>());
    return *impl_->peers.back().second;
}

Printer* SimPlatform::printer(const std::string& name) {
    for (auto& p : impl_->printers)
        if (p->name == name) return p.get();
    return nullptr;
}

Device* SimPlatform::device(const std::string& path) {
    for (auto& d : impl_->devices)
        if (d->path == path) return d.get();
    return nullptr;
}

NetworkPeer* SimPlatform::peer(const std::string& address, std::uint16_t port) {
    for (auto& p : impl_->peers)
        if (p.first.first == address && p.first.second == port) return p.second.get();
    return nullptr;
}

Endpoint& SimPlatform::connectionTo(const std::string& address, std::uint16_t port, std::size_t n) {
    NetworkPeer* p = peer(address, port);
    if (!p || n >= p->connections.size())
        throw std::out_of_range("no connection " + std::to_string(n) + " to tcp:" + address + ":" +
                                std::to_string(port));
    return *p->connections[n];
}

std::vector<WriteRecord> SimPlatform::writesTo(const std::string& target) const {
    std::vector<WriteRecord> out;
    for (const auto& w : writes)
        if (w.target == target) out.push_back(w);
    return out;
}

std::string SimPlatform::bytesTo(const std::string& target) const {
    std::string out;
    for (const auto& w : writes)
        if (w.target == target) out += w.bytes;
    return out;
}

int SimPlatform::countCalls(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

bool SimPlatform::allScriptsDone() const {
    for (const auto& p : impl_->printers)
        if (!p->io.scriptDone()) return false;
    for (const auto& d : impl_->devices)
        if (!d->io.scriptDone()) return false;
    for (const auto& p : impl_->peers) {
        if (!p.second->script.empty() && p.second->connections.empty()) return false;
        for (const auto& c : p.second->connections)
            if (!c->scriptDone()) return false;
    }
    return true;
}

int SimPlatform::openEventCount() const {
    int n = 0;
    for (const auto& h : impl_->handles)
        if (h.second.open && h.second.type == Impl::HType::Event) ++n;
    return n;
}

int SimPlatform::openHandleCount() const {
    int n = 0;
    for (const auto& h : impl_->handles)
        if (h.second.open && h.second.type != Impl::HType::Event) ++n;
    return n;
}

int SimPlatform::openSocketCount() const {
    int n = 0;
    for (const auto& s : impl_->sockets)
        if (s.second.open) ++n;
    return n;
}

void SimPlatform::advance(std::uint64_t ms) {
    now_ += ms;
    if (ms) impl_->callsAtThisMoment = 0;
    impl_->settle();
}

// ---------------------------------------------------------------------------
// Last error
// ---------------------------------------------------------------------------

std::uint32_t SimPlatform::lastError() { return impl_->lastError; }
void SimPlatform::setLastError(std::uint32_t code) { impl_->lastError = code; }

// ---------------------------------------------------------------------------
// Spooler
// ---------------------------------------------------------------------------

Handle SimPlatform::openPrinter(const char* name) {
    std::string n = name ? name : "";
    impl_->log("OpenPrinter " + n);
    Printer* p = printer(n);
    if (!p) {
        impl_->lastError = kSimErrorInvalidPrinterName;
        return kNullHandle;
    }
    Handle h = impl_->newHandle();
    Impl::HandleRec r{Impl::HType::Printer};
    r.printer = p;
    impl_->handles[h] = r;
    ++p->openHandles;
    return h;
}

std::uint32_t SimPlatform::startDocPrinter(Handle printer, const char* docName) {
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("StartDocPrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return 0;
    }
    impl_->log("StartDocPrinter " + r->printer->name + " " + (docName ? docName : ""));
    if (r->printer->startDocFails) {
        impl_->lastError = kErrorAccessDenied;
        return 0;
    }
    ++r->printer->docsStarted;
    r->docOpen = true;
    return impl_->nextJob++;
}

bool SimPlatform::startPagePrinter(Handle printer) {
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("StartPagePrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("StartPagePrinter " + r->printer->name);
    if (!r->docOpen) {
        impl_->lastError = kSimErrorNoStartDoc;
        return false;
    }
    ++r->printer->pagesStarted;
    return true;
}

bool SimPlatform::writePrinter(Handle printer, const void* data, std::uint32_t size,
                               std::uint32_t* written) {
    if (written) *written = 0;
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("WritePrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("WritePrinter " + r->printer->name);
    if (!r->docOpen) {
        impl_->lastError = kSimErrorNoStartDoc;
        return false;
    }
    std::string bytes(static_cast<const char*>(data), size);
    endpointWrite(r->printer->io, bytes, now_);
    impl_->record(r->printer->name, WriteKind::WritePrinter, std::move(bytes));
    if (written) *written = size;
    return true;
}

bool SimPlatform::endPagePrinter(Handle printer) {
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("EndPagePrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("EndPagePrinter " + r->printer->name);
    ++r->printer->pagesEnded;
    return true;
}

bool SimPlatform::endDocPrinter(Handle printer) {
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("EndDocPrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("EndDocPrinter " + r->printer->name);
    if (!r->docOpen) {
        impl_->lastError = kSimErrorNoStartDoc;
        return false;
    }
    r->docOpen = false;
    ++r->printer->docsEnded;
    return true;
}

bool SimPlatform::closePrinter(Handle printer) {
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("ClosePrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("ClosePrinter " + r->printer->name);
    r->open = false;
    --r->printer->openHandles;
    return true;
}

bool SimPlatform::enumPrinters(std::vector<PrinterEntry>& out) {
    impl_->log("EnumPrinters");
    if (enumPrintersFails) {
        impl_->lastError = kSimErrorInsufficientBuffer;
        return false;
    }
    out.clear();
    for (auto& p : impl_->printers) out.push_back({p->name, p->port});
    return true;
}

bool SimPlatform::printerPortName(Handle printer, std::string& out) {
    auto* r = impl_->rec(printer, Impl::HType::Printer);
    if (!r) {
        impl_->log("GetPrinter invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("GetPrinter " + r->printer->name);
    out = r->printer->port;
    return true;
}

ManagementResult SimPlatform::queryPrinterOffline(const char* query, bool* offline) {
    std::string q = query ? query : "";
    managementQueries.push_back(q);
    impl_->log("ExecQuery " + q);
    if (managementFails) return ManagementResult::Failed;
    const std::string key = "LIKE '";
    auto start = q.find(key);
    auto end = q.rfind('\'');
    if (start == std::string::npos || end == std::string::npos || end < start + key.size())
        return ManagementResult::Failed;  // not a query the service understands
    std::string pattern = q.substr(start + key.size(), end - start - key.size());
    // A quote inside the pattern ends the string early: the query is broken.
    if (pattern.find('\'') != std::string::npos) return ManagementResult::Failed;
    for (auto& p : impl_->printers) {
        if (sqlLike(pattern, p->name)) {
            if (offline) *offline = !p->online;
            return ManagementResult::Found;
        }
    }
    return ManagementResult::NotFound;
}

// ---------------------------------------------------------------------------
// Files and devices
// ---------------------------------------------------------------------------

Handle SimPlatform::createFile(const char* path, std::uint32_t access, std::uint32_t share,
                               Disposition disposition, std::uint32_t flags) {
    std::string p = path ? path : "";
    impl_->log("CreateFile " + p);
    Device* d = device(p);
    if (!d) {
        if (disposition == Disposition::OpenExisting) {
            impl_->lastError = kErrorFileNotFound;
            return kInvalidHandle;
        }
        d = &addDevice(p, DeviceKind::File);
    } else if (d->openFails) {
        impl_->lastError = kErrorAccessDenied;
        return kInvalidHandle;
    } else if (d->openHandles > 0) {
        // A COM port is exclusive; other devices and files follow the share
        // modes of the handles open on them.
        if (d->kind == DeviceKind::Com) {
            impl_->lastError = kErrorAccessDenied;
            return kInvalidHandle;
        }
        auto needs = [](std::uint32_t acc) {
            return ((acc & kAccessRead) ? kShareRead : 0u) | ((acc & kAccessWrite) ? kShareWrite : 0u);
        };
        for (auto& [other, r] : impl_->handles) {
            (void)other;
            if (!r.open || r.type != Impl::HType::Device || r.device != d) continue;
            if ((needs(access) & ~r.share) || (needs(r.access) & ~share)) {
                impl_->lastError = kSimErrorSharingViolation;
                return kInvalidHandle;
            }
        }
    }
    d->lastAccess = access;
    d->lastShare = share;
    d->lastFlags = flags;
    d->lastDisposition = disposition;
    if (d->kind == DeviceKind::File && disposition == Disposition::CreateAlways) d->content.clear();
    ++d->openCount;
    ++d->openHandles;
    Handle h = impl_->newHandle();
    Impl::HandleRec r{Impl::HType::Device};
    r.device = d;
    r.overlapped = (flags & kFlagOverlapped) != 0;
    r.access = access;
    r.share = share;
    impl_->handles[h] = r;
    return h;
}

bool SimPlatform::closeHandle(Handle h) {
    auto it = impl_->handles.find(h);
    if (it == impl_->handles.end() || !it->second.open ||
        it->second.type == Impl::HType::Printer) {
        impl_->log("CloseHandle invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    auto& r = it->second;
    r.open = false;
    if (r.type == Impl::HType::Event) {
        impl_->log("CloseHandle event");
        return true;
    }
    impl_->log("CloseHandle " + r.device->path);
    --r.device->openHandles;
    // Requests still pending on the handle end with it (their data stays).
    for (auto& q : impl_->requests)
        if (q.h == h && q.state == Impl::Request::Pending) impl_->finish(q, Impl::Request::Cancelled, 0);
    return true;
}

bool SimPlatform::writeFile(Handle h, const void* data, std::uint32_t size, std::uint32_t* written,
                            Overlapped* ov) {
    if (written) *written = 0;
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("WriteFile invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    Device& d = *r->device;
    impl_->log("WriteFile " + d.path);
    if (r->overlapped && !ov) {
        impl_->lastError = kErrorInvalidParameter;
        return false;
    }
    if (!(r->access & kAccessWrite)) {
        impl_->lastError = kErrorAccessDenied;
        return false;
    }
    std::string bytes(static_cast<const char*>(data), size);
    std::uint32_t count = d.writeShortens && size > 0 ? size - 1 : size;
    if (d.kind == DeviceKind::File) {
        if (d.content.size() < r->pos + size) d.content.resize(r->pos + size);
        d.content.replace(r->pos, size, bytes);
        r->pos += size;
    }
    endpointWrite(d.io, bytes, now_);
    impl_->record(d.path, ov ? WriteKind::WriteFileOverlapped : WriteKind::WriteFile, std::move(bytes));
    if (ov) {
        auto& q = impl_->newRequest(h, ov, true, nullptr, size);
        q.count = count;
        if (auto* e = impl_->rec(ov->event, Impl::HType::Event)) e->signaled = false;
        if (r->overlapped && d.writesPend) {
            q.completeAt = now_ + d.writeCompletesAfterMs;
            ov->internal = kStatusPending;
            ov->internalHigh = 0;
            impl_->lastError = kErrorIoPending;
            impl_->settle();
            return false;
        }
        impl_->finish(q, Impl::Request::Done, count);
    }
    if (written) *written = count;
    impl_->settle();  // a reply the write released may complete a pending read
    return true;
}

bool SimPlatform::readFile(Handle h, void* data, std::uint32_t size, std::uint32_t* read,
                           Overlapped* ov) {
    if (read) *read = 0;
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("ReadFile invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    Device& d = *r->device;
    impl_->log("ReadFile " + d.path);
    if (r->overlapped && !ov) {
        impl_->lastError = kErrorInvalidParameter;
        return false;
    }
    if (!(r->access & kAccessRead)) {
        impl_->lastError = kErrorAccessDenied;
        return false;
    }
    if (d.kind == DeviceKind::File) {
        std::uint64_t avail = r->pos < d.content.size() ? d.content.size() - r->pos : 0;
        std::uint32_t n = std::uint32_t(std::min<std::uint64_t>(avail, size));
        if (n && data) std::memcpy(data, d.content.data() + r->pos, n);
        r->pos += n;
        if (read) *read = n;
        if (ov) {
            auto& q = impl_->newRequest(h, ov, false, data, size);
            impl_->finish(q, Impl::Request::Done, n);
        }
        return true;
    }
    if (!ov || !r->overlapped) {
        // Synchronous, also with a record on a handle not opened overlapped.
        // A read that fails at once completes nothing: its event stays as it was.
        std::uint32_t n = 0;
        bool ok = impl_->syncRead(d, data, size, &n);
        if (read) *read = n;
        if (ov && ok) {
            auto& q = impl_->newRequest(h, ov, false, data, size);
            impl_->finish(q, Impl::Request::Done, n);
        }
        return ok;
    }
    auto& q = impl_->newRequest(h, ov, false, data, size);
    if (auto* e = impl_->rec(ov->event, Impl::HType::Event)) e->signaled = false;
    switch (readState(d.io, now_)) {
    case ReadState::Data: {
        std::uint32_t n = takeChunk(d.io, data, size);
        impl_->finish(q, Impl::Request::Done, n);
        if (read) *read = n;
        return true;
    }
    case ReadState::Closed:
        impl_->finish(q, Impl::Request::Done, 0);
        return true;
    case ReadState::Failed:
        // Fails at once: no request, no completion, the event stays reset.
        impl_->dropRequest(ov);
        impl_->lastError = kSimErrorDeviceNotConnected;
        return false;
    case ReadState::Nothing: break;
    }
    ov->internal = kStatusPending;
    ov->internalHigh = 0;
    impl_->lastError = kErrorIoPending;
    return false;
}

bool SimPlatform::getOverlappedResult(Handle h, Overlapped* ov, std::uint32_t* transferred,
                                      bool wait) {
    (void)h;
    if (transferred) *transferred = 0;
    Impl::Request* q = ov ? impl_->request(ov) : nullptr;
    if (!q) {
        // Not a request the simulation knows: read the record as Windows does.
        impl_->log("GetOverlappedResult unknown");
        if (!ov || ov->internal == kStatusPending) {
            impl_->lastError = kErrorIoIncomplete;
            return false;
        }
        if (transferred) *transferred = std::uint32_t(ov->internalHigh);
        return true;
    }
    if (q->state == Impl::Request::Pending) {
        if (!wait) {
            impl_->lastError = kErrorIoIncomplete;
            return false;
        }
        std::uint64_t t = impl_->completionTime(*q);
        if (t == kNever) {
            impl_->log("wait forever");
            impl_->lastError = kErrorIoIncomplete;
            return false;
        }
        if (t > now_) advance(t - now_);
        else impl_->settle();
        q = impl_->request(ov);
        if (!q || q->state == Impl::Request::Pending) {
            impl_->log("wait forever");
            impl_->lastError = kErrorIoIncomplete;
            return false;
        }
    }
    switch (q->state) {
    case Impl::Request::Done:
        if (transferred) *transferred = q->count;
        return true;
    case Impl::Request::Cancelled: impl_->lastError = kErrorOperationAborted; return false;
    case Impl::Request::Failed: impl_->lastError = kSimErrorDeviceNotConnected; return false;
    case Impl::Request::Pending: break;
    }
    return false;
}

bool SimPlatform::cancelIo(Handle h) {
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("CancelIo invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("CancelIo " + r->device->path);
    for (auto& q : impl_->requests)
        if (q.h == h && q.state == Impl::Request::Pending) impl_->finish(q, Impl::Request::Cancelled, 0);
    return true;
}

bool SimPlatform::fileSize(Handle h, std::uint64_t* size) {
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("GetFileSize invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("GetFileSize " + r->device->path);
    if (r->device->kind != DeviceKind::File) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    if (size) *size = r->device->content.size();
    return true;
}

// ---------------------------------------------------------------------------
// Events and waits
// ---------------------------------------------------------------------------

Handle SimPlatform::createEvent(bool manualReset, bool initialState) {
    if (failNextEvents > 0) {
        --failNextEvents;
        impl_->log("CreateEvent failed");
        impl_->lastError = kErrorAccessDenied;
        return kNullHandle;
    }
    impl_->log("CreateEvent");
    Handle h = impl_->newHandle();
    Impl::HandleRec r{Impl::HType::Event};
    r.manualReset = manualReset;
    r.signaled = initialState;
    impl_->handles[h] = r;
    return h;
}

bool SimPlatform::resetEvent(Handle event) {
    auto* e = impl_->rec(event, Impl::HType::Event);
    if (!e) {
        impl_->log("ResetEvent invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("ResetEvent");
    e->signaled = false;
    return true;
}

WaitResult SimPlatform::waitForSingleObject(Handle event, std::uint32_t ms) {
    impl_->log("WaitForSingleObject " + (ms == kInfinite ? std::string("INFINITE") : std::to_string(ms)));
    auto* e = impl_->rec(event, Impl::HType::Event);
    if (!e) {
        impl_->lastError = kErrorInvalidHandle;
        return WaitResult::Failed;
    }
    auto consume = [&]() {
        auto* ev = impl_->rec(event, Impl::HType::Event);
        if (ev && !ev->manualReset) ev->signaled = false;
        return WaitResult::Signaled;
    };
    if (e->signaled) return consume();
    std::uint64_t t = kNever;
    for (auto& q : impl_->requests)
        if (q.event == event && q.state == Impl::Request::Pending)
            t = std::min(t, impl_->completionTime(q));
    if (t != kNever && (ms == kInfinite || t <= now_ + ms)) {
        advance(t > now_ ? t - now_ : 0);
        e = impl_->rec(event, Impl::HType::Event);
        if (e && e->signaled) return consume();
    }
    if (ms == kInfinite) {
        impl_->log("wait forever");
        impl_->lastError = kErrorInvalidHandle;
        return WaitResult::Failed;
    }
    advance(ms);
    e = impl_->rec(event, Impl::HType::Event);
    if (e && e->signaled) return consume();
    return WaitResult::Timeout;
}

// ---------------------------------------------------------------------------
// Serial ports
// ---------------------------------------------------------------------------

bool SimPlatform::getCommState(Handle h, SerialState* state) {
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("GetCommState invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("GetCommState " + r->device->path);
    if (r->device->kind != DeviceKind::Com) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    if (state) *state = r->device->serial;
    return true;
}

bool SimPlatform::setCommState(Handle h, const SerialState& state) {
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("SetCommState invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("SetCommState " + r->device->path);
    if (r->device->kind != DeviceKind::Com) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    r->device->serial = state;
    return true;
}

bool SimPlatform::setCommTimeouts(Handle h, const CommTimeouts& timeouts) {
    auto* r = impl_->rec(h, Impl::HType::Device);
    if (!r) {
        impl_->log("SetCommTimeouts invalid");
        impl_->lastError = kErrorInvalidHandle;
        return false;
    }
    impl_->log("SetCommTimeouts " + r->device->path);
    r->device->timeouts = timeouts;
    r->device->timeoutsSet = true;
    if (r->device->kind != DeviceKind::Com) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// USB enumeration
// ---------------------------------------------------------------------------

bool SimPlatform::enumUsbDevicePaths(std::vector<std::string>& out) {
    impl_->log("EnumUsbDevices");
    if (usbEnumerationFails) return false;
    out.clear();
    for (auto& i : impl_->usbInterfaces)
        if (!i.detailFails) out.push_back(i.path);
    return true;
}

// ---------------------------------------------------------------------------
// Sockets
// ---------------------------------------------------------------------------

int SimPlatform::socketStartup() {
    impl_->log("WSAStartup");
    ++socketStartups;
    return 0;
}

int SimPlatform::socketCleanup() {
    impl_->log("WSACleanup");
    ++socketCleanups;
    return 0;
}

Socket SimPlatform::createTcpSocket() {
    if (socketCreationFails) {
        impl_->log("socket failed");
        impl_->lastError = kSimWsaNoBufs;
        return kInvalidSocket;
    }
    impl_->log("socket");
    Socket s = impl_->newHandle();
    impl_->sockets[s] = Impl::SocketRec{};
    return s;
}

// inet_addr: one to four parts, each decimal, octal (leading 0) or hex
// (0x); the last part fills the bytes the earlier ones leave ("10.0.0" is
// 10.0.0.0, "10.1" is 10.0.0.1). Trailing white space ends the text.
std::uint32_t SimPlatform::inetAddr(const char* text) {
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    if (!text) return kNone;
    std::uint64_t parts[4];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == 4 || !std::isdigit(static_cast<unsigned char>(*p))) return kNone;
        unsigned base = 10;
        if (*p == '0') {
            base = 8;
            ++p;
            if (*p == 'x' || *p == 'X') {
                base = 16;
                ++p;
                if (!std::isxdigit(static_cast<unsigned char>(*p))) return kNone;
            }
        }
        std::uint64_t v = 0;
        for (;; ++p) {
            unsigned char c = static_cast<unsigned char>(*p);
            unsigned digit;
            if (std::isdigit(c)) digit = unsigned(c - '0');
            else if (base == 16 && std::isxdigit(c)) digit = unsigned(std::tolower(c) - 'a' + 10);
            else break;
            if (digit >= base) return kNone;
            v = v * base + digit;
            if (v > 0xFFFFFFFFull) return kNone;
        }
        parts[count++] = v;
        if (*p != '.') break;
        ++p;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p != '\0') return kNone;
    std::uint64_t host = 0;  // host order
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF) return kNone;
        host |= parts[i] << (24 - 8 * i);
    }
    const std::uint64_t lastMax = 0xFFFFFFFFull >> (8 * (count - 1));
    if (parts[count - 1] > lastMax) return kNone;
    host |= parts[count - 1];
    const std::uint32_t h = static_cast<std::uint32_t>(host);
    // Network order: the first byte of the address first in memory.
    return (h >> 24) | ((h >> 8) & 0xFF00u) | ((h << 8) & 0xFF0000u) | (h << 24);
}

int SimPlatform::connect(Socket s, std::uint32_t addr, std::uint16_t port) {
    std::string a = addrText(addr);
    std::string target = "tcp:" + a + ":" + std::to_string(port);
    impl_->log("connect " + target);
    auto* k = impl_->sock(s);
    if (!k) {
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    if (k->connected || k->connecting) {
        impl_->lastError = std::uint32_t(k->connected ? int(kSimWsaIsConn) : int(kWsaWouldBlock));
        return -1;
    }
    k->target = target;
    NetworkPeer* p = peer(a, port);
    k->peer = p;
    NetworkPeer::Behaviour b = p ? p->behaviour : NetworkPeer::Silent;
    k->connectTimeoutMs = p ? p->connectTimeoutMs : 21000;
    if (b == NetworkPeer::Accept) {
        auto conn = std::make_shared<Endpoint>();
        conn->name = target;
        conn->script = p->script;
        conn->anchorMs = now_;
        p->connections.push_back(conn);
        k->conn = conn;
        k->soError = 0;
        k->connectedAtMs = now_;
        if (k->nonBlocking) {
            k->connecting = true;
            impl_->lastError = kWsaWouldBlock;
            return -1;
        }
        k->connected = true;
        return 0;
    }
    if (k->nonBlocking) {
        k->connecting = true;
        k->soError = b == NetworkPeer::Refuse ? kWsaConnRefused : 0;
        impl_->lastError = kWsaWouldBlock;
        return -1;
    }
    if (b == NetworkPeer::Refuse) {
        impl_->lastError = kWsaConnRefused;
        return -1;
    }
    advance(k->connectTimeoutMs);
    impl_->lastError = kWsaTimedOut;
    return -1;
}

int SimPlatform::setNonBlocking(Socket s, bool on) {
    auto* k = impl_->sock(s);
    impl_->log(std::string("ioctlsocket FIONBIO ") + (on ? "1" : "0"));
    if (!k) {
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    k->nonBlocking = on;
    return 0;
}

int SimPlatform::setSendTimeout(Socket s, std::uint32_t ms) {
    auto* k = impl_->sock(s);
    impl_->log("setsockopt SO_SNDTIMEO " + std::to_string(ms));
    if (!k) {
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    k->sendTimeoutMs = ms;
    return 0;
}

int SimPlatform::setReceiveTimeout(Socket s, std::uint32_t ms) {
    auto* k = impl_->sock(s);
    impl_->log("setsockopt SO_RCVTIMEO " + std::to_string(ms));
    if (!k) {
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    k->recvTimeoutMs = ms;
    return 0;
}

int SimPlatform::selectWritable(Socket s, long seconds, long microseconds) {
    impl_->log("select");
    auto* k = impl_->sock(s);
    if (!k) {
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    std::uint64_t ms = std::uint64_t(seconds < 0 ? 0 : seconds) * 1000 +
                       std::uint64_t(microseconds < 0 ? 0 : microseconds) / 1000;
    if (k->connected) return impl_->waitForRoom(*k, ms) ? 1 : 0;
    if (k->connecting) {
        NetworkPeer::Behaviour b = k->peer ? k->peer->behaviour : NetworkPeer::Silent;
        if (b == NetworkPeer::Accept) {
            k->connecting = false;
            k->connected = true;
            return 1;
        }
        // A refused connect never becomes writable (it would be in the
        // exception set): select waits out its time-out below, and SO_ERROR
        // tells kWsaConnRefused.
        if (b == NetworkPeer::Refuse) k->connecting = false;
    }
    advance(ms);
    return 0;
}

int SimPlatform::socketError(Socket s, int* value) {
    auto* k = impl_->sock(s);
    impl_->log("getsockopt SO_ERROR");
    if (!k) {
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    if (value) *value = k->soError;
    return 0;
}

int SimPlatform::send(Socket s, const void* data, int size) {
    auto* k = impl_->sock(s);
    if (!k) {
        impl_->log("send invalid");
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    impl_->log("send " + (k->target.empty() ? std::string("unconnected") : k->target));
    if (!k->conn || !(k->connected || k->connecting)) {
        impl_->lastError = kSimWsaNotConn;
        return -1;
    }
    if (size < 0) size = 0;
    if (size > 0 && !impl_->gone(*k) && impl_->room(*k) == 0) {
        if (k->nonBlocking) {
            impl_->lastError = kWsaWouldBlock;
            return -1;
        }
        if (!impl_->waitForRoom(*k, k->sendTimeoutMs ? k->sendTimeoutMs : kNever)) {
            impl_->lastError = kWsaTimedOut;
            return -1;
        }
    }
    if (impl_->gone(*k)) {
        impl_->lastError = kWsaConnReset;
        return -1;
    }
    int n = size;
    if (k->peer && k->peer->partialSend >= 0) n = std::min(size, k->peer->partialSend);
    const std::uint64_t room = impl_->room(*k);
    if (room < std::uint64_t(n)) n = int(room);
    if (room != kNever) k->takenWhilePaused += std::uint64_t(n);
    std::string bytes(static_cast<const char*>(data), std::size_t(n));
    endpointWrite(*k->conn, bytes, now_);
    impl_->record(k->target, WriteKind::Send, std::move(bytes));
    return n;
}

int SimPlatform::recv(Socket s, void* data, int size) {
    auto* k = impl_->sock(s);
    if (!k) {
        impl_->log("recv invalid");
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    impl_->log("recv " + (k->target.empty() ? std::string("unconnected") : k->target));
    if (!k->conn || !(k->connected || k->connecting)) {
        impl_->lastError = kSimWsaNotConn;
        return -1;
    }
    std::shared_ptr<Endpoint> ep = k->conn;
    ReadState st = readState(*ep, now_);
    if (st == ReadState::Nothing) {
        if (k->nonBlocking) {
            impl_->lastError = kWsaWouldBlock;
            return -1;
        }
        std::uint32_t limit = k->recvTimeoutMs;
        std::uint64_t next = nextReadEvent(*ep);
        if (next != kNever && (limit == 0 || next <= now_ + limit)) {
            advance(next - now_);
            st = readState(*ep, now_);
        } else {
            if (limit == 0) {
                impl_->log("wait forever");
            } else {
                advance(limit);
            }
            impl_->lastError = kWsaTimedOut;
            return -1;
        }
    }
    switch (st) {
    case ReadState::Data: return int(takeChunk(*ep, data, std::uint32_t(size < 0 ? 0 : size)));
    case ReadState::Closed: return 0;
    case ReadState::Failed: impl_->lastError = kWsaConnReset; return -1;
    case ReadState::Nothing: break;
    }
    impl_->lastError = kWsaTimedOut;
    return -1;
}

int SimPlatform::closeSocket(Socket s) {
    auto* k = impl_->sock(s);
    if (!k) {
        impl_->log("closesocket invalid");
        impl_->lastError = kSimWsaNotSocket;
        return -1;
    }
    impl_->log(k->target.empty() ? std::string("closesocket") : "closesocket " + k->target);
    k->open = false;
    return 0;
}

int SimPlatform::socketLastError() { return int(impl_->lastError); }

// ---------------------------------------------------------------------------
// Code pages
// ---------------------------------------------------------------------------

int SimPlatform::multiByteToWide(std::uint32_t codePage, const char* src, int srcLen, char16_t* dst,
                                 int dstLen) {
    std::uint32_t cp = codePage == kCodePageAnsi ? ansiCodePage : codePage;
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    std::size_t n = srcLen == -1 ? std::strlen(src) + 1 : std::size_t(srcLen);
    std::u16string out;
    if (!detail::decode(cp, src, n, out)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    if (dstLen == 0) return int(out.size());
    if (out.size() > std::size_t(dstLen)) {
        impl_->lastError = kSimErrorInsufficientBuffer;
        return 0;
    }
    std::copy(out.begin(), out.end(), dst);
    return int(out.size());
}

int SimPlatform::wideToMultiByte(std::uint32_t codePage, const char16_t* src, int srcLen, char* dst,
                                 int dstLen) {
    std::uint32_t cp = codePage == kCodePageAnsi ? ansiCodePage : codePage;
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    std::size_t n = 0;
    if (srcLen == -1) {
        while (src[n]) ++n;
        ++n;
    } else {
        n = std::size_t(srcLen);
    }
    std::string out;
    if (!detail::encode(cp, src, n, out)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    if (dstLen == 0) return int(out.size());
    if (out.size() > std::size_t(dstLen)) {
        impl_->lastError = kSimErrorInsufficientBuffer;
        return 0;
    }
    std::copy(out.begin(), out.end(), dst);
    return int(out.size());
}

// ---------------------------------------------------------------------------
// User interface and time
// ---------------------------------------------------------------------------

void SimPlatform::messageBox(const char* text, const char* caption, Icon icon) {
    std::string t = text ? text : "", c = caption ? caption : "";
    impl_->log("MessageBox " + c + ": " + t);
    boxes.push_back({t, c, icon, false});
}

void SimPlatform::messageBoxWide(const char16_t* text, const char16_t* caption, Icon icon) {
    auto utf8 = [](const char16_t* s) {
        std::string out;
        if (!s) return out;
        std::size_t n = 0;
        while (s[n]) ++n;
        detail::encode(65001, s, n, out);
        return out;
    };
    std::string t = utf8(text), c = utf8(caption);
    impl_->log("MessageBoxW " + c + ": " + t);
    boxes.push_back({t, c, icon, true});
}

void SimPlatform::writeStdout(const char* text) {
    if (text) stdoutText += text;
}

void SimPlatform::sleep(std::uint32_t ms) {
    impl_->log("Sleep " + std::to_string(ms));
    sleeps.push_back(ms);
    advance(ms);
}

std::int64_t SimPlatform::calendarSeconds() { return epochSeconds + std::int64_t(now_ / 1000); }

std::uint64_t SimPlatform::tickMs() { return now_; }

// ---------------------------------------------------------------------------
// SimScope
// ---------------------------------------------------------------------------

SimScope::SimScope() {
    resetLibraryState();
    setPlatform(&sim_);
}

SimScope::~SimScope() {
    resetLibraryState();
    setPlatform(nullptr);
}

}  // namespace qov::sim

namespace qov {

// Test programs link the simulation as their only backend.
Platform& nativePlatform() {
    static sim::SimPlatform platform;
    return platform;
}

}  // namespace qov
