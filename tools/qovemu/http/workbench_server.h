// The HTTP library's server with its connections served so that no client
// can hold the others: between requests a connection waits in a WaitingRoom
// (no thread), a request whose head is in is served on a bounded pool with
// its whole time bounded, and an answer that says "Connection: close"
// closes at once (after a short drain) instead of waiting for another request.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include <httplib.h>

#include "waiting_room.h"

namespace qovemu {

class BoundedPool;

struct ServingLimits {
    WaitingLimits waiting;
    std::size_t threads = 8;
    std::size_t queue = 64;                   // ready requests waiting for a thread
    std::size_t requestsPerConnection = 100;
    // A kept-alive client mostly asks again at once: its next request is
    // waited for this long on the thread that served it before the
    // connection goes back to the waiting room (two thread switches saved).
    int nextRequestMs = 2;
};

class WorkbenchServer : public httplib::Server {
public:
    explicit WorkbenchServer(ServingLimits limits);
    ~WorkbenchServer() override;

    // After binding, before listening: the waiting room and the pool.
    bool startServing(std::string& error);
    // After listening has ended: every connection closed, the pool joined.
    void stopServing();

    // From a handler: the connection closes after this answer (its body may
    // be left unread, so no further request can be told from it).
    static void closeAfterAnswer(httplib::Response& res);
    // True when the request being served ran out of its time.
    static bool requestTimedOut();

private:
    bool process_and_close_socket(socket_t sock) override;
    void serve(ReadyConnection c);

    const ServingLimits limits_;
    std::atomic<bool> stopping_{false};
    std::unique_ptr<BoundedPool> pool_;
    WaitingRoom room_;
    bool serving_ = false;
};

}  // namespace qovemu
