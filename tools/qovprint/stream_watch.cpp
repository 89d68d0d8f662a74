#include "stream_watch.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace qovprint {

namespace {

using clock = std::chrono::steady_clock;

struct Watched {
    long threadId = 0;
    clock::time_point lastLine;
    bool cut = false;
};

std::mutex gWatchMutex;
std::condition_variable gWatchWake;
std::map<pappl_job_t*, Watched> gJobs;
std::chrono::milliseconds gIdle{30000};
int gServerPort = 0;
bool gWatchStop = false;
std::thread gWatcher;

bool streamed(pappl_job_t* job) {
    const char* f = papplJobGetFormat(job);
    return f && (!std::strcmp(f, "image/pwg-raster") || !std::strcmp(f, "image/urf"));
}

// A client's connection: the local socket, or TCP on the IPP port (never
// the printer's connection, whose local port is the system's choice).
bool clientConnection(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
    if (a.ss_family == AF_UNIX) return true;
    int port = -1;
    if (a.ss_family == AF_INET) port = ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    if (a.ss_family == AF_INET6) port = ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return port == gServerPort;
}

void watcherMain() {
    std::unique_lock<std::mutex> lock(gWatchMutex);
    while (!gWatchStop) {
        gWatchWake.wait_for(lock, std::chrono::milliseconds(250));
        const auto now = clock::now();
        for (auto& [job, w] : gJobs) {
            if (w.cut || now - w.lastLine < gIdle) continue;
            const int fd = blockedDescriptor(w.threadId);
            if (fd < 0 || !clientConnection(fd)) continue;
            // Still stalled (no line came while we looked), on the client's connection: shut its reading side.
            if (clock::now() - w.lastLine < gIdle) continue;
            w.cut = true;
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "No document data for %lld ms: the connection is shut for reading.",
                        static_cast<long long>(gIdle.count()));
            papplJobSetMessage(job, "The document stopped arriving.");
            ::shutdown(fd, SHUT_RD);
        }
    }
}

}  // namespace

int blockedDescriptor(long threadId) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/syscall", threadId);
    std::FILE* f = std::fopen(path, "r");
    if (!f) return -1;
    long number = -1;
    unsigned long long a0 = 0, a1 = 0;
    const int got = std::fscanf(f, "%ld %llx %llx", &number, &a0, &a1);
    std::fclose(f);
    if (got != 3) return -1;
    if (number == SYS_read || number == SYS_recvfrom) return static_cast<int>(a0);
    if (number != SYS_poll || a1 != 1) return -1;
    // poll's one pollfd, read from the waiting thread's memory without trusting the address.
    pollfd p{};
    iovec local{&p, sizeof p};
    iovec remote{reinterpret_cast<void*>(static_cast<std::uintptr_t>(a0)), sizeof p};
    if (::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) != static_cast<ssize_t>(sizeof p)) return -1;
    return p.fd;
}

void startStreamWatch(std::chrono::milliseconds idleLimit, int serverPort) {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    gIdle = idleLimit;
    gServerPort = serverPort;
    gWatchStop = false;
    if (!gWatcher.joinable()) gWatcher = std::thread(watcherMain);
}

void stopStreamWatch() {
    {
        std::lock_guard<std::mutex> lock(gWatchMutex);
        gWatchStop = true;
    }
    gWatchWake.notify_all();
    if (gWatcher.joinable()) gWatcher.join();
}

void watchStream(pappl_job_t* job) {
    if (!streamed(job)) return;
    std::lock_guard<std::mutex> lock(gWatchMutex);
    Watched& w = gJobs[job];
    w.threadId = static_cast<long>(::syscall(SYS_gettid));
    w.lastLine = clock::now();
    w.cut = false;
}

void streamProgress(pappl_job_t* job) {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    auto it = gJobs.find(job);
    if (it != gJobs.end()) it->second.lastLine = clock::now();
}

void unwatchStream(pappl_job_t* job) {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    gJobs.erase(job);
}

}  // namespace qovprint
