// The workbench's HTTP requests as served: the input is the bytes a client
// sends on one connection (one request or several pipelined), read by the
// HTTP library's own request handling with qovemu's routes, in front of two
// live printers that have printed three labels. A request is served once its
// head is in, as the server does, up to the connection's request cap, and
// the connection ends where an answer closes it.
//
// Every answer is held to: one of the documented codes; errors are JSON with
// "error"; a Content-Range (and 206) only on a label's bytes, whose body is
// then that slice of the label's real picture or job; on the wire each
// answer well framed (its header lines printable, one Content-Length that
// matches what followed) and equal to what the server meant to send.
//
// Input: the raw request bytes. The printers' state is put back after each
// input (faults cleared; the printers made anew when a gallery was emptied),
// so that each input sees the same printers.
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <sanitizer/lsan_interface.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "emulator_server.h"
#include "fuzz_check.h"
#include "waiting_room.h"
#include "workbench_http.h"
#include "workbench_server.h"

namespace {

using nlohmann::json;

// The connection as the library's stream: reads from the input, writes
// kept (bounded: past the cap a write fails, as a full socket would).
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(std::string in) : in_(std::move(in)) {}
    std::string rest() const { return in_.substr(at_); }
    const std::string& written() const { return out_; }

    bool is_readable() const override { return at_ < in_.size(); }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const std::size_t n = std::min(size, in_.size() - at_);
        std::memcpy(ptr, in_.data() + at_, n);
        at_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (out_.size() + size > kMaxWritten) return -1;
        out_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8080;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

private:
    static constexpr std::size_t kMaxWritten = 32u << 20;
    std::string in_;
    std::size_t at_ = 0;
    std::string out_;
};

// The library's server, its request handling reachable from here.
class Server : public httplib::Server {
public:
    using httplib::Server::process_request;
};

// What the server logged of one answer (after it was written).
struct Answer {
    std::string method, path;
    int status = 0;
    httplib::Headers headers;
    std::string body;

    std::string header(const char* name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct Printer {
    const char* name;
    int dpi, width, length;
    std::string job;
    std::size_t labels;
};

const char* const kForm = "~CREATE;T;X\r\nSCALE;DOT;203;203\r\nALPHA\r\nAF1;16;POINT;10;10;10;10\r\nSTOP\r\nEND\r\n";

std::string label(const std::string& text) { return "~EXECUTE;T;1\r\n~AF1;\"" + text + "\"\r\n~NORMAL\r\n"; }

const std::vector<Printer>& printerSpecs() {
    static const std::vector<Printer> specs = {
        {"a", 203, 1000, 500, kForm + label("A-1") + label("A-2"), 2},
        {"b", 300, 800, 400, kForm + label("B-1"), 1},
    };
    return specs;
}

// The printers, running, with their labels printed, and the server in front.
class Bench {
public:
    Bench() {
        stop_ = eventfd(0, EFD_CLOEXEC);
        FUZZ_CHECK(stop_ >= 0);
        std::vector<qovemu::EmulatorServer*> served;
        for (const Printer& spec : printerSpecs()) {
            qovemu::ServerOptions o;
            o.name = spec.name;
            o.single = false;
            o.port = 0;
            o.dpi = spec.dpi;
            o.paperWidthMils = spec.width;
            o.paperLengthMils = spec.length;
            o.keep = 16;
            auto p = std::make_unique<qovemu::EmulatorServer>(o, nullptr);
            std::string error;
            if (!p->start(error)) std::fprintf(stderr, "printer %s: %s\n", spec.name, error.c_str());
            FUZZ_CHECK(p->port() > 0);
            qovemu::EmulatorServer* raw = p.get();
            const int stop = stop_;
            // The printers' threads run on while libFuzzer's leak check looks
            // at the heap: a vector of theirs caught growing looked lost. What
            // they allocate is left out of the check, which is the HTTP side's.
            threads_.emplace_back([raw, stop] {
                __lsan_disable();
                raw->run(stop);
            });
            served.push_back(raw);
            printers_.push_back(std::move(p));
        }
        for (std::size_t i = 0; i < printers_.size(); ++i) print(*printers_[i], printerSpecs()[i]);

        qovemu::HttpOptions options;
        options.maxBody = 64u << 10;
        // Small caps, so that each input runs fast (as in the render_api target).
        options.render.maxLabels = 8;
        options.render.maxZipLabels = 3;
        options.render.maxDotsDrawn = 32LL << 20;
        options.render.maxPictureDots = 16LL << 20;
        qovemu::installRoutes(server_, options, served);
        server_.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            answers_.push_back({req.method, req.path, res.status, res.headers, res.body});
        });
    }

