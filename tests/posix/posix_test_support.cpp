#include "posix_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qov::posixtest {

std::int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::int64_t cpuMs() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/qovposix.XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    nftw(
        path_.c_str(),
        [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* v = std::getenv(name)) {
        had_ = true;
        old_ = v;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::string readFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// --- TcpPrinter -------------------------------------------------------------

TcpPrinter::TcpPrinter(std::vector<Rule> rules) : rules_(std::move(rules)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listenFd_, 8) != 0)
        throw std::runtime_error("listener failed");
    socklen_t len = sizeof sa;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { run(); });
}

TcpPrinter::~TcpPrinter() {
    char b = 1;
    (void)!::write(stopPipe_[1], &b, 1);
    thread_.join();
    for (Conn& c : conns_)
        if (c.fd >= 0) ::close(c.fd);
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void TcpPrinter::pauseBeforeReading(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    pauseMs_ = ms;
}

void TcpPrinter::closeAfterReceiving(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    closeAfterBytes_ = bytes;
}

void TcpPrinter::run() {
    for (;;) {
        std::vector<pollfd> fds{{stopPipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        int wait = -1;  // until a connection's pause ends
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const std::int64_t now = nowMs();
            for (Conn& c : conns_) {
                if (c.closed) continue;
                if (c.readsFromMs > now) {
                    const int left = static_cast<int>(c.readsFromMs - now);
                    wait = wait < 0 ? left : std::min(wait, left);
                    continue;
                }
                fds.push_back({c.fd, POLLIN, 0});
            }
        }
        if (::poll(fds.data(), fds.size(), wait) < 0) continue;
        if (fds[0].revents) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) conns_.push_back({fd, {}, 0, false, nowMs() + pauseMs_});
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            Conn* c = nullptr;
            for (Conn& k : conns_)
                if (k.fd == fds[i].fd) c = &k;
            if (!c) continue;
            char buf[65536];
            ssize_t n = ::recv(c->fd, buf, sizeof buf, 0);
            if (n <= 0) {
                // The other side is done: so is this one (a spooler backend
                // waits for that before it ends the job).
                c->closed = true;
                ::close(c->fd);
                c->fd = -1;
                continue;
            }
            c->received.append(buf, static_cast<std::size_t>(n));
            if (closeAfterBytes_ > 0 && c->received.size() >= closeAfterBytes_) {
                c->closed = true;
                ::close(c->fd);
                c->fd = -1;
                continue;
            }
            for (const Rule& r : rules_) {
                if (c->received.find(r.trigger, c->answeredUpTo) == std::string::npos) continue;
                c->answeredUpTo = c->received.size();
                if (!r.reply.empty())
                    (void)!::send(c->fd, r.reply.data(), r.reply.size(), MSG_NOSIGNAL);
                if (r.thenClose) {
                    ::shutdown(c->fd, SHUT_RDWR);
                    c->closed = true;
                }
                break;
            }
        }
        changed_.notify_all();
    }
}

std::string TcpPrinter::received(std::size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    return n < conns_.size() ? conns_[n].received : std::string();
}

std::size_t TcpPrinter::connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return conns_.size();
}

std::string TcpPrinter::waitForBytes(std::size_t n, std::size_t size, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms),
                      [&] { return n < conns_.size() && conns_[n].received.size() >= size; });
    return n < conns_.size() ? conns_[n].received : std::string();
}

bool TcpPrinter::waitForClose(std::size_t n, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                             [&] { return n < conns_.size() && conns_[n].closed; });
}

// --- PtyPair ----------------------------------------------------------------

PtyPair::PtyPair() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    ::close(slave_);
    ::close(master_);
}

std::string PtyPair::drain() {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(master_, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    return out;
}

std::string PtyPair::readMaster(std::size_t size, int ms) {
    std::string out;
    std::int64_t end = nowMs() + ms;
    while (out.size() < size) {
        std::int64_t left = end - nowMs();
        if (left <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        out += drain();
    }
    return out;
}

void PtyPair::makeRaw() {
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
}

void PtyPair::writeMaster(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += static_cast<std::size_t>(n);
        else {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

FakeUsbTree::FakeUsbTree() {
    for (const std::string& d : {sysfs_, sysfs_ + "/class", sysfs_ + "/class/usbmisc",
                                 sysfs_ + "/devices", dev_})
        ::mkdir(d.c_str(), 0755);
}

void FakeUsbTree::add(const std::string& cls, int n, const std::string& busName,
                      const std::string& vid, const std::string& pid, const std::string* serial) {
    std::string device = sysfs_ + "/devices/" + busName;
    ::mkdir(device.c_str(), 0755);
    writeFileText(device + "/idVendor", vid + "\n");
    writeFileText(device + "/idProduct", pid + "\n");
    if (serial) writeFileText(device + "/serial", *serial + "\n");
    std::string iface = device + "/" + busName + ":1.0";
    ::mkdir(iface.c_str(), 0755);
    std::string name = "lp" + std::to_string(n);
    std::string entry = sysfs_ + "/class/" + cls + "/" + name;
    ::mkdir((sysfs_ + "/class/" + cls).c_str(), 0755);
    ::mkdir(entry.c_str(), 0755);
    if (::symlink(("../../../devices/" + busName + "/" + busName + ":1.0").c_str(),
                  (entry + "/device").c_str()) != 0)
        throw std::runtime_error("symlink failed");
    writeFileText(dev_ + "/" + name, "");
}

}  // namespace qov::posixtest
