#include "printer_status.h"

#include <atomic>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device_uri.h"
#include "library_link.h"
#include "qovlib.h"

namespace qovprint {

namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 500ms;
// No status read this soon after a job: the next one may follow (a status
// read holds the printer for the library's 100 ms pause before a network read).
constexpr auto kQuietAfterJob = 300ms;
constexpr auto kJobWaitStep = 500ms;
constexpr auto kJobWaitLimit = std::chrono::minutes(30);  // then the job fails instead of blocking the queue

struct Known {
    std::string uri;
    PrinterStatus status;
    bool polled = false;
    bool unreachable = false;
};

std::mutex gStatusMutex;
std::condition_variable gStatusWake;
std::map<int, Known> gPrinters;  // by printer id: what the poller asks and found
std::set<int> gPausedByDevice;  // printers qovprint paused because the device says FAULT;PAUSED
std::atomic<bool> gStatusStop{false};
std::thread gPoller;

bool answers(const std::string& uri) {
    DeviceTarget t;
    std::string error;
    if (!parseDeviceUri(uri, &t, &error)) return false;
    return t.transport == Transport::Network || t.transport == Transport::Usb || t.transport == Transport::Serial;
}

// Every reason bit the status report decides.
pappl_preason_t reportBits() {
    std::size_t n = 0;
    const FaultReason* table = faultReasons(&n);
    unsigned bits = PAPPL_PREASON_OTHER | PAPPL_PREASON_OFFLINE;
    for (std::size_t i = 0; i < n; ++i) bits |= table[i].reason;
    return static_cast<pappl_preason_t>(bits);
}

void pollOnce() {
    std::vector<std::pair<int, std::string>> todo;
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        for (const auto& [id, k] : gPrinters) todo.emplace_back(id, k.uri);
    }
    for (const auto& [id, uri] : todo) {
        if (gStatusStop) return;
        PrinterStatus st;
        bool unreachable = false;
        {
            Lease lease(uri, 0ms);
            if (!lease.held()) {
                // Busy with a job (which watches the printer itself), or the device cannot be opened.
                if (lease.error().find("busy") != std::string::npos) continue;
                unreachable = true;
            } else {
                st = queryStatus();
                if (!st.answered) {
                    LibraryLink::instance().closeCurrent();  // a dead connection is opened anew next time
                    unreachable = true;
                }
            }
        }
        std::lock_guard<std::mutex> lock(gStatusMutex);
        auto it = gPrinters.find(id);
        if (it == gPrinters.end() || it->second.uri != uri) continue;
        it->second.status = st;
        it->second.polled = true;
        it->second.unreachable = unreachable;
    }
}

void pollerMain() {
    while (!gStatusStop) {
        // Right after a job the poll waits out the quiet time, no longer.
        const auto quiet = kQuietAfterJob - LibraryLink::instance().sinceJobUse();
        if (quiet <= std::chrono::steady_clock::duration::zero()) pollOnce();
        std::unique_lock<std::mutex> lock(gStatusMutex);
        const auto wait = quiet > std::chrono::steady_clock::duration::zero()
                              ? std::chrono::duration_cast<std::chrono::milliseconds>(quiet) + 1ms
                              : kPollInterval;
        gStatusWake.wait_for(lock, wait, [] { return gStatusStop.load(); });
    }
}

struct Collected {
    std::map<int, std::string> uris;
    std::vector<pappl_printer_t*> printers;
};

// The label roll and the ribbon; a level of 0 while the printer reports
// that fault, unknown otherwise (the report has no levels).
void setSupplies(pappl_printer_t* printer, pappl_preason_t reasons) {
    pappl_supply_t s[2] = {};
    std::snprintf(s[0].description, sizeof s[0].description, "Labels");
    s[0].type = PAPPL_SUPPLY_TYPE_OTHER;
    s[0].color = PAPPL_SUPPLY_COLOR_NO_COLOR;
    s[0].is_consumed = true;
    s[0].level = (reasons & PAPPL_PREASON_MEDIA_EMPTY) ? 0 : -1;
    std::snprintf(s[1].description, sizeof s[1].description, "Ribbon");
    s[1].type = PAPPL_SUPPLY_TYPE_INK_RIBBON;
    s[1].color = PAPPL_SUPPLY_COLOR_BLACK;
    s[1].is_consumed = true;
    s[1].level = (reasons & PAPPL_PREASON_MARKER_SUPPLY_EMPTY) ? 0 : -1;
    pappl_supply_t now[2] = {};
    if (papplPrinterGetSupplies(printer, 2, now) == 2 && now[0].level == s[0].level && now[1].level == s[1].level) return;
    papplPrinterSetSupplies(printer, 2, s);
}