    ~Bench() {
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        for (auto& t : threads_) t.join();
        printers_.clear();
        ::close(stop_);
    }

    Server& server() { return server_; }
    std::vector<Answer>& answers() { return answers_; }

    qovemu::EmulatorServer* find(const std::string& name) const {
        for (const auto& p : printers_)
            if (p->options().name == name) return p.get();
        return nullptr;
    }

    // False when an input changed what the next one would see beyond repair
    // (a gallery emptied); faults are cleared here.
    bool restore() {
        for (std::size_t i = 0; i < printers_.size(); ++i) {
            const qovemu::PrinterSnapshot s = printers_[i]->snapshot();
            if (s.faults.any())
                for (const auto& f : qovemu::faultNames()) printers_[i]->setFault(f.fault, false);
            if (s.galleryCount != printerSpecs()[i].labels) return false;
        }
        return true;
    }

private:
    // Sends the printer its job over TCP and waits until its labels are kept.
    // libFuzzer's time-out alarm may interrupt any of these calls: each is
    // tried again.
    static void print(qovemu::EmulatorServer& p, const Printer& spec) {
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(p.port()));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) break;
            const int error = errno;
            if (fd >= 0) ::close(fd);
            fd = -1;
            if (error != EINTR) {
                std::fprintf(stderr, "printer %s, port %d: %s\n", spec.name, p.port(), std::strerror(error));
                break;
            }
        }
        FUZZ_CHECK(fd >= 0);
        for (std::size_t sent = 0; sent < spec.job.size();) {
            const ssize_t n = ::send(fd, spec.job.data() + sent, spec.job.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            FUZZ_CHECK(n > 0);
            sent += static_cast<std::size_t>(n);
        }
        ::close(fd);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (p.snapshot().galleryCount < spec.labels) {
            FUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        FUZZ_CHECK(p.snapshot().galleryCount == spec.labels);
    }

    int stop_ = -1;
    std::vector<std::unique_ptr<qovemu::EmulatorServer>> printers_;
    std::vector<std::thread> threads_;
    Server server_;
    std::vector<Answer> answers_;
};

bool printable(const std::string& s) {
    for (char c : s)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
    return true;
}

