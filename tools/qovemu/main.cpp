// qovemu: a label-printer emulator for trying the library without hardware.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "emulator_server.h"
#include "printer_spec.h"
#include "workbench_http.h"

namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(stopPipe[1], &byte, 1);
    errno = saved;
}

void usage(std::FILE* to) {
    std::fputs(
        "usage: qovemu [options]\n"
        "Emulates a label printer on TCP (and optionally a pty as its serial side).\n"
        "It stores forms and logos, prints forms on ~EXECUTE, answers ~STATUS, the\n"
        "code-page query, the RFID calibration and ESC ! R, and logs what it understood.\n"
        "\n"
        "  --bind ADDRESS        IPv4 address to listen on (default 127.0.0.1)\n"
        "  --port N              TCP port (default 9100; 0 picks a free one)\n"
        "  --serial              open a pty pair and serve its other side as the serial port\n"
        "  --capture-dir DIR     keep every received byte in DIR/conn-NNN-<transport>.bin\n"
        "  --preview-dir DIR     draw every printed label as DIR/NNN-<form name>.png\n"
        "                        (203 dpi, 1-bit; the log names each picture)\n"
        "  --codepage N          code page reported to the code-page query (default 1252)\n"
        "  --max-line N          bytes kept of one line (default 4096); the rest of a longer\n"
        "                        line is dropped and the cut line counts as an error\n"
        "  --max-form-bytes N    size of one form (default 262144); a larger form is discarded\n"
        "  --max-forms N         stored forms (default 64); new names past this are refused\n"
        "  --max-logo-bytes N    size of one logo (default 1048576); a larger one is discarded\n"
        "  --max-logos N         stored logos (default 64); new names past this are refused\n"
        "  --max-connections N   open TCP connections (default 32); more are closed at once\n"
        "  --max-backlog N       unread answer bytes per connection (default 1048576);\n"
        "                        answers past this are dropped\n"
        "  --max-capture N       bytes written to one capture file (default 268435456);\n"
        "                        later bytes are interpreted but not written\n"
        "\n"
        "The workbench (several printers, galleries, faults, an HTTP API and page):\n"
        "  --printer NAME:PORT[:serial][:dpi=203|300|600][:paper=WxL]\n"
        "                        one virtual printer (repeatable) with its own port, pty,\n"
        "                        forms, logos, counters, faults and gallery; paper in\n"
        "                        thousandths of an inch; replaces --port and --serial\n"
        "  --keep N              labels kept in each gallery (default 200)\n"
        "  --keep-bytes N        bytes kept in each gallery (default 67108864); labels\n"
        "                        waiting during a fault are bounded the same way, past\n"
        "                        which the printer stops reading its connections\n"
        "  --job-bytes N         input kept with each label, its last bytes (default 1048576)\n"
        "  --http ADDRESS:PORT   serve the API and the page on a loopback address\n"
        "  --http-bind ADDRESS   serve them on ADDRESS instead, whatever it is\n"
        "  --max-body N          largest HTTP request body (default 16777216)\n"
        "  --http-threads N      threads serving HTTP requests (default 8)\n"
        "  --http-timeout MS     time for one HTTP request to arrive, from its first byte,\n"
        "                        and for its answer to be taken (default 5000)\n"
        "  --help                this text\n"
        "Lines end in CR, LF or CR LF. ~STATUS is answered as soon as it arrives, without\n"
        "waiting for a line end. During an image download (~LOGO;name;PCX;DISK) every\n"
        "byte up to ~RASTEREND is image data.\n"
        "Memory stays bounded: partial lines, partial forms and logos, and answers\n"
        "waiting for a slow host are all capped as above. SIGINT or SIGTERM stop it\n"
        "cleanly (connections closed, captures flushed).\n",
        to);
}

bool parseNumber(const char* text, unsigned long long max, unsigned long long& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && text[0] != '-' && value <= max;
}

