// Raw jobs: command-language documents go to the printer byte for byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "byte_size.h"
#include "job_claims.h"
#include "printer_driver.h"
#include "printer_jobs.h"
#include "printer_status.h"
#include "raw_listener.h"

namespace qovprint {

namespace {

constexpr std::size_t kCopyChunk = 64 * 1024;

bool fail(pappl_job_t* job, const std::string& why) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Raw job refused: %s.", why.c_str());
    papplJobSetMessage(job, "Raw job refused: %s.", why.c_str());
    return false;
}

bool copyRaw(pappl_job_t* job, pappl_device_t* device) {
    const char* path = papplJobGetFilename(job);
    // Refused while it arrived on the raw socket: nothing of it goes out.
    if (auto why = takeRawRefusal(path)) return fail(job, *why);
    const int fd = path ? ::open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return fail(job, std::string("cannot open the document: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > rawSizeLimit()) {
        ::close(fd);
        return fail(job, "the document is larger than " + byteSizeText(rawSizeLimit()));
    }
    if (!waitUntilReady(job)) {
        ::close(fd);
        return false;
    }
    static thread_local char buffer[kCopyChunk];
    bool ok = true;
    for (;;) {
        if (papplJobIsCanceled(job)) break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot read the document: %s", std::strerror(errno));
            ok = false;
            break;
        }
        if (n == 0) break;
        if (papplDeviceWrite(device, buffer, static_cast<std::size_t>(n)) != n) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer connection failed.");
            ok = false;
            break;
        }
    }
    ::close(fd);
    papplDeviceFlush(device);
    return ok;
}

bool claimedCopy(pappl_job_t* job, pappl_device_t* device) {
    if (!claimJob(job)) return true;
    const bool ok = copyRaw(job, device);
    releaseJob(job);
    return ok;
}

bool printRaw(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) { return claimedCopy(job, device); }

bool filterRaw(pappl_job_t* job, pappl_device_t* device, void*) { return claimedCopy(job, device); }

}  // namespace

void installRawCallbacks(pappl_pr_driver_data_t* d) { d->printfile_cb = printRaw; }

void addRawFilters(pappl_system_t* system) {
    // CUPS's raw type is our language too: a CUPS queue in front of a printer sends it so.
    papplSystemAddMIMEFilter(system, "application/vnd.cups-raw", kCommandFormat, filterRaw, nullptr);
}

}  // namespace qovprint
