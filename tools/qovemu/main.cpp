// qovemu: a label-printer emulator for trying the library without hardware.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "emulator_server.h"

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

}  // namespace

int main(int argc, char** argv) {
    qovemu::ServerOptions options;
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

    qovemu::EmulatorServer server(options, stdout);
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "qovemu: %s\n", error.c_str());
        return 1;
    }
    server.run(stopPipe[0]);
    server.shutdown();
    const auto& p = server.printer();
    std::printf("stopped: %llu labels printed, %zu forms, %zu logos, %llu errors, %llu restarts\n",
                static_cast<unsigned long long>(p.labelsPrinted()), p.formCount(), p.logoCount(),
                static_cast<unsigned long long>(p.errors()),
                static_cast<unsigned long long>(p.restarts()));
    std::fflush(stdout);
    return 0;
}
