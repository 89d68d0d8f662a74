// Time: sleep waits at least its time, and the calendar clock is the
// system's, in whole seconds, moving with it.
#include <cstdlib>

#include "contract_backends.h"

namespace qov::contract {
namespace {

template <class Rig>
class ClockContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();
};
TYPED_TEST_SUITE(ClockContract, ContractRigs);

TYPED_TEST(ClockContract, SleepWaitsAtLeastItsTime) {
    std::int64_t start = this->rig.nowMs();
    this->p.sleep(120);
    std::int64_t took = this->rig.nowMs() - start;
    EXPECT_GE(took, 115);
    EXPECT_LT(took, 2000);
}

TYPED_TEST(ClockContract, CalendarSecondsAreTheClocksAndMoveWithIt) {
    std::int64_t before = this->p.calendarSeconds();
    EXPECT_LE(std::llabs(before - this->rig.calendarNow()), 1);
    this->p.sleep(1000);
    std::int64_t after = this->p.calendarSeconds();
    EXPECT_GE(after - before, 1);
    EXPECT_LE(after - before, 2);
}

}  // namespace
}  // namespace qov::contract
