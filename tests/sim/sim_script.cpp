// The scripted peers: the steps of a script and how reads and writes meet them.
#include "sim_impl.h"

namespace qov::sim {

Step expect(std::string bytes) { return Step{Step::Expect, std::move(bytes), 0}; }
Step reply(std::string bytes, std::uint32_t afterMs) { return Step{Step::Reply, std::move(bytes), afterMs}; }
Step closeAfter(std::uint32_t afterMs) { return Step{Step::Close, {}, afterMs}; }
Step failAfter(std::uint32_t afterMs) { return Step{Step::Fail, {}, afterMs}; }

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

}  // namespace qov::sim