void collectPrinter(pappl_printer_t* printer, void* data) {
    auto* c = static_cast<Collected*>(data);
    if (papplPrinterGetSupplies(printer, 0, nullptr) == 0) setSupplies(printer, PAPPL_PREASON_NONE);
    const char* uri = papplPrinterGetDeviceURI(printer);
    if (uri && answers(uri)) {
        c->uris[papplPrinterGetID(printer)] = uri;
        c->printers.push_back(printer);
    }
}

// The system's timer (its own thread, where printers cannot go away under
// us): tells the poller which printers to ask and shows what it found.
bool timerTick(pappl_system_t* system, void*) {
    Collected c;
    papplSystemIteratePrinters(system, collectPrinter, &c);
    std::vector<std::pair<pappl_printer_t*, Known>> results;
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        for (auto it = gPrinters.begin(); it != gPrinters.end();)
            it = c.uris.count(it->first) ? std::next(it) : gPrinters.erase(it);
        for (const auto& [id, uri] : c.uris) {
            Known& k = gPrinters[id];
            if (k.uri != uri) {
                k = Known{};
                k.uri = uri;
            }
        }
        for (pappl_printer_t* p : c.printers) {
            const Known& k = gPrinters[papplPrinterGetID(p)];
            if (k.polled) results.emplace_back(p, k);
        }
    }
    for (auto& [printer, k] : results) {
        if (k.unreachable) {
            PrinterStatus offline;
            offline.answered = true;
            offline.reasons = PAPPL_PREASON_OFFLINE;
            applyStatus(printer, offline);
        } else {
            applyStatus(printer, k.status);
        }
    }
    return true;
}

}  // namespace

PrinterStatus queryStatus() {
    const char* reply = QOVA_GetStatus();
    return parseStatusReport(reply ? reply : "");
}

void applyStatus(pappl_printer_t* printer, const PrinterStatus& st) {
    if (!st.answered) return;
    const pappl_preason_t decided = reportBits();
    const pappl_preason_t now = papplPrinterGetReasons(printer);
    const auto remove = static_cast<pappl_preason_t>(decided & now & ~st.reasons);
    const auto add = static_cast<pappl_preason_t>(st.reasons & ~now);
    if (add || remove) {
        papplPrinterSetReasons(printer, add, remove);
        setSupplies(printer, st.reasons);
    }

    // "paused" is no reason bit: the printer object itself is paused, and
    // resumed only if it was the device that paused it.
    const int id = papplPrinterGetID(printer);
    bool pause = false, resume = false;
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        const bool ours = gPausedByDevice.count(id) > 0;
        if (st.paused && !ours && papplPrinterGetState(printer) != IPP_PSTATE_STOPPED) {
            gPausedByDevice.insert(id);
            pause = true;
        } else if (!st.paused && ours) {
            gPausedByDevice.erase(id);
            resume = true;
        }
    }
    if (pause) papplPrinterPause(printer);
    if (resume) papplPrinterResume(printer);
}

bool statusCallback(pappl_printer_t*) { return true; }

bool waitUntilReady(pappl_job_t* job) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    const int id = papplPrinterGetID(printer);
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        auto it = gPrinters.find(id);
        if (it == gPrinters.end() || !it->second.polled || !it->second.status.blocked) return true;
    }
    const auto start = std::chrono::steady_clock::now();
    bool ready = false;
    while (!papplJobIsCanceled(job)) {
        const PrinterStatus st = queryStatus();
        applyStatus(printer, st);
        if (st.answered) {
            std::lock_guard<std::mutex> lock(gStatusMutex);
            auto it = gPrinters.find(id);
            if (it != gPrinters.end()) it->second.status = st;
        }
        if (st.answered && !st.blocked) {
            ready = true;
            break;
        }
        const bool paperOut = st.reasons & PAPPL_PREASON_MEDIA_EMPTY;
        papplPrinterSetReasons(printer, paperOut ? PAPPL_PREASON_MEDIA_NEEDED : PAPPL_PREASON_NONE,
                               paperOut ? PAPPL_PREASON_NONE : PAPPL_PREASON_MEDIA_NEEDED);
        papplJobSetMessage(job, "Waiting for the printer to be ready.");
        if (std::chrono::steady_clock::now() - start > kJobWaitLimit) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer stayed not ready; giving up.");
            break;
        }
        std::this_thread::sleep_for(kJobWaitStep);
    }
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_MEDIA_NEEDED);
    if (ready) papplJobSetMessage(job, "Printing.");
    return ready;
}

void startStatusPolling(pappl_system_t* system) {
    papplSystemAddTimerCallback(system, 0, 1, timerTick, nullptr);
    gStatusStop = false;
    gPoller = std::thread(pollerMain);
}

void stopStatusPolling() {
    gStatusStop = true;
    gStatusWake.notify_all();
    if (gPoller.joinable()) gPoller.join();
}

}  // namespace qovprint
