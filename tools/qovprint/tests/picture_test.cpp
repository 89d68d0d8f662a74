// Pages into one-bit pictures, and pictures into logo strips.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "logo_strips.h"
#include "page_picture.h"
#include "qovlib.h"

using qovprint::PagePicture;

namespace {

PagePicture greyPage(const std::vector<std::vector<std::uint8_t>>& rows) {
    PagePicture p;
    std::string error;
    EXPECT_TRUE(p.start(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), PagePicture::Input::Grey8,
                        1 << 20, &error));
    for (std::size_t y = 0; y < rows.size(); ++y) p.addLine(static_cast<int>(y), rows[y].data());
    p.finish();
    return p;
}

std::string dots(const PagePicture& p, int y, int width) {
    std::string s;
    for (int x = 0; x < width; ++x) s += p.dot(x, y) ? '#' : '.';
    return s;
}

// The library's own conversion of the strip (no connection is open, so it only returns the text).
std::string libraryLogo(const PagePicture& p, const qovprint::Strip& s) {
    char* text = printer_PNGLogo_NORMAL(reinterpret_cast<const char*>(p.row(s.firstRow)), "S", s.rows, p.width());
    std::string out = text ? text : "";
    std::free(text);
    return out;
}

// Each strip as {first row, rows}.
std::vector<std::pair<int, int>> spans(const std::vector<qovprint::Strip>& strips) {
    std::vector<std::pair<int, int>> out;
    for (const auto& s : strips) out.emplace_back(s.firstRow, s.rows);
    return out;
}

}  // namespace

TEST(PagePicture, BlackLinesInvertIntoLogoBitsAndPadWithBlank) {
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(10, 1, PagePicture::Input::Black1, 1024, &error));
    const std::uint8_t line[2] = {0x81, 0x40};  // dots at 0, 7 and 9
    p.addLine(0, line);
    p.finish();
    EXPECT_EQ(p.width(), 16);
    EXPECT_EQ(dots(p, 0, 16), "#......#.#......");
}

TEST(PagePicture, OneBitPngRowsAreTakenAsTheyAreWithBlankPadding) {
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(10, 1, PagePicture::Input::White1, 1024, &error));
    const std::uint8_t line[2] = {0x7E, 0x00};  // dots at 0, 7, 8, 9; the padding bits are 0 as PNG writers leave them
    p.addLine(0, line);
    p.finish();
    EXPECT_EQ(dots(p, 0, 16), "#......###......");
}

TEST(PagePicture, GreyTouchingBlackOrWhiteIsThresholded) {
    // A bar's anti-aliased edges: 127 becomes a dot, 128 does not, whatever the dither would say.
    const auto p = greyPage({{255, 127, 0, 0, 128, 255, 200, 60, 255}});
    EXPECT_EQ(dots(p, 0, 9), ".###...#.");
}

TEST(PagePicture, EdgesCarryTheirRemainderSoBarsKeepTheirWidth) {
    // Two 2-dot bars as Ghostscript anti-aliases them, a quarter dot wider
    // each (4.6 dots of ink together): a plain threshold makes 3 + 3 dots,
    // the carried remainder 2 + 3; the next row starts afresh.
    const auto p = greyPage({{255, 67, 0, 118, 255, 255, 255, 67, 0, 118, 255},
                             {255, 255, 118, 255, 255, 255, 255, 255, 255, 255, 255}});
    EXPECT_EQ(dots(p, 0, 11), ".##....###.");
    EXPECT_EQ(dots(p, 1, 11), "..#........");
}

