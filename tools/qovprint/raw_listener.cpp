#include "raw_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "printer_driver.h"

namespace qovprint {

namespace {

constexpr int kMaxConnections = 8;  // at once; later ones are closed at once
constexpr int kTickMs = 1000;       // printers added or deleted are seen this often

RawSocketOptions gOptions;
pappl_system_t* gSystem = nullptr;
std::atomic<bool> gListenerStop{false};
std::thread gListener;

std::mutex gListenerMutex;
std::map<std::string, std::string> gRefusals;  // document path -> why
std::vector<std::thread> gWorkers;
std::set<std::thread::id> gFinished;  // workers done, to be joined
int gActive = 0;

struct Listener {
    int printerId;
    int fd;
};

int openListener(int port, bool v6, bool loopback) {
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int ok;
    if (v6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(static_cast<std::uint16_t>(port));
        a.sin6_addr = loopback ? in6addr_loopback : in6addr_any;
        ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
        ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (ok != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void collectId(pappl_printer_t* printer, void* data) {
    static_cast<std::set<int>*>(data)->insert(papplPrinterGetID(printer));
}

// Opens the sockets of new printers, closes those of deleted ones.
void reconcile(std::vector<Listener>& listeners, std::set<int>& failed) {
    std::set<int> ids;
    papplSystemIteratePrinters(gSystem, collectId, &ids);
    for (auto it = listeners.begin(); it != listeners.end();) {
        if (ids.count(it->printerId)) {
            ++it;
            continue;
        }
        ::close(it->fd);
        it = listeners.erase(it);
    }
    for (int id : ids) {
        bool open = false;
        for (const Listener& l : listeners) open = open || l.printerId == id;
        if (open) continue;
        const int port = gOptions.basePort + id - 1;
        if (port < 1 || port > 65535) continue;
        const int v4 = openListener(port, false, gOptions.loopbackOnly);
        const int v6 = openListener(port, true, gOptions.loopbackOnly);  // where the host has IPv6
        if (v4 >= 0) listeners.push_back({id, v4});
        if (v6 >= 0) listeners.push_back({id, v6});
        if (v4 < 0 && v6 < 0) {
            if (failed.insert(id).second)
                if (pappl_printer_t* p = papplSystemFindPrinter(gSystem, nullptr, id, nullptr))
                    papplLogPrinter(p, PAPPL_LOGLEVEL_ERROR, "Raw socket: cannot listen on port %d: %s.", port,
                                    std::strerror(errno));
        } else {
            failed.erase(id);
            if (pappl_printer_t* p = papplSystemFindPrinter(gSystem, nullptr, id, nullptr))
                papplLogPrinter(p, PAPPL_LOGLEVEL_INFO, "Raw socket on port %d.", port);
        }
    }
}

std::string newDocumentPath(int* fd) {
    std::string path = gOptions.spoolDir + "/qovprint-raw-XXXXXX";
    *fd = ::mkostemp(&path[0], O_CLOEXEC);
    return *fd >= 0 ? path : std::string();
}

void serve(int client, int printerId) {
    int file = -1;
    const std::string path = newDocumentPath(&file);
    pappl_printer_t* printer = papplSystemFindPrinter(gSystem, nullptr, printerId, nullptr);
    if (path.empty()) {
        if (printer) papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Raw socket: no spool file: %s.", std::strerror(errno));
        ::close(client);
        return;
    }
    const IntakeResult r = receiveDocument(client, file, gOptions.limits, gListenerStop);
    ::close(client);
    if (r.end != IntakeEnd::Complete) {
        if (::ftruncate(file, 0) != 0) {}  // nothing of a refused document is kept, let alone printed
    }
    ::close(file);
    printer = papplSystemFindPrinter(gSystem, nullptr, printerId, nullptr);
    if (!printer || r.end == IntakeEnd::Stopped || (r.end == IntakeEnd::Complete && r.bytes == 0)) {
        ::unlink(path.c_str());
        return;
    }
    if (r.end != IntakeEnd::Complete) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Raw socket: %s.", r.message.c_str());
        std::lock_guard<std::mutex> lock(gListenerMutex);
        gRefusals[path] = r.message;
    }
    if (!papplJobCreateWithFile(printer, "guest", kCommandFormat, "Raw socket job", 0, nullptr, path.c_str())) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Raw socket: the job was not created.");
        std::lock_guard<std::mutex> lock(gListenerMutex);
        gRefusals.erase(path);
        ::unlink(path.c_str());
    }
}

void joinFinished() {
    std::vector<std::thread> done;
    {
        std::lock_guard<std::mutex> lock(gListenerMutex);
        for (auto it = gWorkers.begin(); it != gWorkers.end();) {
            if (gFinished.count(it->get_id())) {
                gFinished.erase(it->get_id());
                done.push_back(std::move(*it));
                it = gWorkers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (std::thread& t : done) t.join();
}

void acceptOne(const Listener& l) {
    const int client = ::accept4(l.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    std::lock_guard<std::mutex> lock(gListenerMutex);
    if (gActive >= kMaxConnections) {
        ::close(client);  // the sender sees its connection end before any byte counts
        return;
    }
    ++gActive;
    const int id = l.printerId;
    gWorkers.emplace_back([client, id] {
        serve(client, id);
        std::lock_guard<std::mutex> lock(gListenerMutex);
        --gActive;
        gFinished.insert(std::this_thread::get_id());
    });
}

void listenerMain() {
    std::vector<Listener> listeners;
    std::set<int> failed;
    auto lastReconcile = std::chrono::steady_clock::now() - std::chrono::seconds(10);
    while (!gListenerStop) {
        if (std::chrono::steady_clock::now() - lastReconcile >= std::chrono::milliseconds(kTickMs)) {
            reconcile(listeners, failed);
            joinFinished();
            lastReconcile = std::chrono::steady_clock::now();
        }
        std::vector<pollfd> fds;
        for (const Listener& l : listeners) fds.push_back({l.fd, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), kTickMs / 4);
        if (ready <= 0) continue;
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN) acceptOne(listeners[i]);
    }
    for (const Listener& l : listeners) ::close(l.fd);
}

}  // namespace

void startRawSockets(pappl_system_t* system, const RawSocketOptions& options) {
    gOptions = options;  // the size limit holds for raw jobs from IPP too
    if (options.basePort <= 0) return;
    gSystem = system;
    gListenerStop = false;
    gListener = std::thread(listenerMain);
}

void stopRawSockets() {
    gListenerStop = true;
    if (gListener.joinable()) gListener.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(gListenerMutex);
        workers.swap(gWorkers);
    }
    for (std::thread& t : workers) t.join();  // each sees the stop within a second
}

std::optional<std::string> takeRawRefusal(const char* documentPath) {
    if (!documentPath) return std::nullopt;
    std::lock_guard<std::mutex> lock(gListenerMutex);
    auto it = gRefusals.find(documentPath);
    if (it == gRefusals.end()) return std::nullopt;
    std::string why = it->second;
    gRefusals.erase(it);
    return why;
}

std::uint64_t rawSizeLimit() { return gOptions.limits.maxBytes; }

}  // namespace qovprint
