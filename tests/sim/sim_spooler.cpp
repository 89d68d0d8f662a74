// The print spooler and the management query for a printer's state.
#include "sim_impl.h"

namespace qov::sim {

// SQL LIKE as the management service applies it (exposed for the tests).
bool sqlLike(const std::string& pattern, const std::string& text) {
    return qov::likeMatch(pattern, text);
}

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
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "StartDocPrinter");
    if (!r) return 0;
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
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "StartPagePrinter");
    if (!r) return false;
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
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "WritePrinter");
    if (!r) return false;
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
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "EndPagePrinter");
    if (!r) return false;
    impl_->log("EndPagePrinter " + r->printer->name);
    ++r->printer->pagesEnded;
    return true;
}

bool SimPlatform::endDocPrinter(Handle printer) {
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "EndDocPrinter");
    if (!r) return false;
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
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "ClosePrinter");
    if (!r) return false;
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
    auto* r = impl_->lookup(printer, Impl::HType::Printer, "GetPrinter");
    if (!r) return false;
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

}  // namespace qov::sim