TEST(PagePicture, GreyInsideGreyIsDithered) {
    // A 32 x 32 field of mid grey: half the dots, in the 8 x 8 pattern, none of them thresholded away.
    std::vector<std::vector<std::uint8_t>> rows(32, std::vector<std::uint8_t>(32, 128));
    const auto p = greyPage(rows);
    int count = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) count += p.dot(x, y);
    EXPECT_EQ(count, 512);
    EXPECT_NE(dots(p, 0, 8), dots(p, 4, 8));  // clusters side by side, not stripes down the page
    // Clustered: every row holds its dots in one run an 8-dot cell (a
    // dispersed pattern has four: .#.#.#.#).
    for (int y = 0; y < 32; ++y) {
        const std::string row = dots(p, y, 32);
        int runs = 0;
        for (std::size_t x = 0; x < row.size(); ++x) runs += row[x] == '#' && (x == 0 || row[x - 1] == '.');
        EXPECT_EQ(runs, 4) << y << ": " << row;
    }
    // A light grey field prints few dots, a dark one many.
    const auto light = greyPage(std::vector<std::vector<std::uint8_t>>(8, std::vector<std::uint8_t>(8, 224)));
    const auto dark = greyPage(std::vector<std::vector<std::uint8_t>>(8, std::vector<std::uint8_t>(8, 32)));
    int l = 0, d = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) l += light.dot(x, y), d += dark.dot(x, y);
    EXPECT_EQ(l, 8);
    EXPECT_EQ(d, 56);
}

TEST(PagePicture, RefusesPagesBeyondItsBound) {
    PagePicture p;
    std::string error;
    EXPECT_FALSE(p.start(20000, 20000, PagePicture::Input::Grey8, 16u << 20, &error));
    EXPECT_NE(error.find("20000 x 20000"), std::string::npos);
    EXPECT_FALSE(p.start(0, 10, PagePicture::Input::Black1, 1024, &error));
}

TEST(LogoStrips, RowSizesMatchTheLibrarysConversion) {
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(203, 40, PagePicture::Input::Black1, 1 << 20, &error));
    std::vector<std::uint8_t> line(26);
    for (int y = 0; y < 40; ++y) {
        for (std::size_t k = 0; k < line.size(); ++k) line[k] = static_cast<std::uint8_t>((y * 37 + k * 11) & 0xB5);
        p.addLine(y, line.data());
    }
    p.finish();
    const qovprint::Strip whole{0, 40};
    std::size_t expected = std::strlen("~LOGO;S;40;208;") + std::strlen("\nEND");
    for (int y = 0; y < 40; ++y) expected += qovprint::rowTextBytes(p, y, y + 1);
    EXPECT_EQ(libraryLogo(p, whole).size(), expected);
}

TEST(LogoStrips, SkipBlankRowsAndKeepEachLogoWithinItsLimits) {
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(64, 600, PagePicture::Input::Black1, 1 << 20, &error));
    std::vector<std::uint8_t> busy(8, 0x55), blank(8, 0);
    for (int y = 0; y < 600; ++y) p.addLine(y, (y < 100 || y >= 130) && y < 590 ? busy.data() : blank.data());
    p.finish();
    qovprint::StripLimits limits;
    limits.maxRows = 252;
    limits.maxText = 20000;
    const auto strips = qovprint::planStrips(p, limits);
    ASSERT_GE(strips.size(), 3u);
    EXPECT_EQ(strips[0].firstRow, 0);
    int covered = 0;
    for (std::size_t i = 0; i < strips.size(); ++i) {
        const auto& s = strips[i];
        EXPECT_LE(s.rows, limits.maxRows);
        EXPECT_LE(libraryLogo(p, s).size(), limits.maxText);
        EXPECT_FALSE(p.rowBlank(s.firstRow));
        EXPECT_FALSE(p.rowBlank(s.firstRow + s.rows - 1));
        if (i) {
            EXPECT_GE(s.firstRow, strips[i - 1].firstRow + strips[i - 1].rows);
        }
        for (int y = s.firstRow; y < s.firstRow + s.rows; ++y) covered += !p.rowBlank(y);
    }
    EXPECT_EQ(covered, 560);  // every row with a dot, in exactly one strip
    for (const auto& s : strips) EXPECT_FALSE(s.firstRow >= 100 && s.firstRow < 130);  // the gap costs nothing
}

