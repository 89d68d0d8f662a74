#include <gtest/gtest.h>

#include "connections/connection_record.h"
#include "library_state.h"

TEST(LibraryState, StartsWithEveryFlagClear) {
    qov::resetLibraryState();
    const auto& c = qov::connection();
    EXPECT_EQ(c.connectionOpenFlag, 0);
    EXPECT_EQ(c.current.spoolerFlag, 0);
    EXPECT_EQ(c.networkFlag, 0);
}
