// The workbench's HTTP side: the printers, their galleries and faults as
// JSON, the render endpoint and the page, on a bounded pool of threads.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "render_limits.h"

namespace httplib {
class Server;
}

namespace qovemu {

class EmulatorServer;
class WorkbenchServer;

struct HttpOptions {
    std::string address = "127.0.0.1";  // must be loopback unless `anyAddress`
    bool anyAddress = false;            // --http-bind: the address was named on purpose
    int port = 0;                       // 0 picks a free one
    std::size_t maxBody = 16u << 20;
    std::size_t threads = 8;
    std::size_t queue = 64;             // requests whose head is in, waiting for a thread
    int requestMs = 5000;               // a request read, and its answer taken, within this
    int idleMs = 2000;                  // a connection with no request begun is closed after this
    RenderLimits render;                // what one POST /render may cost
};

// True for 127.0.0.0/8, ::1 and localhost.
bool isLoopback(const std::string& address);

// The API, the page, the body cap and the error answers, installed on any
// server of the HTTP library: WorkbenchHttp's own, or one that is handed
// requests some other way (the fuzz target). The printers must outlive it.
void installRoutes(httplib::Server& server, const HttpOptions& options, std::vector<EmulatorServer*> printers);

class WorkbenchHttp {
public:
    WorkbenchHttp(HttpOptions options, std::vector<EmulatorServer*> printers, std::FILE* log);
    ~WorkbenchHttp();
    WorkbenchHttp(const WorkbenchHttp&) = delete;
    WorkbenchHttp& operator=(const WorkbenchHttp&) = delete;

    // Binds and starts serving on a thread of its own; prints
    // "http listening ADDRESS:PORT". False with a reason otherwise.
    bool start(std::string& error);
    void stop();
    int port() const { return port_; }

private:
    HttpOptions options_;
    std::vector<EmulatorServer*> printers_;
    std::FILE* log_;
    std::unique_ptr<WorkbenchServer> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace qovemu