// Strips planned while a grey page is still being built are the strips of
// the finished page, each known as soon as its last row is final.
TEST(LogoStrips, PlannedRowByRowWhileTheGreyPageIsBuilt) {
    const int w = 48, h = 40;
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(w, h, PagePicture::Input::Grey8, 1 << 20, &error));
    qovprint::StripLimits limits;
    limits.maxRows = 7;
    limits.maxText = 200;
    qovprint::StripPlanner planner(limits);
    std::vector<qovprint::Strip> early;
    std::vector<std::uint8_t> line(w);
    int planned = 0;
    qovprint::Strip s{0, 0};
    for (int y = 0; y < h; ++y) {
        // blank rows 0-2 and 20-24; black bars and a mid grey elsewhere
        for (int x = 0; x < w; ++x)
            line[x] = (y < 3 || (y >= 20 && y < 25)) ? 255 : (x % 6 < 2 ? 0 : (x % 6 < 4 ? 255 : 128));
        p.addLine(y, line.data());
        EXPECT_EQ(p.rowsDone(), y);  // a grey row waits for the row below it
        for (; planned < p.rowsDone(); ++planned)
            if (planner.addRow(p, planned, &s)) {
                EXPECT_LT(s.firstRow + s.rows - 1, p.rowsDone());
                early.push_back(s);
            }
    }
    p.finish();
    EXPECT_EQ(p.rowsDone(), h);
    for (; planned < h; ++planned)
        if (planner.addRow(p, planned, &s)) early.push_back(s);
    if (planner.finish(&s)) early.push_back(s);
    const auto whole = qovprint::planStrips(p, limits);
    ASSERT_EQ(early.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(early[i].firstRow, whole[i].firstRow) << i;
        EXPECT_EQ(early[i].rows, whole[i].rows) << i;
        EXPECT_LE(libraryLogo(p, whole[i]).size(), limits.maxText) << i;
    }
    ASSERT_GE(whole.size(), 2u);
    EXPECT_EQ(whole.front().firstRow, 3);
    EXPECT_EQ(whole.back().firstRow + whole.back().rows, h);
    for (const auto& strip : whole) EXPECT_FALSE(strip.firstRow >= 20 && strip.firstRow < 25);
}

TEST(LogoStrips, StripsCloseOnTheirRowLimitAndTheirTextLimit) {
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(64, 12, PagePicture::Input::Black1, 1 << 20, &error));
    std::vector<std::uint8_t> busy(8, 0x55), blank(8, 0);
    for (int y = 0; y < 12; ++y) p.addLine(y, y == 1 || y == 5 || y == 11 ? blank.data() : busy.data());
    EXPECT_EQ(p.rowsDone(), 12);
    const std::size_t row = qovprint::rowTextBytes(p, 0, 1);
    qovprint::StripLimits byRows;
    byRows.maxRows = 3;
    const auto r = qovprint::planStrips(p, byRows);
    // {0..2} {3..5 less trailing blank 5} {6..8} {9..11 less 11}
    EXPECT_EQ(spans(r), (std::vector<std::pair<int, int>>{{0, 3}, {3, 2}, {6, 3}, {9, 2}}));
    qovprint::StripLimits byText;
    byText.maxText = 64 + 2 * row + 5;  // two busy rows fit, a third does not
    const auto t = qovprint::planStrips(p, byText);
    // {0, blank 1, 2} {3, 4, blank 5}: a blank row costs no text
    ASSERT_GE(t.size(), 3u);
    EXPECT_EQ(t[0].firstRow, 0);
    EXPECT_EQ(t[0].rows, 3);
    EXPECT_EQ(t[1].firstRow, 3);
    EXPECT_EQ(t[1].rows, 2);
    for (const auto& s : t) EXPECT_LE(libraryLogo(p, s).size(), byText.maxText);
    // A limit below one row: each busy row is a strip of its own, and the
    // blank rows after an over-long row start no strip.
    qovprint::StripLimits tiny;
    tiny.maxText = 64;
    const auto one = qovprint::planStrips(p, tiny);
    ASSERT_EQ(one.size(), 9u);
    for (const auto& s : one) {
        EXPECT_EQ(s.rows, 1);
        EXPECT_FALSE(p.rowBlank(s.firstRow)) << s.firstRow;
    }
}

