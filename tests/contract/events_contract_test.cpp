// Events, waits and the last error: what createEvent, resetEvent,
// waitForSingleObject and lastError must do for the library's overlapped
// reads and writes.
#include "contract_backends.h"

namespace qov::contract {
namespace {

template <class Rig>
class EventsContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();
};
TYPED_TEST_SUITE(EventsContract, ContractRigs);

TYPED_TEST(EventsContract, AManualResetEventStaysSignaledUntilReset) {
    Platform& p = this->p;
    Handle ev = p.createEvent(true, true);
    ASSERT_NE(ev, kNullHandle);
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    EXPECT_TRUE(p.resetEvent(ev));
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Timeout);
    EXPECT_TRUE(p.closeHandle(ev));
}

TYPED_TEST(EventsContract, AWaitTakesTheSignalOfAnAutoResetEvent) {
    Platform& p = this->p;
    Handle ev = p.createEvent(false, true);
    ASSERT_NE(ev, kNullHandle);
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Timeout);
    EXPECT_TRUE(p.closeHandle(ev));
}

TYPED_TEST(EventsContract, AWaitOnAnUnsetEventTimesOutAfterItsTime) {
    Platform& p = this->p;
    Handle ev = p.createEvent(true, false);
    ASSERT_NE(ev, kNullHandle);
    std::int64_t start = this->rig.nowMs();
    EXPECT_EQ(p.waitForSingleObject(ev, 120), WaitResult::Timeout);
    std::int64_t took = this->rig.nowMs() - start;
    EXPECT_GE(took, 115);
    EXPECT_LT(took, 2000);
    EXPECT_TRUE(p.closeHandle(ev));
}

TYPED_TEST(EventsContract, EventsAreDistinctAndAClosedOneIsInvalid) {
    Platform& p = this->p;
    Handle a = p.createEvent(true, false);
    Handle b = p.createEvent(true, true);
    ASSERT_NE(a, kNullHandle);
    ASSERT_NE(b, kNullHandle);
    EXPECT_NE(a, b);
    EXPECT_EQ(p.waitForSingleObject(a, 0), WaitResult::Timeout);
    EXPECT_TRUE(p.closeHandle(a));
    EXPECT_EQ(p.waitForSingleObject(a, 0), WaitResult::Failed);
    EXPECT_EQ(p.lastError(), kErrorInvalidHandle);
    EXPECT_FALSE(p.resetEvent(a));
    EXPECT_EQ(p.lastError(), kErrorInvalidHandle);
    // The other event is untouched.
    EXPECT_EQ(p.waitForSingleObject(b, 0), WaitResult::Signaled);
    EXPECT_TRUE(p.closeHandle(b));
}

TYPED_TEST(EventsContract, TheLastErrorIsWhatWasSetLast) {
    Platform& p = this->p;
    p.setLastError(kErrorAccessDenied);
    EXPECT_EQ(p.lastError(), kErrorAccessDenied);
    p.setLastError(kErrorSuccess);
    EXPECT_EQ(p.lastError(), kErrorSuccess);
}

}  // namespace
}  // namespace qov::contract
