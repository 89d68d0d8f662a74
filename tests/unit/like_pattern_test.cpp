// The LIKE matcher that every backend's management query uses.
#include <gtest/gtest.h>

#include <string>

#include "platform/like_pattern.h"
#include "sim.h"

namespace {

using qov::likeMatch;

TEST(LikePattern, WildcardsSetsAndCase) {
    EXPECT_TRUE(likeMatch("QX-200", "qx-200"));
    EXPECT_FALSE(likeMatch("QX-200", "QX-2000"));
    EXPECT_FALSE(likeMatch("QX-2000", "QX-200"));
    EXPECT_TRUE(likeMatch("QX%", "QX-200 Label"));
    EXPECT_TRUE(likeMatch("%", ""));
    EXPECT_FALSE(likeMatch("_", ""));
    EXPECT_TRUE(likeMatch("%200%", "my-200-b"));
    EXPECT_FALSE(likeMatch("%300%", "my-200-b"));
    EXPECT_TRUE(likeMatch("QX_200", "QX-200"));
    EXPECT_FALSE(likeMatch("QX_200", "QX200"));
    EXPECT_TRUE(likeMatch("q[a-c]1", "QB1"));
    EXPECT_FALSE(likeMatch("q[^a-c]1", "qb1"));
    EXPECT_TRUE(likeMatch("q[^a-c]1", "qd1"));
    EXPECT_TRUE(likeMatch("a[b", "a[b"));  // an unclosed set is a plain '['
    EXPECT_TRUE(likeMatch("%a%a%a%a%b", "aaaaaaaaaaaaaaaaaaaab"));
    // The last '%' must give back what it took for the tail to match.
    EXPECT_TRUE(likeMatch("%ab%ab", "xabyabab"));
    EXPECT_FALSE(likeMatch("%ab%abc", "xabyabab"));
    EXPECT_TRUE(likeMatch("a%[0-9]_", "a-x7z"));
}

// Seven "%a" groups against 60 characters that never end the match: a
// matcher that retries every '%' at every position takes C(60,7) tries
// (hours); this one answers at once. bench_like_pattern measures it.
TEST(LikePattern, ManyWildcardsAgainstALongName) {
    const std::string name(59, 'a');
    EXPECT_FALSE(likeMatch("%a%a%a%a%a%a%a%b", name + "c"));
    EXPECT_TRUE(likeMatch("%a%a%a%a%a%a%a%b", name + "b"));
}

TEST(LikePattern, QueryText) {
    using qov::likePatternOfQuery;
    std::string pat;
    ASSERT_TRUE(likePatternOfQuery("SELECT * from Win32_Printer WHERE Name LIKE 'Unlike_%'", pat));
    EXPECT_EQ(pat, "Unlike_%");
    ASSERT_TRUE(likePatternOfQuery("SELECT * from Win32_Printer WHERE Name LIKE ''", pat));
    EXPECT_EQ(pat, "");
    // A quote in the name breaks the query, as it does for the real service.
    EXPECT_FALSE(likePatternOfQuery("SELECT * from Win32_Printer WHERE Name LIKE 'O'Brien'", pat));
    EXPECT_FALSE(likePatternOfQuery("SELECT * from Win32_Printer", pat));
}

// The simulated management service matches with the same operator: a set
// selects the printer.
TEST(LikePattern, SimulatedQueryUsesSets) {
    qov::sim::SimScope sim;
    sim->addPrinter("QX-200", "USB001", true);
    bool offline = true;
    EXPECT_EQ(sim->queryPrinterOffline("SELECT * from Win32_Printer WHERE Name LIKE 'Q[A-Z]-2%'",
                                       &offline),
              qov::ManagementResult::Found);
    EXPECT_FALSE(offline);
    EXPECT_EQ(sim->queryPrinterOffline("SELECT * from Win32_Printer WHERE Name LIKE 'Q[^X]-2%'",
                                       &offline),
              qov::ManagementResult::NotFound);
}

}  // namespace
