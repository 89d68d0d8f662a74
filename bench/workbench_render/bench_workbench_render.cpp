// POST /render of the demo label at 203 dpi: latency (median, 99th
// percentile) and labels per second with 1 and 8 concurrent clients,
// against a live `qovemu --http` started here and, side by side, the same
// function called in-process (with the fonts kept between requests, and
// loaded anew each time for comparison). Goals with 8 clients on a 2-core machine:
// median <= 5 ms, p99 <= 20 ms, >= 200 labels/s.
//
// Usage: bench_workbench_render [SECONDS per run, default 5] [QOVEMU] [LABEL FILE]
#include <httplib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "render_api.h"

namespace {

using Clock = std::chrono::steady_clock;

// One request; true when it answered 200 with a PNG.
using Send = std::function<bool()>;

struct Result {
    std::size_t requests = 0, failures = 0;
    double medianMs = 0, p99Ms = 0, perSecond = 0;
};

Result run(int clients, double seconds, const std::function<Send()>& makeClient) {
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<std::size_t> failures{0};
    std::atomic<bool> go{false};
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            Send send = makeClient();
            for (int i = 0; i < 5; ++i) send();  // warm: connection, fonts
            while (!go) std::this_thread::yield();
            auto& mine = latencies[static_cast<std::size_t>(c)];
            mine.reserve(100000);
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                if (!send()) ++failures;
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
        });
    }
    const auto begun = Clock::now();
    go = true;
    for (std::thread& t : threads) t.join();
    const double wall = std::chrono::duration<double>(Clock::now() - begun).count();
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    Result r;
    r.requests = all.size();
    r.failures = failures;
    if (!all.empty()) {
        r.medianMs = all[all.size() / 2];
        r.p99Ms = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    }
    r.perSecond = static_cast<double>(all.size() - r.failures) / wall;
    return r;
}

void print(const char* how, int clients, const Result& r) {
    std::printf("%-12s %2d client%s  %7zu requests  median %6.2f ms  p99 %6.2f ms  %7.1f labels/s  %zu failed\n", how,
                clients, clients == 1 ? " " : "s", r.requests, r.medianMs, r.p99Ms, r.perSecond, r.failures);
}

bool isPng(const std::string& body) { return body.size() > 8 && body.compare(1, 3, "PNG") == 0; }

// qovemu on free ports; its pid and HTTP port, or pid -1.
pid_t startEmulator(const std::string& program, int& port) {
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(program.c_str(), program.c_str(), "--port", "0", "--http", "127.0.0.1:0", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    char line[256];
    port = 0;
    // Its start-up lines, until the HTTP one (or its end).
    while (lines && std::fgets(line, sizeof line, lines)) {
        if (std::sscanf(line, "http listening 127.0.0.1:%d", &port) == 1) break;
    }
    if (lines) {
        // The rest of its output is not read; a thread drains it so it never blocks.
        std::thread([lines] {
            char rest[256];
            while (std::fgets(rest, sizeof rest, lines)) {
            }
            std::fclose(lines);
        }).detach();
    }
    if (port == 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const std::string program = argc > 2 ? argv[2] : QOVEMU_PROGRAM;
    const std::string labelFile = argc > 3 ? argv[3] : DEMO_LABEL;
    std::ifstream in(labelFile, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string label = bytes.str();
    if (label.empty() || seconds <= 0) {
        std::fprintf(stderr, "usage: %s [SECONDS] [QOVEMU] [LABEL FILE]; cannot read %s\n", argv[0], labelFile.c_str());
        return 2;
    }
    int port = 0;
    const pid_t emulator = startEmulator(program, port);
    if (emulator < 0) {
        std::fprintf(stderr, "cannot start %s --http\n", program.c_str());
        return 1;
    }
    std::printf("POST /render?dpi=203 of the demo label (%zu bytes), %.0f s a run, qovemu at 127.0.0.1:%d\n",
                label.size(), seconds, port);
    std::size_t failed = 0;
    for (int clients : {1, 8}) {
        const Result http = run(clients, seconds, [&] {
            auto client = std::make_shared<httplib::Client>("127.0.0.1", port);
            client->set_keep_alive(true);
            client->set_tcp_nodelay(true);  // as curl and browsers do: headers and body leave at once
            client->set_read_timeout(10, 0);
            return [client, &label] {
                auto res = client->Post("/render?dpi=203", label, "application/octet-stream");
                return res && res->status == 200 && isPng(res->body);
            };
        });
        print("http", clients, http);
        // In-process, with the fonts kept between requests (as served) and,
        // for comparison, loaded anew by every request.
        auto inProcess = [&](bool reuse) {
            return run(clients, seconds, [&label, reuse] {
                return [&label, reuse] {
                    qovemu::RenderRequest r;
                    r.body = label;
                    r.query = {{"dpi", "203"}};
                    qovemu::RenderLimits limits;
                    limits.reuseGlyphs = reuse;
                    const qovemu::HttpAnswer a = qovemu::renderRequest(r, limits);
                    return a.status == 200 && isPng(a.body);
                };
            });
        };
        const Result direct = inProcess(true);
        print("in-process", clients, direct);
        const Result fresh = inProcess(false);
        print("fresh fonts", clients, fresh);
        failed += http.failures + direct.failures + fresh.failures;
    }
    kill(emulator, SIGTERM);
    waitpid(emulator, nullptr, 0);
    return failed == 0 ? 0 : 1;
}