// A decimal number of 1 to 19 digits.
bool number(const std::string& s, std::uint64_t& v) {
    if (s.empty() || s.size() > 19) return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

// The bytes a label route serves, looked up directly; null when not kept.
const std::string* labelBytes(const Bench& bench, const std::smatch& m, qovemu::GalleryItem& keep) {
    qovemu::EmulatorServer* p = bench.find(m[1]);
    std::uint64_t id = 0;
    if (!p || !number(m[2], id) || !(keep = p->label(id))) return nullptr;
    return m[3] == "png" ? &keep->png : &keep->job;
}

void checkAnswer(const Bench& bench, const Answer& a) {
    static const std::regex labelRoute(R"(/printers/([^/]+)/labels/([0-9]+)\.(png|txt))");
    const int s = a.status;
    FUZZ_CHECK(s == 200 || s == 204 || s == 206 || s == 400 || s == 404 || s == 406 || s == 413 || s == 414 ||
               s == 416 || s == 422);
    const std::string type = a.header("Content-Type");
    const std::string range = a.header("Content-Range");
    std::smatch m;
    const bool bytesRoute = (a.method == "GET" || a.method == "HEAD") && std::regex_match(a.path, m, labelRoute);
    // A Range cuts only a label's bytes: never an error or JSON.
    if (!range.empty() || s == 206) FUZZ_CHECK(bytesRoute && (s == 206 || s == 416));
    if (s >= 400) {
        FUZZ_CHECK(type == "application/json");
        const json j = json::parse(a.body, nullptr, false);
        FUZZ_CHECK(j.is_object() && j.contains("error") && j["error"].is_string());
        if (s == 416 && bytesRoute) FUZZ_CHECK(range.empty() || range.compare(0, 8, "bytes */") == 0);
        return;
    }
    if (type == "application/json") FUZZ_CHECK(!json::parse(a.body, nullptr, false).is_discarded());
    if (!bytesRoute || (s != 200 && s != 206)) return;
    qovemu::GalleryItem keep;
    const std::string* whole = labelBytes(bench, m, keep);
    FUZZ_CHECK(whole != nullptr);
    if (s == 200) {
        FUZZ_CHECK(range.empty() && a.body == *whole);
        return;
    }
    // "bytes FIRST-LAST/SIZE" of the real bytes, and the body that slice.
    unsigned long long first = 0, last = 0, size = 0;
    int used = 0;
    FUZZ_CHECK(std::sscanf(range.c_str(), "bytes %llu-%llu/%llu%n", &first, &last, &size, &used) == 3);
    FUZZ_CHECK(static_cast<std::size_t>(used) == range.size());
    FUZZ_CHECK(size == whole->size() && first <= last && last < size);
    FUZZ_CHECK(a.body == whole->substr(first, last - first + 1));
}

// Splits what was written into answers, as a client reads them, and holds
// each to what the server logged: the same status, printable header lines,
// one Content-Length framing exactly the body that follows (none for HEAD).
void checkWire(const std::string& out, const std::vector<Answer>& logged) {
    std::size_t at = 0, next = 0;
    while (at < out.size()) {
        const std::size_t end = out.find("\r\n\r\n", at);
        FUZZ_CHECK(end != std::string::npos);
        const std::string head = out.substr(at, end + 2 - at);
        at = end + 4;
        FUZZ_CHECK(head.size() >= 14 && head.compare(0, 9, "HTTP/1.1 ") == 0);
        const int status = std::atoi(head.c_str() + 9);
        if (status == 100) continue;  // the interim answer to "Expect: 100-continue"
        FUZZ_CHECK(next < logged.size());
        const Answer& a = logged[next++];
        FUZZ_CHECK(status == a.status);
        std::size_t lengths = 0;
        std::uint64_t length = 0;
        for (std::size_t line = head.find("\r\n") + 2; line < head.size();) {
            const std::size_t stop = head.find("\r\n", line);
            const std::string text = head.substr(line, stop - line);
            line = stop + 2;
            const std::size_t colon = text.find(": ");
            FUZZ_CHECK(colon != std::string::npos && colon > 0 && printable(text));
            if (text.compare(0, colon, "Content-Length") == 0) {
                ++lengths;
                FUZZ_CHECK(number(text.substr(colon + 2), length));
            }
        }
        FUZZ_CHECK(lengths == 1 && length == a.body.size());
        if (a.method == "HEAD") continue;
        FUZZ_CHECK(out.size() - at >= length && out.compare(at, length, a.body) == 0);
        at += length;
    }
    FUZZ_CHECK(next == logged.size());
}

std::unique_ptr<Bench> bench;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!bench) bench = std::make_unique<Bench>();
    bench->answers().clear();

    // As the server serves a connection: a request once its whole head is
    // in, the next on the same connection unless an answer closed it.
    MemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    const qovemu::ServingLimits limits{};
    for (std::size_t served = 1;; ++served) {
        const std::string rest = stream.rest();
        if (!qovemu::headComplete(rest) || rest.find("\r\n\r\n") + 4 > limits.waiting.headBytes) break;
        const std::size_t before = bench->answers().size();
        bool closed = false;
        const bool last = served >= limits.requestsPerConnection;
        const bool ok = bench->server().process_request(stream, last, closed, nullptr);
        const auto& answers = bench->answers();
        FUZZ_CHECK(answers.size() <= before + 1);
        if (answers.size() == before) break;
        // Checked at once: a later request may drop the label it showed.
        checkAnswer(*bench, answers.back());
        if (!ok || closed || last || answers.back().header("Connection") == "close") break;
    }
    checkWire(stream.written(), bench->answers());

    if (!bench->restore()) {
        bench.reset();
        bench = std::make_unique<Bench>();
    }
    return 0;
}
