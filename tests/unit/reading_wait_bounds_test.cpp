// Waits and delays given by the caller: negative and huge values have a
// bounded meaning (a negative wait is the default 5 s, anything above the
// maximum is the maximum), so no read or close blocks without end.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "reading_test_support.h"

namespace {

using namespace reading_test;
using qov::sim::SimScope;

TEST(ReadingWaitBounds, UsbRequestWaitsAreBoundedNeverInfinite) {
    SimScope sim;
    void* h = usbHandle(sim.os(), {});
    char terminator[] = "END\r\n";
    const struct {
        int given;
        const char* logged;
    } cases[] = {{-1, "WaitForSingleObject 5000"},
                 {INT_MIN, "WaitForSingleObject 5000"},
                 {0, "WaitForSingleObject 0"},
                 {600000, "WaitForSingleObject 600000"},
                 {600001, "WaitForSingleObject 600000"},
                 {INT_MAX, "WaitForSingleObject 600000"}};
    for (const auto& c : cases) {
        sim->calls.clear();
        const std::uint64_t t0 = sim->nowMs();
        EXPECT_TRUE(UsbRead_judge(h, terminator, c.given)) << c.given;
        EXPECT_EQ(sim->countCalls(c.logged), 1) << c.given;
        EXPECT_EQ(sim->countCalls("WaitForSingleObject INFINITE"), 0) << c.given;
        EXPECT_LE(sim->nowMs() - t0, 50u + 600000u) << c.given;
    }
}

TEST(ReadingWaitBounds, DelaysAroundEachRequestAreAtMostAMinute) {
    SimScope sim;
    useCom(sim.os(), {}, true);
    const std::size_t from = sim->sleeps.size();
    // A quiet overlapped port: the one request waits 100 ms and times out.
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 100, INT_MAX, INT_MAX), "Time Out\r\n");
    EXPECT_EQ(std::vector<std::uint32_t>(sim->sleeps.begin() + static_cast<std::ptrdiff_t>(from),
                                         sim->sleeps.end()),
              (std::vector<std::uint32_t>{60000, 60000}));
    EXPECT_EQ(sim->countCalls("WaitForSingleObject 100"), 1);
}

TEST(ReadingWaitBounds, OverlappedUsbReadGivesUpWhenItsEventCannotBeCreated) {
    SimScope sim;
    useUsb(sim.os(), true);
    sim->failNextEvents = INT_MAX;
    const std::uint64_t t0 = alignToSecond(sim.os());
    EXPECT_STREQ(QOVA_Read_withTimeout("END\r\n", 2000, 0, 0), "-1");
    EXPECT_EQ(sim->nowMs() - t0, 2000u);
    EXPECT_STREQ(QOVA_Read("END\r\n"), "-1");
    EXPECT_EQ(sim->nowMs() - t0, 2000u + 5000u);
}

TEST(ReadingWaitBounds, CloseDelaysAreAtMostAMinute) {
    SimScope sim;
    sim->addPeer(kPeerAddress, kPeerPort);
    const struct {
        int given;
        std::uint32_t slept;
    } cases[] = {{INT_MIN, 0}, {-1, 0}, {60000, 60000}, {60001, 60000}, {INT_MAX, 60000}};
    for (const auto& c : cases) {
        ASSERT_EQ(openethernet(kPeerAddress, kPeerPort), 0);
        ASSERT_EQ(openethernetmult(3, const_cast<char*>(kPeerAddress),
                                   reinterpret_cast<int*>(std::uintptr_t{kPeerPort})),
                  0);
        sim->sleeps.clear();
        EXPECT_EQ(closeethernetport(c.given), 1);
        EXPECT_EQ(closeethernetportmult(3, c.given), 1);
        EXPECT_EQ(sim->sleeps, (std::vector<std::uint32_t>{c.slept, c.slept})) << c.given;
    }
    EXPECT_EQ(sim->openSocketCount(), 0);
}

}  // namespace
