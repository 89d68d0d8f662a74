// Files and devices: opening, reads and writes, overlapped requests.
#include "sim_impl.h"

namespace qov::sim {

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
        impl_->fail("CloseHandle", kErrorInvalidHandle);
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
    auto* r = impl_->lookup(h, Impl::HType::Device, "WriteFile");
    if (!r) return false;
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
    auto* r = impl_->lookup(h, Impl::HType::Device, "ReadFile");
    if (!r) return false;
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
    auto* r = impl_->lookup(h, Impl::HType::Device, "CancelIo");
    if (!r) return false;
    impl_->log("CancelIo " + r->device->path);
    for (auto& q : impl_->requests)
        if (q.h == h && q.state == Impl::Request::Pending) impl_->finish(q, Impl::Request::Cancelled, 0);
    return true;
}

bool SimPlatform::fileSize(Handle h, std::uint64_t* size) {
    auto* r = impl_->lookup(h, Impl::HType::Device, "GetFileSize");
    if (!r) return false;
    impl_->log("GetFileSize " + r->device->path);
    if (r->device->kind != DeviceKind::File) {
        impl_->lastError = kSimErrorInvalidFunction;
        return false;
    }
    if (size) *size = r->device->content.size();
    return true;
}

}  // namespace qov::sim
