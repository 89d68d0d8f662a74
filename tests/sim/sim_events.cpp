// Events and waits.
#include "sim_impl.h"

namespace qov::sim {

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
    auto* e = impl_->lookup(event, Impl::HType::Event, "ResetEvent");
    if (!e) return false;
    impl_->log("ResetEvent");
    e->signaled = false;
    return true;
}

WaitResult SimPlatform::waitForSingleObject(Handle event, std::uint32_t ms) {
    impl_->log("WaitForSingleObject " + (ms == kInfinite ? std::string("INFINITE") : std::to_string(ms)));
    auto* e = impl_->lookup(event, Impl::HType::Event);
    if (!e) return WaitResult::Failed;
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

}  // namespace qov::sim
