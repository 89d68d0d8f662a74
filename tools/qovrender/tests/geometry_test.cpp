// Boxes, lines, units, paper and its rotation, clipping and the raster cap:
// edges at the expected dots at 203 and 300 dpi.
#include <gtest/gtest.h>

#include "test_support.h"

using qovtest::form;
using qovtest::inkBox;
using qovtest::render;

namespace {

// A box's four sides: `t` dots thick, outer corners (x1, y1) and (x2 + t - 1, y2 + t - 1).
void expectBox(const qovrender::Raster& r, int x1, int y1, int x2, int y2, int t) {
    const auto box = inkBox(r);
    EXPECT_EQ(box.left, x1);
    EXPECT_EQ(box.top, y1);
    EXPECT_EQ(box.right, x2 + t - 1);
    EXPECT_EQ(box.bottom, y2 + t - 1);
    const int midX = (x1 + x2) / 2, midY = (y1 + y2) / 2;
    EXPECT_TRUE(r.get(midX, y1 + t - 1));   // top side, last row
    EXPECT_FALSE(r.get(midX, y1 + t));      // inside
    EXPECT_TRUE(r.get(midX, y2));           // bottom side, first row
    EXPECT_FALSE(r.get(midX, y2 - 1));
    EXPECT_TRUE(r.get(x1 + t - 1, midY));   // left side
    EXPECT_FALSE(r.get(x1 + t, midY));
    EXPECT_TRUE(r.get(x2, midY));           // right side
    EXPECT_FALSE(r.get(x2 - 1, midY));
    EXPECT_TRUE(r.get(x2 + t - 1, y2 + t - 1));  // corners closed
    EXPECT_TRUE(r.get(x2 + t - 1, y1));
    EXPECT_TRUE(r.get(x1, y2 + t - 1));
}

}  // namespace

TEST(Geometry, BoxEdgesAt203And300Dpi) {
    // Units of 1/100 inch: rows 50 and 150, columns 40 and 240, 2 thick.
    const std::string input = form("B", {"SCALE;DOT;100;100", "BOX", "2;50;40;150;240", "STOP"});
    const auto at203 = render(input, 203);
    ASSERT_EQ(at203.labels.size(), 1u);
    EXPECT_EQ(at203.labels[0].picture.width(), 812);
    EXPECT_EQ(at203.labels[0].picture.height(), 1218);
    expectBox(at203.labels[0].picture, 81, 102, 487, 305, 4);  // 101.5 and 304.5 round up
    const auto at300 = render(input, 300);
    ASSERT_EQ(at300.labels.size(), 1u);
    EXPECT_EQ(at300.labels[0].picture.width(), 1200);
    EXPECT_EQ(at300.labels[0].picture.height(), 1800);
    expectBox(at300.labels[0].picture, 120, 150, 720, 450, 6);
    // In printer dots, the same numbers give the same dots at any resolution.
    expectBox(render(form("B", {"SCALE;DOT;300;300", "BOX", "1;10;20;30;40", "STOP"}), 300).labels[0].picture,
              20, 10, 40, 30, 1);
}

TEST(Geometry, CharacterScaleIsTheDefaultWithItsOwnThickness) {
    // No SCALE: rows of 1/6 inch, columns of 1/10; thickness 1/72 inch down, 1/60 across.
    const auto out = render(form("C", {"HORZ", "1;2;1;3", "STOP", "VERT", "1;5;3;4", "STOP"}));
    ASSERT_EQ(out.labels.size(), 1u);
    const auto& r = out.labels[0].picture;
    const auto horz = inkBox(r, 0, 0, 812, 100);
    EXPECT_EQ(horz.top, 68);   // 2/6 inch
    EXPECT_EQ(horz.height(), 3);
    EXPECT_EQ(horz.left, 20);  // 1/10 inch = 20.3
    EXPECT_EQ(horz.right, 60); // to 3/10 inch = 60.9, exclusive
    const auto vert = inkBox(r, 0, 100, 812, 1218);
    EXPECT_EQ(vert.left, 102);   // 5/10 inch = 101.5
    EXPECT_EQ(vert.width(), 3);  // 1/60 inch = 3.4
    EXPECT_EQ(vert.top, 102);    // 3/6 inch = 101.5
    EXPECT_EQ(vert.bottom, 134); // to 4/6 inch = 135.3, exclusive
}

TEST(Geometry, DotScaleDefaultsAndLaterStatementsApplyToLaterElements) {
    const auto out = render(form("D", {"SCALE;DOT", "HORZ", "1;72;60;120", "STOP", "SCALE;DOT;203;203", "HORZ",
                                       "1;500;100;200", "STOP"}));
    ASSERT_EQ(out.labels.size(), 1u);
    const auto first = inkBox(out.labels[0].picture, 0, 0, 812, 400);
    EXPECT_EQ(first.top, 203);
    EXPECT_EQ(first.height(), 3);  // 1/72 inch
    EXPECT_EQ(first.left, 203);
    EXPECT_EQ(first.right, 405);
    const auto second = inkBox(out.labels[0].picture, 0, 400, 812, 1218);
    EXPECT_EQ(second.top, 500);
    EXPECT_EQ(second.height(), 1);
    EXPECT_EQ(second.left, 100);
    EXPECT_EQ(second.right, 199);
}

