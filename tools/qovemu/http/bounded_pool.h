// A fixed number of threads serving accepted connections, with a bounded
// queue in front: when it is full the accepting thread waits, so further
// clients wait in the listen backlog instead of in memory.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace qovemu {

class BoundedPool : public httplib::TaskQueue {
public:
    BoundedPool(std::size_t threads, std::size_t queue);
    ~BoundedPool() override;
    void enqueue(std::function<void()> fn) override;
    // Runs what was queued, then joins the threads.
    void shutdown() override;

private:
    void work();

    std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable ready_;   // a job or shutdown
    std::condition_variable room_;    // a free place in the queue
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace qovemu
