#include "emulator_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "png_io.h"

namespace qovemu {

namespace {

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Every printer logs to the same stream from its own thread: whole lines only.
std::mutex logMutex;

std::string galleryDir(const ServerOptions& o) {
    return o.single || o.previewDir.empty() ? std::string() : o.previewDir + "/" + o.name;
}

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr std::size_t kReadSize = 65536;

// mkdir -p: the printers' folders sit in the folder named on the command line.
bool makeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

EmulatorServer::EmulatorServer(ServerOptions options, std::FILE* log)
    : options_(std::move(options)), log_(log), logPrefix_(options_.single ? "" : options_.name + " "),
      printer_(options_.limits, options_.codePage),
      gallery_(options_.keep, options_.keepBytes, galleryDir(options_)) {
    // A renderer that shares this memory leaves its paper alone: the printer's
    // own paper is set here, until a job sets another.
    if (options_.paperWidthMils > 0) previewMemory_.language.setup.paperWidthMils = options_.paperWidthMils;
    if (options_.paperLengthMils > 0) previewMemory_.language.setup.paperLengthMils = options_.paperLengthMils;
}

EmulatorServer::~EmulatorServer() {
    shutdown();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void EmulatorServer::logLine(const std::string& text, bool bare) {
    if (!log_) return;
    const std::string line = (bare ? std::string() : logPrefix_) + text + "\n";
    std::lock_guard<std::mutex> hold(logMutex);
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fflush(log_);
}

bool EmulatorServer::start(std::string& error) {
    for (const std::string& dir : {options_.previewDir, galleryDir(options_)}) {
        if (!dir.empty() && !makeFolders(dir)) {
            error = "cannot create preview folder " + dir + ": " + std::strerror(errno);
            return false;
        }
    }
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (!options_.captureDir.empty()) {
        if (!makeFolders(options_.captureDir)) {
            error = "cannot create capture folder " + options_.captureDir + ": " + std::strerror(errno);
            return false;
        }
    }
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (inet_pton(AF_INET, options_.bindAddress.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + options_.bindAddress;
        return false;
    }
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || !setNonBlocking(listener_)) {
        error = "cannot listen on " + options_.bindAddress + ":" + std::to_string(options_.port) +
                ": " + std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    logLine(std::string(options_.single ? "" : "printer " + options_.name + " ") + "listening " + options_.bindAddress + ":" + std::to_string(port_), true);

    if (options_.serial) {
        ptyMaster_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (ptyMaster_ < 0 || grantpt(ptyMaster_) != 0 || unlockpt(ptyMaster_) != 0) {
            error = std::string("cannot open a pty: ") + std::strerror(errno);
            return false;
        }
        const char* name = ptsname(ptyMaster_);
        serialPath_ = name ? name : "";
        ptySlave_ = ::open(serialPath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (ptySlave_ < 0) {
            error = "cannot open " + serialPath_ + ": " + std::strerror(errno);
            return false;
        }
        // Raw, so that the bytes the host writes arrive as written.
        termios tio{};
        if (tcgetattr(ptySlave_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(ptySlave_, TCSANOW, &tio);
        }
        setNonBlocking(ptyMaster_);
        Connection* c = addConnection(ptyMaster_, "serial");
        if (!c) {
            error = "cannot set up the serial side";
            return false;
        }
        logLine(std::string(options_.single ? "" : "printer " + options_.name + " ") + "serial " + serialPath_, true);
    }
    return true;
}

EmulatorServer::Connection* EmulatorServer::addConnection(int fd, const char* transport) {
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->id = nextId_++;
    c->transport = transport;
    const std::string prefix = "[" + std::to_string(c->id) + " " + transport + "] ";
    c->session = std::make_unique<CommandSession>(
        printer_, [this, prefix](const std::string& text) { logLine(prefix + text); });
    qovrender::RenderOptions render;
    render.dpi = options_.dpi;
    render.paperWidthMils = options_.paperWidthMils;
    render.paperLengthMils = options_.paperLengthMils;
    Connection* self = c.get();
    const bool logNotes = options_.single && !options_.previewDir.empty();
    if (options_.gallery) c->preview = std::make_unique<qovrender::Renderer>(
        render, [this, self, prefix](const qovrender::PrintedLabel& label) { printed(*self, prefix, label); },
        [this, self, prefix, logNotes](long long line, const std::string& text) {
            if (self->notes.size() < 256) self->notes.push_back({line, text});
            if (logNotes) logLine(prefix + "preview, line " + std::to_string(line) + ": " + text);
        },
        &previewMemory_);
    if (!options_.captureDir.empty()) {
        char name[64];
        std::snprintf(name, sizeof name, "/conn-%03u-%s.bin", c->id, transport);
        const std::string path = options_.captureDir + name;
        c->capture = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (c->capture < 0) logLine(prefix + "cannot create capture " + path);
    }
    connections_.push_back(std::move(c));
    return connections_.back().get();
}

void EmulatorServer::acceptConnections() {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN: all taken; other errors: try again on the next poll
        char text[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::size_t tcpCount = 0;
        for (const auto& c : connections_)
            if (c->fd != ptyMaster_) ++tcpCount;
        if (tcpCount >= options_.maxConnections) {
            logLine("connection from " + std::string(text) + " refused: " +
                    std::to_string(options_.maxConnections) + " open already");
            ::close(fd);
            continue;
        }
        Connection* c = addConnection(fd, "tcp");
        logLine("[" + std::to_string(c->id) + " tcp] connected from " + text + ":" +
                std::to_string(ntohs(peer.sin_port)));
    }
}

bool EmulatorServer::readFrom(Connection& c) {
    char buffer[kReadSize];
    for (int round = 0; round < 16 && !c.held; ++round) {  // bounded, so one busy peer cannot starve others
        const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (n == 0) return false;
        const std::size_t size = static_cast<std::size_t>(n);
        c.received += size;
        if (c.capture >= 0) {
            const std::uint64_t room =
                c.captured < options_.maxCaptureBytes ? options_.maxCaptureBytes - c.captured : 0;
            const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(room, size));
            writeAll(c.capture, buffer, keep);
            c.captured += keep;
            if (keep < size && !c.dropNoted) {
                logLine("[" + std::to_string(c.id) + "] capture full, later bytes not kept");
                c.dropNoted = true;
            }
        }
        queueAnswer(c, takeIn(c, buffer, size));
        if (!writeTo(c)) return false;
    }
    return true;
}

void EmulatorServer::queueAnswer(Connection& c, const std::string& answer) {
    if (c.pending.size() + answer.size() <= options_.maxReplyBacklog) {
        c.pending += answer;
    } else {
        logLine("[" + std::to_string(c.id) + "] host does not read its answers, " +
                std::to_string(answer.size()) + " bytes dropped");
    }
}

bool EmulatorServer::resume(Connection& c) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (printer_.faults().any() && waitingFull()) return true;
    }
    c.held = false;
    const std::string rest = std::move(c.unread);
    c.unread.clear();
    queueAnswer(c, takeIn(c, rest.data(), rest.size()));
    return writeTo(c);
}

// A line at a time: a label the renderer draws takes the job's bytes up to
// the line that printed it, and a full waiting queue stops the intake
// between two lines.
std::string EmulatorServer::takeIn(Connection& c, const char* data, std::size_t size) {
    const std::size_t cap = std::max<std::size_t>(options_.jobBytes, 1);
    std::string answer;
    std::size_t start = 0;
    while (start < size) {
        // Locked a line at a time, so that the HTTP side gets in between
        // the labels of a long burst.
        giveWay();
        std::lock_guard<std::mutex> hold(mutex_);
        const std::size_t pictures = waiting_.size();
        const std::uint64_t counted = printer_.labelsWaiting();
        std::size_t end = start;
        while (end < size && data[end] != '\n' && data[end] != '\r') ++end;
        if (end < size && data[end] == '\r' && end + 1 < size && data[end + 1] == '\n') ++end;
        if (end < size) ++end;
        c.history.append(data + start, end - start);
        if (c.history.size() > 2 * cap) c.history.erase(0, c.history.size() - cap);
        answer += c.session->feed(data + start, end - start);
        if (c.preview) c.preview->feed(data + start, end - start);
        start = end;
        // Only a host that adds to a full buffer is held: one that asks for
        // the status during the fault is still answered.
        const bool added = waiting_.size() > pictures || printer_.labelsWaiting() > counted;
        if (added && start < size && printer_.faults().any() && waitingFull()) {
            // The rest waits here, and the host's further bytes in the socket.
            c.unread.assign(data + start, size - start);
            c.held = true;
            break;
        }
    }
    return answer;
}

// From the renderer, under mutex_.
void EmulatorServer::printed(Connection& c, const std::string& prefix, const qovrender::PrintedLabel& label) {
    std::vector<std::uint8_t> png;
    std::string error;
    if (!qovrender::encodePng(*label.picture, label.dpi, png, error)) {
        logLine(prefix + "label not drawn: " + error);
        png.clear();
    }
    if (options_.single && !options_.previewDir.empty() && !png.empty()) writePreview(prefix, label, png);
    GalleryEntry entry;
    entry.timeMs = nowMs();
    entry.form = label.form;
    entry.copies = label.copies;
    entry.summary = label.summary;
    entry.width = label.picture->width();
    entry.height = label.picture->height();
    entry.notes = std::move(c.notes);
    c.notes.clear();
    for (const auto& t : label.texts) entry.texts.push_back(t.first);
    entry.png.assign(png.begin(), png.end());
    const std::size_t cap = std::max<std::size_t>(options_.jobBytes, 1);
    // The job: what the connection sent since its previous label (the
    // first one's includes what came before, forms and logos), its last bytes.
    entry.job = c.history.size() > cap ? c.history.substr(c.history.size() - cap) : c.history;
    c.history.clear();
    if (printer_.faults().any() || !waiting_.empty()) {
        waitingBytes_ += entry.bytes();
        waiting_.push_back(std::move(entry));
        return;
    }
    error.clear();
    gallery_.add(std::move(entry), &error);
    if (!error.empty()) logLine(prefix + "gallery: " + error);
}

bool EmulatorServer::waitingFull() const {
    return waiting_.size() >= options_.keep || waitingBytes_ >= options_.keepBytes;
}

void EmulatorServer::releaseWaiting() {
    while (!waiting_.empty()) {
        GalleryEntry entry = std::move(waiting_.front());
        waiting_.pop_front();
        entry.timeMs = nowMs();  // printed now
        std::string error;
        gallery_.add(std::move(entry), &error);
        if (!error.empty()) logLine("gallery: " + error);
    }
    waitingBytes_ = 0;
}

PrinterSnapshot EmulatorServer::snapshot() const {
    PrinterSnapshot s;
    s.name = options_.name;
    s.port = port_;
    s.serial = serialPath_;
    s.dpi = options_.dpi;
    s.paperWidthMils = options_.paperWidthMils;
    s.paperLengthMils = options_.paperLengthMils;
    const auto hold = lockForReader();
    s.faults = printer_.faults();
    s.waiting = waiting_.size();
    s.labels = printer_.labelsPrinted();
    s.forms = printer_.formCount();
    s.logos = printer_.logoCount();
    s.errors = printer_.errors();
    s.restarts = printer_.restarts();
    s.galleryCount = gallery_.count();
    s.galleryBytes = gallery_.bytes();
    s.newest = gallery_.newest();
    return s;
}

void EmulatorServer::setFault(Fault fault, bool on) {
    bool wake = false;
    {
        const auto hold = lockForReader();
        const bool was = printer_.faults().any();
        printer_.setFault(fault, on);
        if (was && !printer_.faults().any()) {
            releaseWaiting();
            wake = true;
        }
    }
    const FaultName& n = faultNames()[static_cast<unsigned>(fault)];
    logLine(std::string("fault ") + n.report + (on ? " set" : " cleared"));
    if (wake && wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }
}

std::unique_lock<std::mutex> EmulatorServer::lockForReader() const {
    ++readersWaiting_;
    std::unique_lock<std::mutex> hold(mutex_);
    --readersWaiting_;
    return hold;
}

void EmulatorServer::giveWay() const {
    // Bounded: a reader that is not scheduled soon is not waited for.
    for (int i = 0; i < 1000 && readersWaiting_.load(std::memory_order_relaxed) > 0; ++i) std::this_thread::yield();
}

std::vector<GalleryItem> EmulatorServer::labels(std::uint64_t since, std::size_t limit) const {
    const auto hold = lockForReader();
    return gallery_.list(since, limit);
}

GalleryItem EmulatorServer::label(std::uint64_t id) const {
    const auto hold = lockForReader();
    return gallery_.find(id);
}

void EmulatorServer::clearLabels() {
    const auto hold = lockForReader();
    gallery_.clear();
}

bool EmulatorServer::writeTo(Connection& c) {
    while (!c.pending.empty()) {
        const ssize_t n = c.fd == ptyMaster_
                              ? ::write(c.fd, c.pending.data(), c.pending.size())
                              : ::send(c.fd, c.pending.data(), c.pending.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        c.pending.erase(0, static_cast<std::size_t>(n));
    }
    return true;
}

void EmulatorServer::closeConnection(Connection& c, const char* why) {
    logLine("[" + std::to_string(c.id) + " " + c.transport + "] " + why + " after " +
            std::to_string(c.received) + " bytes");
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (c.session) c.session->finish();  // a pending text page or page of data still prints
        if (c.preview) c.preview->finish();
    }
    if (c.capture >= 0) {
        fsync(c.capture);
        ::close(c.capture);
        c.capture = -1;
    }
    if (c.fd >= 0) ::close(c.fd);
    if (c.fd == ptyMaster_) ptyMaster_ = -1;
    c.fd = -1;
}

void EmulatorServer::run(int stopFd) {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({listener_, POLLIN, 0});
        fds.push_back({wakeFd_, POLLIN, 0});
        for (const auto& c : connections_)
            fds.push_back({c->fd,
                           static_cast<short>((c->held ? 0 : POLLIN) | (c->pending.empty() ? 0 : POLLOUT)), 0});
        const int ready = poll(fds.data(), fds.size(), -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            logLine(std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) acceptConnections();
        if (fds[2].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
        // Held connections are taken in again once the waiting labels printed.
        for (auto& c : connections_)
            if (c->held && !resume(*c)) closeConnection(*c, "closed");
        // connections_ may have grown by the accepts; only the polled ones are looked at.
        constexpr std::size_t first = 3;
        for (std::size_t i = first; i < fds.size(); ++i) {
            Connection& c = *connections_[i - first];
            const short ev = fds[i].revents;
            if (!ev || c.fd < 0) continue;
            if (c.held && (ev & (POLLHUP | POLLERR))) {
                closeConnection(c, "failed while held");
                continue;
            }
            bool alive = true;
            if (ev & (POLLIN | POLLHUP | POLLERR)) alive = readFrom(c);
            if (alive && (ev & POLLOUT)) alive = writeTo(c);
            if (!alive) closeConnection(c, "closed");
        }
        connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                          [](const std::unique_ptr<Connection>& c) { return c->fd < 0; }),
                           connections_.end());
    }
}

void EmulatorServer::writePreview(const std::string& prefix, const qovrender::PrintedLabel& label,
                                  const std::vector<std::uint8_t>& png) {
    const std::string path = options_.previewDir + "/" + qovrender::labelFileName(++previews_, label.form);
    std::string error;
    if (!qovrender::writeFile(path, png, error)) {
        logLine(prefix + "preview not written: " + error);
        return;
    }
    logLine(prefix + "preview " + path + " " + std::to_string(label.picture->width()) + "x" +
            std::to_string(label.picture->height()) + " dots: " + label.summary + "; copies " +
            std::to_string(label.copies));
}

void EmulatorServer::shutdown() {
    for (auto& c : connections_)
        if (c->fd >= 0) closeConnection(*c, "stopped");
    connections_.clear();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
    if (ptySlave_ >= 0) ::close(ptySlave_);
    ptySlave_ = -1;
}

}  // namespace qovemu
