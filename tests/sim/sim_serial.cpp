// Serial port state and time-outs.
#include "sim_impl.h"

namespace qov::sim {

bool SimPlatform::getCommState(Handle h, SerialState* state) {
    auto* r = impl_->lookup(h, Impl::HType::Device, "GetCommState");
    if (!r) return false;
    impl_->log("GetCommState " + r->device->path);
    if (r->device->kind != DeviceKind::Com) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    if (state) *state = r->device->serial;
    return true;
}

bool SimPlatform::setCommState(Handle h, const SerialState& state) {
    auto* r = impl_->lookup(h, Impl::HType::Device, "SetCommState");
    if (!r) return false;
    impl_->log("SetCommState " + r->device->path);
    if (r->device->kind != DeviceKind::Com) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    r->device->serial = state;
    return true;
}

bool SimPlatform::setCommTimeouts(Handle h, const CommTimeouts& timeouts) {
    auto* r = impl_->lookup(h, Impl::HType::Device, "SetCommTimeouts");
    if (!r) return false;
    impl_->log("SetCommTimeouts " + r->device->path);
    r->device->timeouts = timeouts;
    r->device->timeoutsSet = true;
    if (r->device->kind != DeviceKind::Com) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    return true;
}

}  // namespace qov::sim
