// The world a test sets up, what it records, the last error and SimScope.
#include "sim_impl.h"

namespace qov::sim {

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

std::uint32_t SimPlatform::lastError() { return impl_->lastError; }
void SimPlatform::setLastError(std::uint32_t code) { impl_->lastError = code; }

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
