// Printer applications side by side: the same document printed through
// several IPP printers in turn (A, B, A, B, ...), each job timed from its
// Print-Job request to the last write into its printer's output (a file, or
// a folder of captures), seen once the job has completed and the output has
// been still for 20 ms.
//
// A driver rather than a script: a script's own processes (a client started
// for every request and every poll) took most of both cores and weighed on
// whichever server had more processes to run.
//
// Usage: bench_printer_jobs RUNS FORMAT FILE NAME=URI=SINK ...
#include <cups/cups.h>
#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Printer {
    std::string name, uri, sink;
    http_t* http = nullptr;
    std::string resource;
    std::vector<long long> micros;  // one per timed job
};

long long nanos(const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

long long nowNanos() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);  // the clock file times are in
    return nanos(t);
}

// Watches the sinks with inotify and keeps, for each, the time of its last
// write (file times tick in 4 ms steps here: too coarse for these jobs).
class SinkWatch {
public:
    bool start(const std::vector<Printer>& printers) {
        fd_ = inotify_init1(IN_CLOEXEC);
        if (fd_ < 0) return false;
        last_ = std::vector<std::atomic<long long>>(printers.size());
        for (std::size_t i = 0; i < printers.size(); ++i)
            if (!watch(printers[i].sink, i, 2)) return false;
        thread_ = std::thread([this] { run(); });
        return true;
    }
    ~SinkWatch() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    long long lastWrite(std::size_t i) const { return last_[i].load(); }

private:
    // A file, or a folder and its folders `depth` levels down (qovemu keeps
    // a folder of captures for each printer, a file for each connection).
    bool watch(const std::string& path, std::size_t owner, int depth) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) {
            std::fprintf(stderr, "no sink %s\n", path.c_str());
            return false;
        }
        const bool dir = S_ISDIR(st.st_mode);
        const int wd = inotify_add_watch(fd_, path.c_str(), dir ? IN_MODIFY | IN_CREATE : IN_MODIFY);
        if (wd < 0) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        watches_[wd] = Watched{owner, path, depth};
        if (!dir || depth == 0) return true;
        if (DIR* d = opendir(path.c_str())) {
            std::vector<std::string> subs;
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.' && e->d_type == DT_DIR) subs.push_back(path + "/" + e->d_name);
            closedir(d);
            mutex_.unlock();
            for (const std::string& sub : subs) watch(sub, owner, depth - 1);
            mutex_.lock();
        }
        return true;
    }
    void run() {
        alignas(inotify_event) char buffer[16384];
        pollfd pfd{fd_, POLLIN, 0};
        while (!stop_) {
            if (poll(&pfd, 1, 50) <= 0) continue;
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            const long long now = nowNanos();
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                Watched w;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    auto it = watches_.find(ev->wd);
                    if (it == watches_.end()) continue;
                    w = it->second;
                }
                if ((ev->mask & IN_CREATE) && (ev->mask & IN_ISDIR) && w.depth > 0)
                    watch(w.path + "/" + ev->name, w.owner, w.depth - 1);
                if (ev->mask & (IN_MODIFY | IN_CREATE)) last_[w.owner] = now;
            }
        }
    }
    struct Watched {
        std::size_t owner = 0;
        std::string path;
        int depth = 0;
    };
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<int, Watched> watches_;
    std::vector<std::atomic<long long>> last_;
    std::thread thread_;
};

bool connect(Printer& p) {
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, p.uri.c_str(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        std::fprintf(stderr, "%s: not a printer URI: %s\n", p.name.c_str(), p.uri.c_str());
        return false;
    }
    p.resource = resource;
    p.http = httpConnect2(host, port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
    if (!p.http) std::fprintf(stderr, "%s: cannot connect to %s:%d\n", p.name.c_str(), host, port);
    return p.http != nullptr;
}

ipp_t* request(const Printer& p, ipp_op_t op) {
    ipp_t* r = ippNewRequest(op);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, p.uri.c_str());
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "bench");
    return r;
}