// Runs that touch the row's ends, single dots and long runs across bytes,
// at columns of 1 to 4 digits: the sizes are the library's.
TEST(LogoStrips, RowSizesAtTheEdgesMatchTheLibrarysConversion) {
    const int w = 1200;
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(w, 5, PagePicture::Input::Black1, 1 << 20, &error));
    std::vector<std::vector<std::uint8_t>> lines(5, std::vector<std::uint8_t>(w / 8, 0));
    lines[0].assign(w / 8, 0xFF);                        // one run, edge to edge
    for (auto& b : lines[1]) b = 0xAA;                   // single dots from the first column
    for (auto& b : lines[2]) b = 0x55;                   // single dots to the last column
    for (int k = 0; k < w / 8; k += 3) lines[3][k] = 0x81, lines[3][k + 1] = 0xFF;  // runs across bytes
    lines[4][0] = 0x80, lines[4][w / 8 - 1] = 0x01;      // a dot at each end
    for (int y = 0; y < 5; ++y) p.addLine(y, lines[y].data());
    for (int y = 0; y < 5; ++y) {
        const qovprint::Strip one{y, 1};
        const std::size_t frame = std::strlen("~LOGO;S;1;1200;") + std::strlen("\nEND");
        EXPECT_EQ(libraryLogo(p, one).size(), frame + qovprint::rowTextBytes(p, y, 1)) << y;
    }
}

TEST(LogoStrips, AShortFirstStripThenFullOnes) {
    PagePicture p;
    std::string error;
    ASSERT_TRUE(p.start(64, 20, PagePicture::Input::Black1, 1 << 20, &error));
    std::vector<std::uint8_t> busy(8, 0x55), blank(8, 0);
    for (int y = 0; y < 20; ++y) p.addLine(y, y < 3 ? blank.data() : busy.data());
    qovprint::StripLimits limits;
    limits.maxRows = 6;
    qovprint::StripPlanner planner(limits, 2);
    std::vector<qovprint::Strip> strips;
    qovprint::Strip s{0, 0};
    for (int y = 0; y < 20; ++y)
        if (planner.addRow(p, y, &s)) strips.push_back(s);
    if (planner.finish(&s)) strips.push_back(s);
    // blank rows 0-2 skipped; {3,2} then {5,6} {11,6} {17,3}
    EXPECT_EQ(spans(strips), (std::vector<std::pair<int, int>>{{3, 2}, {5, 6}, {11, 6}, {17, 3}}));
    // a first bound of 0, or above maxRows, is maxRows
    for (int first : {0, 9}) {
        qovprint::StripPlanner same(limits, first);
        ASSERT_FALSE(same.addRow(p, 0, &s));
        for (int y = 1; y < 9; ++y) same.addRow(p, y, &s);
        EXPECT_EQ(s.firstRow, 3) << first;
        EXPECT_EQ(s.rows, 6) << first;
    }
}

// The wide form against the plain one on random rows: levels around both
// purity limits and the screen's, edges and grey inside grey, widths with
// and without a tail of fewer than 16 dots.
TEST(GreyRows, WideFormDotsAsThePlainOne) {
    if (!qovprint::greyRowsWide()) GTEST_SKIP() << "no wide form on this processor";
    std::mt19937 random(7);
    const std::uint8_t levels[] = {0, 8, 9, 100, 127, 128, 129, 200, 246, 247, 255};
    for (int width : {1, 7, 15, 16, 17, 31, 48, 100, 816}) {
        for (int trial = 0; trial < 200; ++trial) {
            std::vector<std::uint8_t> rows[3], pure[3];
            for (int k = 0; k < 3; ++k) {
                rows[k].resize(static_cast<std::size_t>(width));
                for (auto& g : rows[k])
                    g = random() % 3 ? levels[random() % sizeof levels] : static_cast<std::uint8_t>(random());
                pure[k].assign(static_cast<std::size_t>(width) + 2, 0);
                qovprint::markPure(rows[k].data(), width, pure[k].data() + 1);
            }
            const qovprint::GreyRow row{rows[1].data(), pure[0].data() + 1, pure[1].data() + 1, pure[2].data() + 1,
                                        width, trial};
            std::vector<std::uint8_t> wide((width + 7) / 8), plain((width + 7) / 8);
            qovprint::greyRowToBits(row, wide.data());
            qovprint::greyRowToBitsPlain(row, plain.data());
            ASSERT_EQ(wide, plain) << "width " << width << ", trial " << trial;
        }
    }
}
