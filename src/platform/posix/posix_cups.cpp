// The spooler on CUPS: printers are queues, documents raw jobs.
//
// The server is the one libcups names (cupsServer(): CUPS_SERVER, then the
// client configuration). Each printer handle holds a connection of its own,
// because a document streams over it from the start of its page to the end
// of the document: cupsCreateJob at StartDocPrinter, cupsStartDocument with
// the raw format at StartPagePrinter (or at the first write), the bytes with
// cupsWriteRequestData, cupsFinishDocument at EndDocPrinter. A job that got
// no document is cancelled at its end, so the queue keeps no held job.
//
// A queue's port name is its device URI; the management query's "offline"
// is a stopped queue, one that rejects jobs, or one whose reasons report it
// offline.
//
// The server is followed when CUPS_SERVER changes while the process runs.
#include <cups/cups.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/posix/posix_errors.h"
#include "platform/like_pattern.h"
#include "platform/posix/posix_objects.h"
#include "platform/posix/posix_platform.h"

namespace qov::posix {

namespace {

constexpr std::uint32_t kErrorInvalidPrinterName = 1801;
constexpr std::uint32_t kErrorSplNoStartDoc = 3004;
constexpr int kConnectTimeoutMs = 5000;

struct HttpCloser {
    void operator()(http_t* h) const {
        if (h) httpClose(h);
    }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

struct PrinterObject {
    Http http;
    std::string name;       // the queue's own name
    std::string deviceUri;  // its port name
    std::string docName;
    int job = 0;
    bool documentStarted = false;
};

std::map<Handle, PrinterObject>& printers() {
    static std::map<Handle, PrinterObject> table;
    return table;
}

PrinterObject* findPrinter(Handle h) {
    auto it = printers().find(h);
    if (it == printers().end()) {
        setThreadLastError(kErrorInvalidHandle);
        return nullptr;
    }
    return &it->second;
}

// libcups reads CUPS_SERVER once and keeps it; a process that changes the
// variable later (a test starting its own server) is followed here.
void followServerSetting() {
    static bool known = false;
    static std::string last;
    const char* env = std::getenv("CUPS_SERVER");
    std::string now = env ? env : "";
    if (known && now == last) return;
    cupsSetServer(now.empty() ? nullptr : now.c_str());
    known = true;
    last = now;
}

Http connectServer() {
    followServerSetting();
    return Http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             kConnectTimeoutMs, nullptr));
}

// The server's queues; false when the server cannot be asked. A server
// without queues answers "not found", which is an empty list.
struct DestList {
    cups_dest_t* dests = nullptr;
    int count = 0;
    ~DestList() { cupsFreeDests(count, dests); }
};

bool listQueues(http_t* http, DestList& list) {
    list.count = cupsGetDests2(http, &list.dests);
    if (list.count > 0) return true;
    ipp_status_t st = cupsLastError();
    return st <= IPP_STATUS_OK_EVENTS_COMPLETE || st == IPP_STATUS_ERROR_NOT_FOUND;
}

std::string option(const cups_dest_t& d, const char* name) {
    const char* v = cupsGetOption(name, d.num_options, d.options);
    return v ? v : "";
}

bool reportsOffline(const cups_dest_t& d) {
    if (option(d, "printer-state") == "5") return true;  // stopped
    if (option(d, "printer-is-accepting-jobs") == "false") return true;
    const std::string reasons = option(d, "printer-state-reasons");
    for (std::size_t pos = 0; pos < reasons.size();) {
        std::size_t comma = reasons.find(',', pos);
        std::string reason = reasons.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (reason.compare(0, 7, "offline") == 0 || reason == "paused") return true;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return false;
}

bool startDocument(PrinterObject& p) {
    if (p.documentStarted) return true;
    if (cupsStartDocument(p.http.get(), p.name.c_str(), p.job, p.docName.c_str(), CUPS_FORMAT_RAW,
                          1) != HTTP_STATUS_CONTINUE) {
        setThreadLastError(kErrorGenFailure);
        return false;
    }
    p.documentStarted = true;
    return true;
}

}  // namespace

Handle PosixPlatform::openPrinter(const char* name) {
    if (!name || !*name) {
        setThreadLastError(kErrorInvalidPrinterName);
        return kNullHandle;
    }
    Http http = connectServer();
    if (!http) {
        setThreadLastError(kErrorInvalidPrinterName);
        return kNullHandle;
    }
    DestList list;
    if (!listQueues(http.get(), list)) {
        setThreadLastError(kErrorInvalidPrinterName);
        return kNullHandle;
    }
    // Queue names compare without regard to case, as printer names do.
    cups_dest_t* d = cupsGetDest(name, nullptr, list.count, list.dests);
    if (!d) {
        setThreadLastError(kErrorInvalidPrinterName);
        return kNullHandle;
    }
    PrinterObject p;
    p.http = std::move(http);
    p.name = d->name;
    p.deviceUri = option(*d, "device-uri");
    Handle h = allocateHandle();
    printers().emplace(h, std::move(p));
    return h;
}

std::uint32_t PosixPlatform::startDocPrinter(Handle printer, const char* docName) {
    PrinterObject* p = findPrinter(printer);
    if (!p) return 0;
    if (p->job != 0) {
        setThreadLastError(kErrorInvalidParameter);  // one document at a time
        return 0;
    }
    p->docName = docName ? docName : "";
    int job = cupsCreateJob(p->http.get(), p->name.c_str(), p->docName.c_str(), 0, nullptr);
    if (job <= 0) {
        setThreadLastError(kErrorGenFailure);
        return 0;
    }
    p->job = job;
    p->documentStarted = false;
    return static_cast<std::uint32_t>(job);
}

bool PosixPlatform::startPagePrinter(Handle printer) {
    PrinterObject* p = findPrinter(printer);
    if (!p) return false;
    if (p->job == 0) {
        setThreadLastError(kErrorSplNoStartDoc);
        return false;
    }
    return startDocument(*p);
}

bool PosixPlatform::writePrinter(Handle printer, const void* data, std::uint32_t size,
                                 std::uint32_t* written) {
    if (written) *written = 0;
    PrinterObject* p = findPrinter(printer);
    if (!p) return false;
    if (p->job == 0) {
        setThreadLastError(kErrorSplNoStartDoc);
        return false;
    }
    if (!startDocument(*p)) return false;
    // A zero-length chunk would end the document's body: nothing to send.
    if (size == 0) return true;
    if (!data) {
        setThreadLastError(kErrorInvalidParameter);
        return false;
    }
    if (cupsWriteRequestData(p->http.get(), static_cast<const char*>(data), size) !=
        HTTP_STATUS_CONTINUE) {
        setThreadLastError(kErrorGenFailure);
        return false;
    }
    if (written) *written = size;
    return true;
}

bool PosixPlatform::endPagePrinter(Handle printer) {
    PrinterObject* p = findPrinter(printer);
    if (!p) return false;
    if (p->job == 0) {
        setThreadLastError(kErrorSplNoStartDoc);
        return false;
    }
    return true;
}

bool PosixPlatform::endDocPrinter(Handle printer) {
    PrinterObject* p = findPrinter(printer);
    if (!p) return false;
    if (p->job == 0) {
        setThreadLastError(kErrorSplNoStartDoc);
        return false;
    }
    bool ok;
    if (p->documentStarted)
        ok = cupsFinishDocument(p->http.get(), p->name.c_str()) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    else
        ok = cupsCancelJob2(p->http.get(), p->name.c_str(), p->job, 0) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    p->job = 0;
    p->documentStarted = false;
    if (!ok) setThreadLastError(kErrorGenFailure);
    return ok;
}

bool PosixPlatform::closePrinter(Handle printer) {
    PrinterObject* p = findPrinter(printer);
    if (!p) return false;
    // A document still open is ended, not lost.
    if (p->job != 0) endDocPrinter(printer);
    printers().erase(printer);
    return true;
}

bool PosixPlatform::enumPrinters(std::vector<PrinterEntry>& out) {
    out.clear();
    Http http = connectServer();
    if (!http) {
        setThreadLastError(kErrorGenFailure);
        return false;
    }
    DestList list;
    if (!listQueues(http.get(), list)) {
        setThreadLastError(kErrorGenFailure);
        return false;
    }
    for (int i = 0; i < list.count; ++i) {
        const cups_dest_t& d = list.dests[i];
        if (d.instance) continue;  // an instance is its queue under options
        out.push_back({d.name, option(d, "device-uri")});
    }
    return true;
}

bool PosixPlatform::printerPortName(Handle printer, std::string& out) {
    PrinterObject* p = findPrinter(printer);
    if (!p) return false;
    if (p->deviceUri.empty()) {
        setThreadLastError(kErrorGenFailure);
        return false;
    }
    out = p->deviceUri;
    return true;
}

ManagementResult PosixPlatform::queryPrinterOffline(const char* query, bool* offline) {
    std::string pattern;
    if (!query || !likePatternOfQuery(query, pattern)) return ManagementResult::Failed;
    Http http = connectServer();
    if (!http) return ManagementResult::Failed;
    DestList list;
    if (!listQueues(http.get(), list)) return ManagementResult::Failed;
    for (int i = 0; i < list.count; ++i) {
        const cups_dest_t& d = list.dests[i];
        if (d.instance || !likeMatch(pattern, d.name)) continue;
        if (offline) *offline = reportsOffline(d);
        return ManagementResult::Found;
    }
    return ManagementResult::NotFound;
}

// Queue names are UTF-8 bytes; they are handed on as they are.
std::uint32_t PosixPlatform::spoolerCodePage() { return kCodePageUtf8; }

}  // namespace qov::posix
