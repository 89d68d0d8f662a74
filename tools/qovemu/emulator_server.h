// The emulator's transports: a TCP listener with any number of connections
// and, optionally, a pty as the serial side, all in one poll loop.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_session.h"
#include "printer_state.h"
#include "renderer.h"

namespace qovemu {

struct ServerOptions {
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

class EmulatorServer {
public:
    EmulatorServer(ServerOptions options, std::FILE* log);
    ~EmulatorServer();
    EmulatorServer(const EmulatorServer&) = delete;
    EmulatorServer& operator=(const EmulatorServer&) = delete;

    // Binds the listener and opens the pty; prints "listening ADDRESS:PORT"
    // and "serial PATH". False with a reason when something cannot be set up.
    bool start(std::string& error);

    // Serves until `stopFd` becomes readable (the signal handlers write to it).
    void run(int stopFd);

    // Closes every connection and capture and the listener.
    void shutdown();

    int port() const { return port_; }
    const std::string& serialPath() const { return serialPath_; }
    const PrinterState& printer() const { return printer_; }

private:
    struct Connection {
        int fd = -1;
        unsigned id = 0;
        const char* transport = "tcp";
        std::unique_ptr<CommandSession> session;
        std::unique_ptr<qovrender::Renderer> preview;  // draws what this connection prints
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
    void closeConnection(Connection& c, const char* why);
    void logLine(const std::string& text);
    void writePreview(const std::string& prefix, const qovrender::PrintedLabel& label);

    ServerOptions options_;
    std::FILE* log_;
    PrinterState printer_;
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
