// Virtual time: sleeps and waits advance the clock and never block.
#include "sim_impl.h"

namespace qov::sim {

void SimPlatform::advance(std::uint64_t ms) {
    now_ += ms;
    if (ms) impl_->callsAtThisMoment = 0;
    impl_->settle();
}

void SimPlatform::sleep(std::uint32_t ms) {
    impl_->log("Sleep " + std::to_string(ms));
    sleeps.push_back(ms);
    advance(ms);
}

std::int64_t SimPlatform::calendarSeconds() { return epochSeconds + std::int64_t(now_ / 1000); }

std::uint64_t SimPlatform::tickMs() { return now_; }

}  // namespace qov::sim
