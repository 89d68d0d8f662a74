// The library on the Linux backend, with its state reset around each test.
//
// CUPS_SERVER points at a socket that does not exist, so that opens by
// name go straight past the spooler to the port names, whatever queues this
// machine has; the CUPS tests point it at their private server.
#pragma once

#include <gtest/gtest.h>

#include "connections/connection_record.h"
#include "library_state.h"
#include "platform/platform.h"
#include "posix_test_support.h"
#include "qovlib.h"

namespace qov::posixtest {

class LibraryTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv noSpooler{"CUPS_SERVER", dir.file("no-spooler.sock")};

    void SetUp() override {
        qov::setPlatform(nullptr);
        qov::resetLibraryState();
    }

    void TearDown() override {
        // Close what a test left open, without the 1000 ms pause of a
        // network close.
        ConnectionRecord& c = qov::connection();
        if (c.networkFlag) closeethernetport(0);
        for (int slot = 1; slot <= 5; ++slot)
            if (c.slotNet[slot].networkFlag) closeethernetportmult(slot, 0);
        for (int i = 0; i < 5 && closeport() == 1; ++i) {
        }
        for (int slot = 2; slot <= 5; ++slot) closeportmult(slot);
        qov::resetLibraryState();
    }
};

}  // namespace qov::posixtest
