#include "emulator_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

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

}  // namespace

EmulatorServer::EmulatorServer(ServerOptions options, std::FILE* log)
    : options_(std::move(options)), log_(log), printer_(options_.limits, options_.codePage) {}

EmulatorServer::~EmulatorServer() { shutdown(); }

void EmulatorServer::logLine(const std::string& text) {
    if (!log_) return;
    std::fputs(text.c_str(), log_);
    std::fputc('\n', log_);
    std::fflush(log_);
}

bool EmulatorServer::start(std::string& error) {
    if (!options_.previewDir.empty()) {
        if (mkdir(options_.previewDir.c_str(), 0755) != 0 && errno != EEXIST) {
            error = "cannot create preview folder " + options_.previewDir + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!options_.captureDir.empty()) {
        if (mkdir(options_.captureDir.c_str(), 0755) != 0 && errno != EEXIST) {
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
    logLine("listening " + options_.bindAddress + ":" + std::to_string(port_));

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
        logLine("serial " + serialPath_);
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
    if (!options_.previewDir.empty()) {
        c->preview = std::make_unique<qovrender::Renderer>(
            qovrender::RenderOptions(),
            [this, prefix](const qovrender::PrintedLabel& label) { writePreview(prefix, label); },
            [this, prefix](long long line, const std::string& text) {
                logLine(prefix + "preview, line " + std::to_string(line) + ": " + text);
            },
            &previewMemory_);
    }
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
    char buffer[65536];
    for (int round = 0; round < 16; ++round) {  // bounded, so one busy peer cannot starve others
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
        const std::string answer = c.session->feed(buffer, size);
        if (c.preview) c.preview->feed(buffer, size);
        if (c.pending.size() + answer.size() <= options_.maxReplyBacklog) {
            c.pending += answer;
        } else {
            logLine("[" + std::to_string(c.id) + "] host does not read its answers, " +
                    std::to_string(answer.size()) + " bytes dropped");
        }
        if (!writeTo(c)) return false;
    }
    return true;
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
    if (c.session) c.session->finish();  // a pending text page or page of data still prints
    if (c.preview) c.preview->finish();
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
        for (const auto& c : connections_)
            fds.push_back({c->fd, static_cast<short>(POLLIN | (c->pending.empty() ? 0 : POLLOUT)), 0});
        const int ready = poll(fds.data(), fds.size(), -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            logLine(std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) acceptConnections();
        // connections_ may have grown by the accepts; only the polled ones are looked at.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            Connection& c = *connections_[i - 2];
            const short ev = fds[i].revents;
            if (!ev) continue;
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

void EmulatorServer::writePreview(const std::string& prefix, const qovrender::PrintedLabel& label) {
    const std::string path = options_.previewDir + "/" + qovrender::labelFileName(++previews_, label.form);
    std::vector<std::uint8_t> png;
    std::string error;
    if (!qovrender::encodePng(*label.picture, label.dpi, png, error) || !qovrender::writeFile(path, png, error)) {
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
