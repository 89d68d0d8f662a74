// A soak of the workbench: several virtual printers in one qovemu, labels
// sent through the library's own sends from several processes, each label
// carrying its printer and sequence number. A monitor follows every
// printer's gallery through the HTTP API while the labels go out and counts
// what is lost, doubled or out of order; qovemu's resident memory is
// sampled after the first 10,000 labels and until the end.
//
// Usage: soak_workbench [--printers N] [--labels N] [--processes N]
//                       [--keep N] [--paper WxL] [--poll-ms N] [--emulator PATH]
// Defaults: 8 printers, 100000 labels, 4 processes (each sends to
// printers/processes printers, at most 5), --keep 1000, paper 2000x1000,
// a gallery poll every 50 ms. Exit status 0 when nothing was lost, doubled
// or out of order, the counters match, and memory stayed within 10 %.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "../proc_stats.h"
#include "qovlib.h"

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

struct Options {
    long printers = 8;
    long labels = 100000;
    long processes = 4;
    long keep = 1000;
    long pollMs = 50;
    std::string paper = "2000x1000";
    std::string emulator;
};

bool parseArgs(int argc, char** argv, Options& o) {
    const std::string self = argv[0];
    const auto slash = self.rfind('/');
    o.emulator = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/qovemu";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--emulator") o.emulator = v;
        else if (a == "--paper") o.paper = v;
        else {
            long* t = a == "--printers" ? &o.printers : a == "--labels" ? &o.labels : a == "--processes" ? &o.processes
                      : a == "--keep" ? &o.keep : a == "--poll-ms" ? &o.pollMs : nullptr;
            if (!t) return false;
            *t = std::strtol(v.c_str(), nullptr, 10);
        }
    }
    if (argc % 2 == 0) return false;
    const long perProcess = (o.printers + o.processes - 1) / o.processes;
    return o.printers > 0 && o.processes > 0 && o.labels >= o.printers && perProcess <= 5 && o.keep > 0;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string printerName(long i) { return "p" + std::to_string(i); }
std::string labelText(long printer, long seq) { return "P" + std::to_string(printer) + " N" + std::to_string(seq); }

// One sender process: its printers on library slots 1.., the form once,
// then labels round-robin. Returns the number of sends the library refused.
int sendLabels(const Options& o, const std::vector<int>& ports, long process) {
    std::vector<long> mine;
    for (long i = process; i < o.printers; i += o.processes) mine.push_back(i);
    const long perPrinter = o.labels / o.printers;
    int failed = 0;
    for (std::size_t s = 0; s < mine.size(); ++s) {
        const int slot = static_cast<int>(s) + 1;
        if (openethernetmult(slot, const_cast<char*>("127.0.0.1"),
                             reinterpret_cast<int*>(static_cast<std::intptr_t>(ports[mine[s]]))) != 0)
            return 1000000;
        for (const char* line : {"~CREATE;T;X", "SCALE;DOT;203;203", "ALPHA", "AF1;16;POINT;20;20;10;10", "STOP", "END"})
            failed += sendcommandmult(slot, const_cast<char*>(line)) != 1;
    }
    for (long seq = 1; seq <= perPrinter; ++seq) {
        for (std::size_t s = 0; s < mine.size(); ++s) {
            const int slot = static_cast<int>(s) + 1;
            std::string field = "~AF1;\"" + labelText(mine[s], seq) + "\"";
            failed += sendcommandmult(slot, const_cast<char*>("~EXECUTE;T;1")) != 1;
            failed += sendcommandmult(slot, &field[0]) != 1;
            failed += sendcommandmult(slot, const_cast<char*>("~NORMAL")) != 1;
        }
    }
    for (std::size_t s = 0; s < mine.size(); ++s) closeethernetportmult(static_cast<int>(s) + 1, 200);
    return failed;
}

