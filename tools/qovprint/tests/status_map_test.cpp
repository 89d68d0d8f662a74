// The status report's fault lines, read into printer-state-reasons.
#include <gtest/gtest.h>

#include <string>

#include "status_map.h"

using qovprint::parseStatusReport;

namespace {

// The report exactly as the printer sends it with no fault active.
const std::string kTail =
    "LABELS PRINTED;12\r\nFORMS STORED;1\r\nLOGOS STORED;0\r\nERRORS;0\r\nRESTARTS;0\r\nCODEPAGE;0\r\n"
    "SNOOP;\"OFF\"\r\nMENU;\"mediasensor\";\"2\"\r\nEND\r\n";

std::string faulted(const std::string& lines) { return "STATUS;FAULT\r\n" + lines + kTail; }

}  // namespace

TEST(StatusMap, ReadyReportHasNoReasons) {
    const auto st = parseStatusReport("STATUS;READY\r\n" + kTail);
    EXPECT_TRUE(st.answered);
    EXPECT_FALSE(st.faulted);
    EXPECT_FALSE(st.blocked);
    EXPECT_FALSE(st.paused);
    EXPECT_EQ(st.reasons, PAPPL_PREASON_NONE);
    EXPECT_EQ(st.labelsPrinted, 12);
}

TEST(StatusMap, EachFaultLineSetsItsReason) {
    struct Case {
        const char* line;
        pappl_preason_t reason;
        bool paused;
    } cases[] = {
        {"FAULT;PAPER OUT\r\n", PAPPL_PREASON_MEDIA_EMPTY, false},
        {"FAULT;RIBBON OUT\r\n", PAPPL_PREASON_MARKER_SUPPLY_EMPTY, false},
        {"FAULT;HEAD OPEN\r\n", PAPPL_PREASON_COVER_OPEN, false},
        {"FAULT;PAUSED\r\n", PAPPL_PREASON_NONE, true},
        {"FAULT;OFFLINE\r\n", PAPPL_PREASON_OFFLINE, false},
    };
    for (const Case& c : cases) {
        const auto st = parseStatusReport(faulted(c.line));
        EXPECT_TRUE(st.answered) << c.line;
        EXPECT_TRUE(st.faulted) << c.line;
        EXPECT_TRUE(st.blocked) << c.line;
        EXPECT_EQ(st.reasons, c.reason) << c.line;
        EXPECT_EQ(st.paused, c.paused) << c.line;
    }
}

TEST(StatusMap, AllFaultsInTheirOrderAndTheTableKeywords) {
    const auto st = parseStatusReport(
        faulted("FAULT;PAPER OUT\r\nFAULT;RIBBON OUT\r\nFAULT;HEAD OPEN\r\nFAULT;PAUSED\r\nFAULT;OFFLINE\r\n"));
    ASSERT_TRUE(st.answered);
    EXPECT_EQ(st.reasons, PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MARKER_SUPPLY_EMPTY |
                              PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_OFFLINE);
    EXPECT_TRUE(st.paused);

    std::size_t n = 0;
    const auto* table = qovprint::faultReasons(&n);
    ASSERT_EQ(n, 5u);
    const char* keywords[] = {"media-empty", "marker-supply-empty", "cover-open", "paused", "offline"};
    for (std::size_t i = 0; i < n; ++i) EXPECT_STREQ(table[i].keyword, keywords[i]);
}

TEST(StatusMap, NoWholeReportMeansNoAnswer) {
    for (const std::string& text : {std::string("Time Out\r\n"), std::string("-1"), std::string(""),
                                   std::string("STATUS;FAULT\r\nFAULT;PAPER OUT\r\nLABELS PRINTED;1\r\n"),  // cut before END
                                   std::string("garbage\r\nEND\r\n")}) {
        const auto st = parseStatusReport(text);
        EXPECT_FALSE(st.answered) << text;
        EXPECT_EQ(st.reasons, PAPPL_PREASON_NONE) << text;
    }
}

TEST(StatusMap, UnknownFaultStillStopsThePrinter) {
    auto st = parseStatusReport(faulted("FAULT;CUTTER JAM\r\n"));
    EXPECT_TRUE(st.answered);
    EXPECT_TRUE(st.blocked);
    EXPECT_EQ(st.reasons, PAPPL_PREASON_OTHER);
    // A quoted host value that reads like a fault line is not one.
    st = parseStatusReport("STATUS;READY\r\nSNOOP;\"FAULT;PAPER OUT\"\r\nEND\r\n");
    EXPECT_TRUE(st.answered);
    EXPECT_FALSE(st.blocked);
    EXPECT_EQ(st.reasons, PAPPL_PREASON_NONE);
}