// Prints the file and waits for the job's end; the time in microseconds, or -1.
long long printOnce(Printer& p, const SinkWatch& sinks, std::size_t index, const char* format, const char* file) {
    ipp_t* req = request(p, IPP_OP_PRINT_JOB);
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format);
    const long long t0 = nowNanos();
    ipp_t* resp = cupsDoFileRequest(p.http, req, p.resource.c_str(), file);
    const int id = resp ? ippGetInteger(ippFindAttribute(resp, "job-id", IPP_TAG_INTEGER), 0) : 0;
    ippDelete(resp);
    if (id <= 0) {
        std::fprintf(stderr, "%s: Print-Job refused: %s\n", p.name.c_str(), cupsLastErrorString());
        return -1;
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int state = 0;
    while (std::chrono::steady_clock::now() < limit) {
        ipp_t* q = request(p, IPP_OP_GET_JOB_ATTRIBUTES);
        ippAddInteger(q, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
        ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
        ipp_t* a = cupsDoRequest(p.http, q, p.resource.c_str());
        state = a ? ippGetInteger(ippFindAttribute(a, "job-state", IPP_TAG_ENUM), 0) : 0;
        ippDelete(a);
        if (state >= IPP_JSTATE_CANCELED) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (state != IPP_JSTATE_COMPLETED) {
        std::fprintf(stderr, "%s: job %d ended in state %d\n", p.name.c_str(), id, state);
        return -1;
    }
    // The printer's end may still be reading: wait until the sink is still for 20 ms.
    long long last = sinks.lastWrite(index);
    for (int still = 0; still < 10;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const long long now = sinks.lastWrite(index);
        still = now == last ? still + 1 : 0;
        last = now;
    }
    if (last <= t0) {
        std::fprintf(stderr, "%s: job %d completed, but nothing reached %s\n", p.name.c_str(), id, p.sink.c_str());
        return -1;
    }
    return (last - t0) / 1000;
}

long long percentile(std::vector<long long> v, int pct) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * static_cast<std::size_t>(pct) / 100)];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s RUNS FORMAT FILE NAME=URI=SINK ...\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const char* format = argv[2];
    const char* file = argv[3];
    std::vector<Printer> printers;
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        const auto e1 = a.find('='), e2 = a.rfind('=');
        if (e1 == std::string::npos || e2 == e1) {
            std::fprintf(stderr, "not NAME=URI=SINK: %s\n", argv[i]);
            return 2;
        }
        Printer p;
        p.name = a.substr(0, e1);
        p.uri = a.substr(e1 + 1, e2 - e1 - 1);
        p.sink = a.substr(e2 + 1);
        if (!connect(p)) return 1;
        printers.push_back(std::move(p));
    }
    SinkWatch sinks;
    if (!sinks.start(printers)) {
        std::fprintf(stderr, "cannot watch the sinks: %s\n", std::strerror(errno));
        return 1;
    }
    constexpr int kWarmUp = 3;  // not counted: first jobs load fonts, caches, connections
    for (int run = -kWarmUp; run < runs; ++run) {
        for (std::size_t i = 0; i < printers.size(); ++i) {
            const long long us = printOnce(printers[i], sinks, i, format, file);
            if (us < 0) return 1;
            if (run >= 0) printers[i].micros.push_back(us);
        }
    }
    for (const Printer& p : printers) {
        std::printf("  %s via %s: median %.1f ms, 90th percentile %.1f ms over %d jobs\n", file, p.name.c_str(),
                    percentile(p.micros, 50) / 1000.0, percentile(p.micros, 90) / 1000.0, runs);
        httpClose(p.http);
    }
    if (printers.size() == 2)
        std::printf("  %s: %s / %s median ratio %.2f\n", file, printers[0].name.c_str(), printers[1].name.c_str(),
                    static_cast<double>(percentile(printers[0].micros, 50)) / percentile(printers[1].micros, 50));
    return 0;
}
