// printer_PNGLogo_NORMAL: the definition goes on the wire with sendcommand
// and comes back as a block the caller owns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "formatters_test_support.h"

namespace {

using fmt_test::Link;

TEST(FormattersLogoExport, SendsTheDefinitionAndReturnsACallerOwnedCopy) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Lpt);
    const char picture[] = {'\xFF', '\x0F', '\x7F', '\xFF'};
    char* text = printer_PNGLogo_NORMAL(picture, "A", 2, 16);
    ASSERT_NE(text, nullptr);
    const std::string expected = "~LOGO;A;2;16;\n1;9-12\n2;1\nEND";
    EXPECT_EQ(std::string(text), expected);
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), "LPT1"),
              (std::vector<std::string>{expected, "\r\n"}));

    // A second call gives a new block; the first keeps its text.
    char* other = printer_PNGLogo_NORMAL(picture + 2, "B", 1, 8);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, text);
    EXPECT_STREQ(other, "~LOGO;B;1;8;\n1;1\nEND");
    EXPECT_EQ(std::string(text), expected);
    std::free(text);
    std::free(other);
}

TEST(FormattersLogoExport, WithoutConnectionTheTextIsStillReturned) {
    qov::sim::SimScope sim;
    const char blank[] = {'\xFF', '\xFF'};
    char* text = printer_PNGLogo_NORMAL(blank, "E", 2, 8);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "~LOGO;E;2;8;\nEND");
    EXPECT_TRUE(sim->writes.empty());
    std::free(text);
}

TEST(FormattersLogoExport, NullPictureWithRowsOrNullNameSendsNothing) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    const char picture[] = {'\x00'};
    EXPECT_EQ(printer_PNGLogo_NORMAL(nullptr, "A", 1, 8), nullptr);
    EXPECT_EQ(printer_PNGLogo_NORMAL(picture, nullptr, 1, 8), nullptr);
    EXPECT_EQ(printer_PNGLogo_NORMAL(nullptr, nullptr, 0, 8), nullptr);
    EXPECT_TRUE(sim->writesTo(fmt_test::kPrinter).empty());
}

TEST(FormattersLogoExport, NullPictureWithoutRowsGivesTheHeaderAndEnd) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    // No row (height 0) and no whole byte per row (width 3).
    char* flat = printer_PNGLogo_NORMAL(nullptr, "N", 0, 16);
    char* narrow = printer_PNGLogo_NORMAL(nullptr, "W", 2, 3);
    ASSERT_NE(flat, nullptr);
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(flat, "~LOGO;N;0;16;\nEND");
    EXPECT_STREQ(narrow, "~LOGO;W;2;3;\nEND");
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::kPrinter),
              (std::vector<std::string>{"~LOGO;N;0;16;\nEND", "\r\n", "~LOGO;W;2;3;\nEND",
                                        "\r\n"}));
    std::free(flat);
    std::free(narrow);
}

TEST(FormattersLogoExport, LongDefinitionsGoOutWhole) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    // 300 rows, each with a dot in every other column of 64: far beyond any
    // fixed buffer.
    std::vector<char> picture(300 * 8, '\x55');
    char* text = printer_PNGLogo_NORMAL(picture.data(), "BIG", 300, 64);
    ASSERT_NE(text, nullptr);
    std::string row;
    for (int c = 1; c <= 63; c += 2) row += ";" + std::to_string(c);
    std::string expected = "~LOGO;BIG;300;64;";
    for (int r = 1; r <= 300; ++r) expected += "\n" + std::to_string(r) + row;
    expected += "\nEND";
    EXPECT_EQ(std::string(text), expected);
    const auto writes = fmt_test::writtenTo(sim.os(), fmt_test::kPrinter);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], expected);
    std::free(text);
}

}  // namespace
