#include "job_claims.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace qovprint {

namespace {

constexpr std::size_t kDoneKept = 4096;  // jobs remembered as done, the oldest forgotten first

using JobKey = std::pair<int, int>;  // printer id, job id

std::mutex gClaimsMutex;
std::map<pappl_job_t*, std::thread::id> gActive;
std::set<JobKey> gDone;
std::deque<JobKey> gDoneOrder;
void (*gPendingClose)() = nullptr;

JobKey keyOf(pappl_job_t* job) { return {papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job)}; }

bool tryClaim(pappl_job_t* job) {
    const JobKey key = keyOf(job);
    std::lock_guard<std::mutex> lock(gClaimsMutex);
    auto it = gActive.find(job);
    if (it != gActive.end()) return it->second == std::this_thread::get_id();
    if (gDone.count(key)) return false;
    gActive.emplace(job, std::this_thread::get_id());
    return true;
}

}  // namespace

bool claimJob(pappl_job_t* job) {
    if (tryClaim(job)) return true;
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Started again while it runs (or ran): this run leaves it alone.");
    return false;
}

bool ownsJob(pappl_job_t* job) {
    std::lock_guard<std::mutex> lock(gClaimsMutex);
    auto it = gActive.find(job);
    return it != gActive.end() && it->second == std::this_thread::get_id();
}

void releaseJob(pappl_job_t* job) {
    const JobKey key = keyOf(job);
    void (*close)() = nullptr;
    {
        std::lock_guard<std::mutex> lock(gClaimsMutex);
        auto it = gActive.find(job);
        if (it == gActive.end() || it->second != std::this_thread::get_id()) return;
        gActive.erase(it);
        if (gDone.insert(key).second) {
            gDoneOrder.push_back(key);
            if (gDoneOrder.size() > kDoneKept) {
                gDone.erase(gDoneOrder.front());
                gDoneOrder.pop_front();
            }
        }
        if (gActive.empty()) std::swap(close, gPendingClose);
    }
    if (close) close();
}

bool deferWhileClaimed(void (*closeLater)()) {
    std::lock_guard<std::mutex> lock(gClaimsMutex);
    if (gActive.empty()) return false;
    gPendingClose = closeLater;
    return true;
}

}  // namespace qovprint