struct Follow {
    std::uint64_t lastId = 0;
    long expected = 1;   // next sequence number
    long seen = 0, lost = 0, doubled = 0, unseen = 0;
    long longestGapMs = 0, largestBatch = 0, requestMsMax = 0, parseMsMax = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseArgs(argc, argv, o)) {
        std::fprintf(stderr, "usage: soak_workbench [--printers N] [--labels N] [--processes N] [--keep N]\n"
                             "                      [--paper WxL] [--poll-ms N] [--emulator PATH]\n"
                             "(at most 5 printers per process; labels at least one per printer)\n");
        return 2;
    }
    const long perPrinter = o.labels / o.printers;
    const long total = perPrinter * o.printers;

    char logPath[] = "/tmp/soak-workbench-XXXXXX";
    const int logFd = mkstemp(logPath);
    const pid_t emu = fork();
    if (emu == 0) {
        dup2(logFd, 1);
        dup2(logFd, 2);
        std::vector<std::string> args = {"qovemu", "--http", "127.0.0.1:0", "--keep", std::to_string(o.keep)};
        for (long i = 0; i < o.printers; ++i) {
            args.push_back("--printer");
            args.push_back(printerName(i) + ":0:paper=" + o.paper);
        }
        std::vector<char*> argvv;
        for (auto& a : args) argvv.push_back(&a[0]);
        argvv.push_back(nullptr);
        execv(o.emulator.c_str(), argvv.data());
        _exit(127);
    }
    // Start-up lines: every printer's port, then the HTTP port.
    std::vector<int> ports(static_cast<std::size_t>(o.printers), 0);
    int httpPort = 0;
    for (int i = 0; i < 500 && httpPort == 0; ++i) {
        usleep(10000);
        const std::string log = fileText(logPath);
        const auto h = log.find("http listening 127.0.0.1:");
        if (h == std::string::npos || log.find('\n', h) == std::string::npos) continue;
        for (long p = 0; p < o.printers; ++p) {
            const std::string key = "printer " + printerName(p) + " listening 127.0.0.1:";
            const auto at = log.find(key);
            if (at != std::string::npos) ports[static_cast<std::size_t>(p)] = std::atoi(log.c_str() + at + key.size());
        }
        httpPort = std::atoi(log.c_str() + h + 25);
    }
    if (httpPort == 0) {
        std::fprintf(stderr, "qovemu did not start:\n%s\n", fileText(logPath).c_str());
        kill(emu, SIGKILL);
        return 1;
    }

    const auto started = Clock::now();
    std::vector<pid_t> senders;
    for (long p = 0; p < std::min(o.processes, o.printers); ++p) {
        const pid_t child = fork();
        if (child == 0) _exit(std::min(sendLabels(o, ports, p), 255));
        senders.push_back(child);
    }

    // One follower thread per printer, so that a slow answer for one
    // printer does not leave the others' galleries unread.
    std::vector<Follow> follow(static_cast<std::size_t>(o.printers));
    std::atomic<long> seenAll{0}, unseenAll{0}, httpFailures{0};
    std::atomic<long long> lastProgressMs{0};
    std::atomic<bool> stop{false};
    const auto msNow = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    };
    std::vector<std::thread> followers;
    for (long p = 0; p < o.printers; ++p) {
        followers.emplace_back([&, p] {
            httplib::Client api("127.0.0.1", httpPort);
            api.set_read_timeout(10, 0);
            Follow& f = follow[static_cast<std::size_t>(p)];
            const std::string prefix = "P" + std::to_string(p) + " N";
            long long lastAnswer = 0;
            while (!stop && f.expected <= perPrinter && f.lastId < static_cast<std::uint64_t>(perPrinter)) {
                const std::string path = "/printers/" + printerName(p) + "/labels?since=" + std::to_string(f.lastId);
                const long long asked = msNow();
                auto r = api.Get(path.c_str());
                const long long answered = msNow();
                f.requestMsMax = std::max<long>(f.requestMsMax, static_cast<long>(answered - asked));
                if (!r || r->status != 200) {
                    ++httpFailures;
                    std::this_thread::sleep_for(std::chrono::milliseconds(o.pollMs));
                    continue;
                }
                const json labels = json::parse(r->body, nullptr, false)["labels"];
                f.parseMsMax = std::max<long>(f.parseMsMax, static_cast<long>(msNow() - answered));
                f.largestBatch = std::max<long>(f.largestBatch, static_cast<long>(labels.size()));
                if (f.seen) f.longestGapMs = std::max<long>(f.longestGapMs, static_cast<long>(answered - lastAnswer));
                lastAnswer = answered;
                for (auto it = labels.rbegin(); it != labels.rend(); ++it) {  // oldest first
                    const std::uint64_t id = (*it)["id"];
                    if (id != f.lastId + 1) {  // dropped before we looked
                        f.unseen += static_cast<long>(id - f.lastId - 1);
                        unseenAll += static_cast<long>(id - f.lastId - 1);
                    }
                    f.lastId = id;
                    const std::string text = (*it)["texts"].empty() ? "" : (*it)["texts"][0].get<std::string>();
                    const long seq = text.compare(0, prefix.size(), prefix) == 0
                                         ? std::strtol(text.c_str() + prefix.size(), nullptr, 10) : -1;
                    ++f.seen;
                    ++seenAll;
                    lastProgressMs = msNow();
                    if (seq == f.expected) {
                        ++f.expected;
                    } else if (seq > f.expected && f.unseen == 0) {
                        f.lost += seq - f.expected;
                        f.expected = seq + 1;
                    } else if (seq > f.expected) {
                        f.expected = seq + 1;  // the gap is explained by labels dropped unseen
                    } else {
                        ++f.doubled;  // a number seen before (or none at all)
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(o.pollMs));
            }
        });
    }
    long baseRss = -1, maxRss = 0, refused = 0, baseAt = 0;
    while (seenAll + unseenAll < total && msNow() - lastProgressMs < 60000) {
        const long rss = qovbench::residentKiB(emu);
        if (baseRss < 0 && seenAll + unseenAll >= 10000) {
            baseRss = rss;
            baseAt = seenAll + unseenAll;
        }
        if (baseRss >= 0) maxRss = std::max(maxRss, rss);
        for (auto& s : senders) {
            int status = 0;
            if (s > 0 && waitpid(s, &status, WNOHANG) == s) {
                refused += WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
                s = -1;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(o.pollMs));
    }
    stop = true;
    for (auto& t : followers) t.join();
    httplib::Client api("127.0.0.1", httpPort);
    api.set_read_timeout(10, 0);
    for (auto& s : senders) {
        int status = 0;
        if (s > 0 && waitpid(s, &status, 0) == s) refused += WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const long endRss = qovbench::residentKiB(emu);

    long lost = 0, doubled = 0, unseen = 0, counterMismatch = 0, galleryMismatch = 0;
    for (long p = 0; p < o.printers; ++p) {
        const Follow& f = follow[static_cast<std::size_t>(p)];
        lost += f.lost + (perPrinter - (f.expected - 1));  // a tail never seen
        doubled += f.doubled;
        unseen += f.unseen;
        auto r = api.Get(("/printers/" + printerName(p)).c_str());
        const json j = r ? json::parse(r->body, nullptr, false) : json();
        if (!r || j["counters"]["labels"] != perPrinter) ++counterMismatch;
        if (!r || j["gallery"]["newest"] != perPrinter) ++galleryMismatch;
    }
    kill(emu, SIGTERM);
    waitpid(emu, nullptr, 0);
    unlink(logPath);

    const double growth = baseRss > 0 ? 100.0 * (std::max(maxRss, endRss) - baseRss) / baseRss : 0;
    std::printf("printers %ld, processes %ld, labels sent %ld (%ld per printer) in %.1f s: %.0f labels/s\n",
                o.printers, static_cast<long>(senders.size()), total, perPrinter, seconds, total / seconds);
    std::printf("seen in the galleries %ld; lost %ld, doubled or out of order %ld, dropped before seen %ld\n",
                seenAll.load(), lost, doubled, unseen);
    std::printf("printers whose counter differs %ld, whose newest gallery id differs %ld; sends refused %ld; "
                "gallery reads failed %ld\n",
                counterMismatch, galleryMismatch, refused, httpFailures.load());
    long gap = 0, batch = 0, request = 0, parse = 0;
    for (const Follow& f : follow) {
        gap = std::max(gap, f.longestGapMs);
        batch = std::max(batch, f.largestBatch);
        request = std::max(request, f.requestMsMax);
        parse = std::max(parse, f.parseMsMax);
    }
    std::printf("followers at worst: %ld ms between two answers, %ld labels in one, %ld ms for a request, "
                "%ld ms to read its answer\n",
                gap, batch, request, parse);
    std::printf("qovemu VmRSS: %ld kB after %ld labels, at most %ld kB later, %ld kB at the end (%+.1f %%)\n",
                baseRss, baseAt, maxRss, endRss, growth);
    const bool ok = lost == 0 && doubled == 0 && unseen == 0 && counterMismatch == 0 && galleryMismatch == 0 &&
                    refused == 0 && (baseRss < 0 || growth <= 10.0);
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
