// No exception leaves an export: an allocation failure deep inside a send,
// a serial write or the diagnostic exchange ends the call with its failure
// result, and the process goes on.
#include <gtest/gtest.h>

#include <new>

#include "library_state.h"
#include "sim.h"
#include "qovlib.h"
#include "sending_test_support.h"

namespace {

using namespace sending_test;

// A simulated OS whose sends, printer writes and event creations run out
// of memory once armed.
class ThrowingSim : public qov::sim::SimPlatform {
public:
    bool armed = false;
    int send(qov::Socket s, const void* data, int size) override {
        if (armed) throw std::bad_alloc();
        return SimPlatform::send(s, data, size);
    }
    bool writePrinter(qov::Handle printer, const void* data, std::uint32_t size,
                      std::uint32_t* written) override {
        if (armed) throw std::bad_alloc();
        return SimPlatform::writePrinter(printer, data, size, written);
    }
    qov::Handle createEvent(bool manualReset, bool initialState) override {
        if (armed) throw std::bad_alloc();
        return SimPlatform::createEvent(manualReset, initialState);
    }
};

class ThrowingScope {
public:
    ThrowingScope() {
        qov::resetLibraryState();
        qov::setPlatform(&sim);
    }
    ~ThrowingScope() {
        qov::setPlatform(nullptr);
        qov::resetLibraryState();
    }
    ThrowingSim sim;
};

TEST(ExportGuard, FormerlyUnguardedExportsReturnTheirFailureResult) {
    {
        ThrowingScope scope;
        open(scope.sim, Link::Network);
        scope.sim.armed = true;
        char text[] = "PING";
        EXPECT_EQ(sendBinaryData("AB", 2), 0);
        EXPECT_EQ(sendBinaryDataNoCRLF("AB", 2), 0);
        EXPECT_EQ(Ethernetsend(text), 0);
        EXPECT_TRUE(scope.sim.boxes.empty());
    }
    {
        ThrowingScope scope;
        open(scope.sim, Link::Spooler);
        scope.sim.armed = true;
        EXPECT_EQ(sendBinaryData("AB", 2), 0);
    }
    {
        ThrowingScope scope;
        open(scope.sim, Link::Com);
        scope.sim.armed = true;
        char text[] = "~!I";
        EXPECT_EQ(ComportSendData(text), 0);
        EXPECT_EQ(sendBinaryDataNoCRLF("AB", 2), 0);
    }
}

}  // namespace