// "ADDRESS:PORT", the address possibly in brackets.
bool splitHostPort(const std::string& text, std::string& host, int& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    unsigned long long n = 0;
    if (!parseNumber(text.c_str() + colon + 1, 65535, n)) return false;
    port = static_cast<int>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qovemu::ServerOptions options;
    std::vector<qovemu::PrinterSpec> specs;
    qovemu::HttpOptions http;
    bool serveHttp = false;
    bool singleOnly = false;  // --port or --serial given
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long n = 0;
        auto number = [&](unsigned long long max, unsigned long long min = 1) {
            if (!parseNumber(next, max, n) || n < min) {
                std::fprintf(stderr, "qovemu: %s needs a number from %llu to %llu\n", arg.c_str(), min, max);
                std::exit(2);
            }
            ++i;
            return n;
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--serial") {
            options.serial = true;
            singleOnly = true;
        } else if (arg == "--printer" && next) {
            qovemu::PrinterSpec spec;
            std::string error;
            if (!qovemu::parsePrinterSpec(next, spec, error)) {
                std::fprintf(stderr, "qovemu: %s\n", error.c_str());
                return 2;
            }
            for (const auto& other : specs) {
                if (other.name == spec.name) {
                    std::fprintf(stderr, "qovemu: printer %s named twice\n", spec.name.c_str());
                    return 2;
                }
            }
            specs.push_back(spec);
            ++i;
        } else if (arg == "--http" && next) {
            std::string host;
            if (!splitHostPort(next, host, http.port)) {
                std::fprintf(stderr, "qovemu: --http needs ADDRESS:PORT\n");
                return 2;
            }
            if (!http.anyAddress) http.address = host;
            serveHttp = true;
            ++i;
        } else if (arg == "--http-bind" && next) {
            http.address = next;
            http.anyAddress = true;
            ++i;
        } else if (arg == "--keep") {
            options.keep = number(1u << 20);
        } else if (arg == "--keep-bytes") {
            options.keepBytes = number(1ull << 40, 1024);
        } else if (arg == "--job-bytes") {
            options.jobBytes = number(1u << 30, 0);
        } else if (arg == "--max-body") {
            http.maxBody = number(1ull << 32, 1);
        } else if (arg == "--http-threads") {
            http.threads = number(256);
        } else if (arg == "--http-timeout") {
            http.requestMs = static_cast<int>(number(600000, 10));
        } else if (arg == "--bind" && next) {
            options.bindAddress = next;
            ++i;
        } else if (arg == "--capture-dir" && next) {
            options.captureDir = next;
            ++i;
        } else if (arg == "--preview-dir" && next) {
            options.previewDir = next;
            ++i;
        } else if (arg == "--port") {
            options.port = static_cast<int>(number(65535, 0));
            singleOnly = true;
        } else if (arg == "--codepage") {
            options.codePage = static_cast<int>(number(65535, 0));
        } else if (arg == "--max-line") {
            options.limits.maxLine = number(1u << 24, 16);
        } else if (arg == "--max-form-bytes") {
            options.limits.maxFormBytes = number(1u << 30);
        } else if (arg == "--max-forms") {
            options.limits.maxForms = number(1u << 16);
        } else if (arg == "--max-logo-bytes") {
            options.limits.maxLogoBytes = number(1u << 30);
        } else if (arg == "--max-logos") {
            options.limits.maxLogos = number(1u << 16);
        } else if (arg == "--max-connections") {
            options.maxConnections = number(1024);
        } else if (arg == "--max-backlog") {
            options.maxReplyBacklog = number(1u << 30);
        } else if (arg == "--max-capture") {
            options.maxCaptureBytes = number(1ull << 40, 0);
        } else {
            std::fprintf(stderr, "qovemu: unknown or incomplete option %s\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }

    // One thread per printer and the HTTP pool would each get a malloc arena
    // of their own; two keep resident memory flat over a long run (the
    // workbench soak grew 11 % with the default, under 4 % with two).
    mallopt(M_ARENA_MAX, 2);

    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("qovemu: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!specs.empty() && singleOnly) {
        std::fprintf(stderr, "qovemu: --port and --serial are for the single printer; give them in --printer\n");
        return 2;
    }
    if (http.anyAddress && !serveHttp) {
        std::fprintf(stderr, "qovemu: --http-bind needs --http ADDRESS:PORT (for the port)\n");
        return 2;
    }

    // Labels are drawn only where someone can see them (the HTTP side or the
    // preview folder): drawing costs more than reading, and a printer that
    // draws for nobody would answer its hosts later.
    options.gallery = serveHttp || !options.previewDir.empty();

    // The printers: those of --printer, or the single one of the plain options.
    std::vector<std::unique_ptr<qovemu::EmulatorServer>> printers;
    if (specs.empty()) {
        printers.push_back(std::make_unique<qovemu::EmulatorServer>(options, stdout));
    } else {
        for (const auto& spec : specs) {
            qovemu::ServerOptions o = options;
            o.single = false;
            o.name = spec.name;
            o.port = spec.port;
            o.serial = spec.serial;
            o.dpi = spec.dpi;
            o.paperWidthMils = spec.paperWidthMils;
            o.paperLengthMils = spec.paperLengthMils;
            if (!o.captureDir.empty()) o.captureDir += "/" + spec.name;
            printers.push_back(std::make_unique<qovemu::EmulatorServer>(o, stdout));
        }
    }
    for (auto& p : printers) {
        std::string error;
        if (!p->start(error)) {
            std::fprintf(stderr, "qovemu: %s\n", error.c_str());
            return 1;
        }
    }
    std::vector<qovemu::EmulatorServer*> served;
    for (auto& p : printers) served.push_back(p.get());
    std::unique_ptr<qovemu::WorkbenchHttp> web;
    if (serveHttp) {
        web = std::make_unique<qovemu::WorkbenchHttp>(http, served, stdout);
        std::string error;
        if (!web->start(error)) {
            std::fprintf(stderr, "qovemu: %s\n", error.c_str());
            return 1;
        }
    }

    // One thread per printer; all of them watch the same stop pipe.
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < printers.size(); ++i)
        threads.emplace_back([&printers, i] { printers[i]->run(stopPipe[0]); });
    printers[0]->run(stopPipe[0]);
    for (auto& t : threads) t.join();
    if (web) web->stop();
    for (auto& p : printers) {
        p->shutdown();
        const auto& s = p->printer();
        std::printf("%sstopped: %llu labels printed, %zu forms, %zu logos, %llu errors, %llu restarts\n",
                    specs.empty() ? "" : ("printer " + p->options().name + " ").c_str(),
                    static_cast<unsigned long long>(s.labelsPrinted()), s.formCount(), s.logoCount(),
                    static_cast<unsigned long long>(s.errors()), static_cast<unsigned long long>(s.restarts()));
    }
    std::fflush(stdout);
    return 0;
}