TEST(Geometry, DiagonalRunsBetweenItsPoints) {
    const auto out = render(form("G", {"SCALE;DOT;203;203", "DIAG", "4;100;100;300;500", "STOP"}));
    const auto& r = out.labels[0].picture;
    const auto box = inkBox(r);
    EXPECT_NEAR(box.left, 100, 2);
    EXPECT_NEAR(box.right, 500, 2);
    EXPECT_NEAR(box.top, 100, 3);
    EXPECT_NEAR(box.bottom, 300, 3);
    EXPECT_TRUE(r.get(300, 200));
    EXPECT_FALSE(r.get(300, 210));
    EXPECT_FALSE(r.get(300, 190));
    // About 4 dots thick across the line: 4 / cos(26.6 degrees) = 4.5 rows.
    int rows = 0;
    for (int y = 190; y < 210; ++y) rows += r.get(300, y) ? 1 : 0;
    EXPECT_GE(rows, 4);
    EXPECT_LE(rows, 5);
}

TEST(Geometry, PaperSizeAndRotationTurnThePicture) {
    const std::vector<std::string> corner = {"SCALE;DOT;203;203", "BOX", "10;0;0;0;0", "STOP"};
    struct Turn {
        int degrees;
        int left, top;
    } turns[] = {{0, 0, 0}, {90, 396, 0}, {180, 396, 193}, {270, 0, 193}};
    for (const Turn& t : turns) {
        SCOPED_TRACE(t.degrees);
        const std::string input = "~PAPER;SIZE 2000,0\r\n~PAPER;SIZE 0,1000\r\n~PAPER;ROTATE " +
                                  std::to_string(t.degrees) + "\r\n~PAPER;SPEED IPS 6\r\n" + form("R", corner);
        const auto out = render(input);
        ASSERT_EQ(out.labels.size(), 1u);
        EXPECT_TRUE(out.notes.empty());
        EXPECT_EQ(out.labels[0].picture.width(), 406);
        EXPECT_EQ(out.labels[0].picture.height(), 203);
        const auto box = inkBox(out.labels[0].picture);
        EXPECT_EQ(box.left, t.left);
        EXPECT_EQ(box.top, t.top);
        EXPECT_EQ(box.width(), 10);
        EXPECT_EQ(box.height(), 10);
    }
    EXPECT_TRUE(render("~PAPER;ROTATE 45\r\n").noted("0, 90, 180 or 270"));
    EXPECT_TRUE(render("~PAPER;SIZE 4000\r\n").noted("paper size not understood"));
}

TEST(Geometry, CoordinatesOutsideTheLabelAreClippedAndTheRasterIsCapped) {
    const auto out = render(form("O", {"SCALE;DOT;203;203", "BOX", "5;-100;-100;99999;99999", "STOP", "DIAG",
                                       "3;-500;-500;2000;2000", "STOP", "ALPHA", "10;-50;9;9;*CLIPPED*", "STOP",
                                       "HORZ", "2;999999999;0;999999999", "STOP"}));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.labels[0].picture.get(300, 300));  // the diagonal crosses the label
    EXPECT_FALSE(inkBox(out.labels[0].picture, 100, 0, 812, 10).empty());  // the lower part of the text
    const auto big = render("~PAPER;SIZE 99000,999000\r\n" + form("BIG", {"HORZ", "1;1;1;2", "STOP"}));
    ASSERT_EQ(big.labels.size(), 1u);
    EXPECT_EQ(big.labels[0].picture.width(), 8000);
    EXPECT_EQ(big.labels[0].picture.height(), 40000);
    EXPECT_TRUE(big.noted("cut to that size"));
}

TEST(Geometry, MalformedLinesAreNotedWithTheirLineAndSkipped) {
    const auto out = render(form("M", {"BOX", "1;2;3", "STOP", "HORZ", "-1;2;3;4", "STOP", "VERT", "1;a;3;4", "STOP"}));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_EQ(out.labels[0].picture.inkCount(), 0);
    ASSERT_EQ(out.notes.size(), 3u);
    EXPECT_EQ(out.notes[0].line, 3);
    EXPECT_EQ(out.notes[1].line, 6);
    EXPECT_EQ(out.notes[2].line, 9);
    EXPECT_NE(out.notes[1].text.find("negative"), std::string::npos);
}

TEST(Geometry, LabelAtTheSizeCapTurnsBothQuarterWays) {
    // The largest picture the renderer makes, turned: the picture keeps the
    // paper's width across, the form is laid out along the turned paper, and
    // a frame on its edges stays on the edges whichever way it turns.
    const std::vector<std::string> frame = {"SCALE;DOT;203;203", "BOX", "1;0;0;7999;39999", "STOP",
                                            "HORZ", "3;0;0;40", "STOP"};
    const auto quarter = render("~PAPER;SIZE 99000,999000\r\n~PAPER;ROTATE 90\r\n" + form("Q", frame));
    const auto three = render("~PAPER;SIZE 99000,999000\r\n~PAPER;ROTATE 270\r\n" + form("T", frame));
    ASSERT_EQ(quarter.labels.size(), 1u);
    ASSERT_EQ(three.labels.size(), 1u);
    const auto& q = quarter.labels[0].picture;
    ASSERT_EQ(q.width(), 8000);
    ASSERT_EQ(q.height(), 40000);
    EXPECT_TRUE(q.get(0, 0) && q.get(7999, 0) && q.get(0, 39999) && q.get(7999, 39999));
    // The frame's dots and the line's, less the 42 where they overlap.
    EXPECT_EQ(q.inkCount(), 2 * (8000 + 40000) - 4 + 3 * 40 - 42);
    // The short thick line at the form's top-left runs down the right edge.
    EXPECT_TRUE(q.get(7999, 20) && q.get(7997, 39) && !q.get(7996, 20) && !q.get(7998, 40));
    // The same layout turned the other way is the half turn of it.
    EXPECT_EQ(three.labels[0].picture, q.rotated(180));
    EXPECT_EQ(three.labels[0].picture.inkCount(), q.inkCount());
}
