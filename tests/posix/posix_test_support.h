// Real peers for the Linux transport tests: a loopback TCP printer on a
// thread of its own, a pty pair, temporary folders and scoped environment
// variables.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qov::posixtest {

// A temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

std::string readFileText(const std::string& path);
void writeFileText(const std::string& path, const std::string& text);

// A printer on 127.0.0.1: accepts connections, keeps every byte received
// per connection and answers: when the bytes received since its last
// answer contain `trigger`, it sends `reply` (and closes when `thenClose`).
class TcpPrinter {
public:
    struct Rule {
        std::string trigger;
        std::string reply;
        bool thenClose = false;
    };

    explicit TcpPrinter(std::vector<Rule> rules = {});
    ~TcpPrinter();
    TcpPrinter(const TcpPrinter&) = delete;
    TcpPrinter& operator=(const TcpPrinter&) = delete;

    std::uint16_t port() const { return port_; }
    // A printer that reads nothing for `ms` after it accepts a connection
    // (its socket buffers fill up), and one that closes a connection once
    // it has received `bytes` (with data still unread: a reset). Set before
    // the library connects.
    void pauseBeforeReading(int ms);
    void closeAfterReceiving(std::size_t bytes);
    // Bytes received on connection n (0 first), so far.
    std::string received(std::size_t n = 0);
    std::size_t connections();
    // Waits (real time) until connection n has received at least `size`
    // bytes, or `ms` passed. Returns what it has.
    std::string waitForBytes(std::size_t n, std::size_t size, int ms);
    // Waits until connection n was closed by the other side.
    bool waitForClose(std::size_t n, int ms);

private:
    void run();

    std::vector<Rule> rules_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int pauseMs_ = 0;
    std::size_t closeAfterBytes_ = 0;
    struct Conn {
        int fd;
        std::string received;
        std::size_t answeredUpTo = 0;
        bool closed = false;
        std::int64_t readsFromMs = 0;
    };
    std::vector<Conn> conns_;
};

// A pseudo-terminal pair: the library opens the slave by its path, the test
// plays the printer on the master. The slave stays open here as well, so
// its line settings persist between the library's opens.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    // Everything that is waiting on the master now (no wait).
    std::string drain();
    // Reads from the master until `size` bytes arrived or `ms` passed.
    std::string readMaster(std::size_t size, int ms);
    void writeMaster(const std::string& bytes);
    // Raw mode on the slave, for a pty that stands in for a device the
    // library does not set up as a serial port (a USB printer node).
    void makeRaw();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A fake sysfs tree with usblp printers and a device folder with their
// nodes (plain files), pointed at by QOVLIB_SYSFS_ROOT and
// QOVLIB_USB_DEV_ROOT for the lifetime of the object.
class FakeUsbTree {
public:
    FakeUsbTree();
    // Adds lp<n> in class folder `cls` ("usbmisc", older kernels "usb") on
    // the USB device `busName` (created once) with its ids; no serial file
    // when `serial` is null.
    void add(const std::string& cls, int n, const std::string& busName, const std::string& vid,
             const std::string& pid, const std::string* serial);
    const std::string& sysfs() const { return sysfs_; }
    const std::string& dev() const { return dev_; }

private:
    TempDir root_;
    std::string sysfs_ = root_.file("sys");
    std::string dev_ = root_.file("dev");
    ScopedEnv sysEnv_{"QOVLIB_SYSFS_ROOT", sysfs_};
    ScopedEnv devEnv_{"QOVLIB_USB_DEV_ROOT", dev_};
};

// Milliseconds of the monotonic clock (for bounds on real waits).
std::int64_t nowMs();
// CPU time of this process in ms, user and system.
std::int64_t cpuMs();

}  // namespace qov::posixtest
