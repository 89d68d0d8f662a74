#include "bounded_pool.h"

namespace qovemu {

BoundedPool::BoundedPool(std::size_t threads, std::size_t queue) : limit_(queue ? queue : 1) {
    for (std::size_t i = 0; i < (threads ? threads : 1); ++i) threads_.emplace_back([this] { work(); });
}

BoundedPool::~BoundedPool() { shutdown(); }

void BoundedPool::enqueue(std::function<void()> fn) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Even when stopping the job is queued: it owns the accepted socket and closes it.
    room_.wait(lock, [this] { return jobs_.size() < limit_ || stopping_; });
    jobs_.push_back(std::move(fn));
    ready_.notify_one();
}

void BoundedPool::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    room_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
}

void BoundedPool::work() {
    for (;;) {
        std::function<void()> fn;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
            if (jobs_.empty()) return;
            fn = std::move(jobs_.front());
            jobs_.pop_front();
            room_.notify_one();
        }
        fn();
    }
}

}  // namespace qovemu
