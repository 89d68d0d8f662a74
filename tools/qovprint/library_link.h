#pragma once
// The library holds one current connection for the whole process and wants
// one caller at a time. Every call into it from qovprint happens while a
// Lease is held; the connection stays open after a job (opening a network
// connection costs the library a 50 ms settle), and is replaced when another
// device needs the library.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "device_uri.h"

namespace qovprint {

class LibraryLink {
public:
    static LibraryLink& instance();

    // Waits at most `wait` for the library, then makes `uri` the current
    // connection. False (with a message, library released) when the wait ran
    // out or the device cannot be opened. An empty URI takes the library
    // without touching its connection (for form composition alone).
    bool acquire(const std::string& uri, std::chrono::milliseconds wait, std::string* error);
    void release();

    // While held: closes the current connection (a later acquire opens anew).
    void closeCurrent();
    // While held: the transport of the current connection.
    Transport transport() const { return current_.transport; }

    // Jobs note when they take and give back the printer: the status poller
    // keeps off for a while after, so that a job following another does not
    // wait for a status read (the library's network read sleeps 100 ms first).
    void noteJobUse() { lastJobUse_ = std::chrono::steady_clock::now().time_since_epoch().count(); }
    std::chrono::steady_clock::duration sinceJobUse() const {
        return std::chrono::steady_clock::now().time_since_epoch() -
               std::chrono::steady_clock::duration(lastJobUse_.load());
    }

private:
    bool open(const std::string& uri, std::string* error);

    // Held or not, whichever thread takes or gives it back: PAPPL may close
    // a device on another thread than the one that opened it.
    std::mutex stateMutex_;
    std::condition_variable freed_;
    bool held_ = false;
    std::atomic<std::chrono::steady_clock::rep> lastJobUse_{0};
    std::string uri_;  // the open connection's URI, empty when none
    DeviceTarget current_;
};

// Holds the library for one scope.
class Lease {
public:
    Lease(const std::string& uri, std::chrono::milliseconds wait) {
        held_ = LibraryLink::instance().acquire(uri, wait, &error_);
    }
    ~Lease() {
        if (held_) LibraryLink::instance().release();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    bool held() const { return held_; }
    const std::string& error() const { return error_; }

private:
    bool held_ = false;
    std::string error_;
};

}  // namespace qovprint
