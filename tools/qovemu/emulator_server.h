// One virtual printer: a TCP listener with any number of connections and,
// optionally, a pty as the serial side, all in one poll loop on one thread;
// its state, faults and gallery, which other threads (the HTTP side) read
// and change under its lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "command_session.h"
#include "faults.h"
#include "gallery.h"
#include "printer_state.h"
#include "renderer.h"

namespace qovemu {

struct ServerOptions {
    std::string name = "default";
    // The single printer of the plain options: start-up lines and preview
    // files as they always were. Otherwise lines name the printer and its
    // previews go to the gallery's folder PREVIEW-DIR/NAME.
    bool single = true;
    int dpi = 203;
    int paperWidthMils = 0;                 // 0: the model's paper
    int paperLengthMils = 0;
    bool gallery = true;                    // draw every printed label into the gallery
    std::size_t keep = 200;                 // labels in the gallery
    std::size_t keepBytes = 64u << 20;      // bytes of the gallery (pictures and jobs)
    std::size_t jobBytes = 1u << 20;        // input kept with each label (its last bytes)
    std::string bindAddress = "127.0.0.1";
    int port = 9100;                        // 0 picks a free port
    bool serial = false;                    // open a pty as the serial side
    std::string captureDir;                 // empty: no captures
    std::string previewDir;                 // empty: no pictures of printed labels
    int codePage = 1252;
    Limits limits;
    std::size_t maxConnections = 32;        // further connections are accepted and closed at once
    std::size_t maxReplyBacklog = 1 << 20;  // unread answers kept per connection; newer ones dropped
    std::uint64_t maxCaptureBytes = 256ull << 20;  // per capture file; later bytes not written
};

// What the HTTP side shows of a printer, taken under its lock.
struct PrinterSnapshot {
    std::string name;
    int port = 0;
    std::string serial;
    int dpi = 203;
    int paperWidthMils = 0;
    int paperLengthMils = 0;
    FaultSet faults;
    std::size_t waiting = 0;
    std::uint64_t labels = 0, forms = 0, logos = 0, errors = 0, restarts = 0;
    std::size_t galleryCount = 0, galleryBytes = 0;
    std::uint64_t newest = 0;
};

class EmulatorServer {
public:
    EmulatorServer(ServerOptions options, std::FILE* log);
    ~EmulatorServer();
    EmulatorServer(const EmulatorServer&) = delete;
    EmulatorServer& operator=(const EmulatorServer&) = delete;

    // Binds the listener and opens the pty; prints "listening ADDRESS:PORT"
    // and "serial PATH" (prefixed "printer NAME " unless single). False with
    // a reason when something cannot be set up.
    bool start(std::string& error);

    // Serves until `stopFd` becomes readable (the signal handlers write to
    // it; it is not drained, so several printers can watch one).
    void run(int stopFd);

    // The HTTP side's view and controls; safe from any thread.
    PrinterSnapshot snapshot() const;
    // Sets or clears a fault; clearing the last one prints what waited.
    void setFault(Fault fault, bool on);
    std::vector<GalleryItem> labels(std::uint64_t since, std::size_t limit) const;
    GalleryItem label(std::uint64_t id) const;
    void clearLabels();
    const ServerOptions& options() const { return options_; }

    // Closes every connection and capture and the listener.
    void shutdown();

    int port() const { return port_; }
    const std::string& serialPath() const { return serialPath_; }
    // Only once run() has returned (or from its own thread).
    const PrinterState& printer() const { return printer_; }

private:
    struct Connection {
        int fd = -1;
        unsigned id = 0;
        const char* transport = "tcp";
        std::unique_ptr<CommandSession> session;
        std::unique_ptr<qovrender::Renderer> preview;  // draws what this connection prints
        std::string history;             // the last input bytes, for the gallery
        std::vector<LabelNote> notes;    // the renderer's notes since the last label
        bool held = false;               // not read while the printer's waiting labels are full
        std::string unread;              // read but not yet taken in, while held (at most one read)
        std::string pending;  // answers not yet written
        int capture = -1;
        std::uint64_t captured = 0;
        std::uint64_t received = 0;
        bool dropNoted = false;
    };

    void acceptConnections();
    Connection* addConnection(int fd, const char* transport);
    bool readFrom(Connection& c);   // false: the peer closed or failed
    bool writeTo(Connection& c);    // false: the peer failed
    void queueAnswer(Connection& c, const std::string& answer);
    void closeConnection(Connection& c, const char* why);
    void logLine(const std::string& text, bool bare = false);  // bare: without the printer's name
    void writePreview(const std::string& prefix, const qovrender::PrintedLabel& label,
                      const std::vector<std::uint8_t>& png);
    void printed(Connection& c, const std::string& prefix, const qovrender::PrintedLabel& label);
    // Takes in received bytes a line at a time; stops (keeping the rest in
    // c.unread and holding the connection) once a fault's waiting labels are
    // full. Returns the answers. Takes mutex_ itself.
    std::string takeIn(Connection& c, const char* data, std::size_t size);
    bool resume(Connection& c);  // takes in c.unread once room is back; false: the peer failed
    bool waitingFull() const;      // under mutex_
    // The HTTP side's lock. The intake takes mutex_ again right after each
    // line, and a plain mutex lets it win over and over: a reader waited up
    // to 2 s behind a burst. So the intake gives way while one waits.
    std::unique_lock<std::mutex> lockForReader() const;
    void giveWay() const;          // in the intake, before it locks
    void releaseWaiting();         // under mutex_

    ServerOptions options_;
    std::FILE* log_;
    std::string logPrefix_;
    mutable std::mutex mutex_;  // guards printer_, previewMemory_, gallery_, waiting_
    mutable std::atomic<int> readersWaiting_{0};
    PrinterState printer_;
    Gallery gallery_;
    std::deque<GalleryEntry> waiting_;  // printed during a fault, in order
    std::size_t waitingBytes_ = 0;
    int wakeFd_ = -1;  // written when a cleared fault lets held connections be read again
    qovrender::PrinterMemory previewMemory_;  // forms and logos as the renderer keeps them
    long long previews_ = 0;
    int listener_ = -1;
    int port_ = 0;
    int ptyMaster_ = -1;
    int ptySlave_ = -1;  // held open so the master never sees a hang-up between clients
    std::string serialPath_;
    unsigned nextId_ = 1;
    std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace qovemu
