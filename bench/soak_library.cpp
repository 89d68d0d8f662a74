// A soak of libqovlib.so against the emulator: months of a label
// application compressed into minutes. Labels go out over connections that
// are reopened all the time (every Nth open without a close before it),
// with status reads and printer restarts in between. At the end the
// emulator's own count and its capture files show whether any label was
// lost or doubled, and the process's descriptors and resident memory are
// compared with their values after the warm-up.
//
// Usage: soak_library [--labels N] [--per-connection N] [--unclosed-every N]
//                     [--status-every N] [--restart-every N] [--emulator PATH]
// Defaults: 100000 labels, 50 per connection, every 100th open unclosed, a
// status read every 200 labels, a restart every 10000. A run of seconds:
// --labels 2000. Exit status 0 when nothing was lost or doubled and the
// descriptor count stayed flat.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "proc_stats.h"
#include "qovlib.h"

namespace {

using qovbench::openDescriptors;
using qovbench::residentKiB;

struct Options {
    long labels = 100000;
    long perConnection = 50;
    long unclosedEvery = 100;
    long statusEvery = 200;
    long restartEvery = 10000;
    std::string emulator;
};

bool parseArgs(int argc, char** argv, Options& o) {
    const std::string self = argv[0];
    const auto slash = self.rfind('/');
    o.emulator = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/qovemu";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return false;
        const char* v = argv[++i];
        long* target = a == "--labels"           ? &o.labels
                       : a == "--per-connection" ? &o.perConnection
                       : a == "--unclosed-every" ? &o.unclosedEvery
                       : a == "--status-every"   ? &o.statusEvery
                       : a == "--restart-every"  ? &o.restartEvery
                                                 : nullptr;
        if (a == "--emulator") {
            o.emulator = v;
        } else if (target) {
            char* end = nullptr;
            *target = std::strtol(v, &end, 10);
            if (*end != '\0' || *target < 1 || *target > 100000000) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The emulator in a child process, its log in a file of the work folder.
class Emulator {
public:
    Emulator(const std::string& program, const std::string& dir)
        : log_(dir + "/qovemu.log"), capture_(dir + "/capture") {
        pid_ = fork();
        if (pid_ == 0) {
            std::FILE* out = std::freopen(log_.c_str(), "w", stdout);
            if (out) dup2(fileno(out), 2);
            execl(program.c_str(), program.c_str(), "--port", "0", "--capture-dir",
                  capture_.c_str(), "--max-connections", "64", static_cast<char*>(nullptr));
            std::perror("exec qovemu");
            _exit(127);
        }
        for (int i = 0; i < 100 && port_ == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::istringstream lines(readFile(log_));
            std::string line;
            while (std::getline(lines, line)) {
                if (line.rfind("listening 127.0.0.1:", 0) == 0) port_ = std::atoi(line.c_str() + 20);
            }
        }
    }
    ~Emulator() { stop(); }
    int port() const { return port_; }
    const std::string& captureDir() const { return capture_; }
    // Stops it cleanly (captures flushed); its log's last line then holds
    // the count of labels it printed.
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    long long labelsPrintedAtStop() const {
        const std::string text = readFile(log_);
        const auto at = text.rfind("stopped: ");
        return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + 9);
    }

private:
    std::string log_, capture_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// "LABELS PRINTED;n" of a status report, -1 when the read did not bring one.
long long labelsInStatus(const char* report) {
    const char* at = report ? std::strstr(report, "LABELS PRINTED;") : nullptr;
    return at ? std::atoll(at + 15) : -1;
}

constexpr const char* kSerialPrefix = "SOAK-";

bool printLabel(long serial) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%07ld", kSerialPrefix, serial);
    QOVA_DLLinit();  // a fresh workspace per label keeps the form list short
    const int form = QOVA_CreateForm("SOAK");
    if (form < 0 || QOVA_PrintTextEng(form, 50, 40, 12, 12, text) != 0) return false;
    char* sent = QOVA_PrintForm(form);
    const bool ok = sent != nullptr;
    std::free(sent);
    return ok;
}

// Counts each label serial in everything the emulator received.
std::vector<unsigned char> serialsSeen(const std::string& dir, long labels) {
    std::vector<unsigned char> seen(static_cast<std::size_t>(labels) + 1, 0);
    DIR* d = opendir(dir.c_str());
    if (!d) return seen;
    const std::size_t prefix = std::strlen(kSerialPrefix);
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string bytes = readFile(dir + "/" + e->d_name);
        for (auto at = bytes.find(kSerialPrefix); at != std::string::npos;
             at = bytes.find(kSerialPrefix, at + prefix)) {
            const long n = std::atol(bytes.c_str() + at + prefix);
            if (n >= 1 && n <= labels && seen[static_cast<std::size_t>(n)] < 255) {
                ++seen[static_cast<std::size_t>(n)];
            }
        }
    }
    closedir(d);
    return seen;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseArgs(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: soak_library [--labels N] [--per-connection N] [--unclosed-every N]\n"
                     "                    [--status-every N] [--restart-every N] [--emulator PATH]\n");
        return 2;
    }
    char dirTemplate[] = "/tmp/qovlib-soak-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return 2;
    Emulator emu(o.emulator, dir);
    if (emu.port() == 0) {
        std::fprintf(stderr, "soak: the emulator did not start (see %s/qovemu.log)\n", dir);
        return 2;
    }
    std::printf("soak: %ld labels, %ld per connection, every %ld-th open without a close, "
                "status every %ld, restart every %ld; emulator on port %d\n",
                o.labels, o.perConnection, o.unclosedEvery, o.statusEvery, o.restartEvery,
                emu.port());

    const auto t0 = std::chrono::steady_clock::now();
    const long warmUp = o.labels / 20 > 0 ? o.labels / 20 : 1;
    int fdWarm = -1, fdMax = -1;
    long rssWarm = -1, rssMax = -1;
    long opens = 0, unclosed = 0, failedOpens = 0, failedLabels = 0, statusReads = 0,
         statusFailures = 0, restarts = 0, statusBackwards = 0;
    long long lastStatus = -1;
    bool open = false;

    for (long serial = 1; serial <= o.labels; ++serial) {
        if ((serial - 1) % o.perConnection == 0) {
            ++opens;
            if (open && opens % o.unclosedEvery == 0) {
                ++unclosed;  // reopened over the connection still held
            } else if (open) {
                closeethernetport(0);
            }
            // Blocking and non-blocking sockets in turn.
            const int rc = opens % 2 ? openethernet("127.0.0.1", emu.port())
                                     : openethernet_async("127.0.0.1", emu.port());
            open = rc == 0;
            if (!open) ++failedOpens;
        }
        if (!open || !printLabel(serial)) ++failedLabels;
        if (serial % o.statusEvery == 0) {
            ++statusReads;
            const long long n = labelsInStatus(QOVA_GetStatus());
            if (n < 0) ++statusFailures;
            if (n >= 0 && n < lastStatus) ++statusBackwards;
            if (n >= 0) lastStatus = n;
        }
        if (serial % o.restartEvery == 0) {
            ethernetprinterrestart();
            ++restarts;
        }
        if (serial == warmUp) {
            fdWarm = fdMax = openDescriptors();
            rssWarm = rssMax = residentKiB();
        } else if (serial > warmUp && serial % 100 == 0) {
            const int fd = openDescriptors();
            const long rss = residentKiB();
            if (fd > fdMax) fdMax = fd;
            if (rss > rssMax) rssMax = rss;
        }
    }
    if (open) closeethernetport(0);
    const int fdEnd = openDescriptors();
    const long rssEnd = residentKiB();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    emu.stop();
    const long long printed = emu.labelsPrintedAtStop();
    const std::vector<unsigned char> seen = serialsSeen(emu.captureDir(), o.labels);
    long lost = 0, doubled = 0;
    for (long n = 1; n <= o.labels; ++n) {
        if (seen[static_cast<std::size_t>(n)] == 0) ++lost;
        if (seen[static_cast<std::size_t>(n)] > 1) ++doubled;
    }

    std::printf("time: %.1f s, %.0f labels/s\n", seconds, o.labels / seconds);
    std::printf("opens: %ld (%ld without a close before them, %ld failed)\n", opens, unclosed,
                failedOpens);
    std::printf("status reads: %ld (%ld without a report, %ld going backwards); restarts: %ld\n",
                statusReads, statusFailures, statusBackwards, restarts);
    std::printf("labels: %ld sent (%ld failed); emulator printed %lld; in its captures: "
                "%ld lost, %ld doubled\n",
                o.labels - failedLabels, failedLabels, printed, lost, doubled);
    std::printf("descriptors: %d after warm-up, at most %d later, %d at the end\n", fdWarm, fdMax,
                fdEnd);
    std::printf("resident memory: %ld KiB after warm-up, at most %ld KiB later, %ld KiB at the end\n",
                rssWarm, rssMax, rssEnd);

    const bool sound = failedLabels == 0 && printed == o.labels && lost == 0 && doubled == 0 &&
                       fdMax <= fdWarm && statusFailures == 0;
    std::printf("soak: %s\n", sound ? "ok" : "FAILED");
    if (sound) {
        // The captures are only kept for a failed run.
        const std::string rm = std::string("rm -rf '") + dir + "'";
        if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "soak: could not remove %s\n", dir);
    } else {
        std::printf("work folder kept: %s\n", dir);
    }
    return sound ? 0 : 1;
}
