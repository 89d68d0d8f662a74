// Every symbology that zxing-cpp reads is drawn and decoded back to its data,
// upright and turned; placement, height and the human-readable line.
#include <gtest/gtest.h>

#include "test_support.h"

using qovtest::decode;
using qovtest::form;
using qovtest::inkBox;
using qovtest::render;

namespace {

struct Case {
    const char* kind;
    const char* data;
    const char* decoded;  // what a reader gets back (check digits added, Codabar's ends dropped)
    const char* options = "";
};

const Case kCases[] = {
    {"C3/9", "ABC-123", "ABC-123"},
    {"C128A", "LOT 42", "LOT 42"},
    {"C128B", "Qov-000123", "Qov-000123"},
    {"C128C", "12345678", "12345678"},
    {"EAN13", "590123412345", "5901234123457"},
    {"UPC-A", "03600029145", "036000291452"},
    {"EAN8", "9638507", "96385074"},
    {"I-2/5", "1234567890", "1234567890"},
    {"CODABAR", "A40156B", "40156"},
    {"UCC-128", "(01)09501101530003", "0109501101530003"},
    {"QRCODE", "https://example.invalid/item?id=7", "https://example.invalid/item?id=7"},
    {"PDF417", "PDF417 data 0123456789", "PDF417 data 0123456789"},
    {"AZTEC", "Aztec 12345", "Aztec 12345"},
    {"DATAMATRIX", "DM-0042-XYZ", "DM-0042-XYZ"},
    {"MAXICODE", "MAXICODE TEST 12345", "MAXICODE TEST 12345"},
};

const char* kTurns[] = {"", "CW;", "INV;", "CCW;"};
const int kDegrees[] = {0, 90, 180, 270};

qovrender::Raster inkOnly(const qovrender::Raster& r) {
    const auto box = inkBox(r);
    qovrender::Raster out(box.width(), box.height());
    for (int y = 0; y < box.height(); ++y)
        for (int x = 0; x < box.width(); ++x) out.set(x, y, r.get(box.left + x, box.top + y));
    return out;
}

std::string barcodeLabel(const Case& c, const char* turn, const char* options = "") {
    return "~PAPER;SIZE 4000,4000\r\n" +
           form("B", {"SCALE;DOT;203;203", "BARCODE", std::string(c.kind) + ";" + turn + options + "100;100",
                      std::string("*") + c.data + "*", "STOP"});
}

}  // namespace

TEST(BarcodeDecode, EveryKindReadsBackUprightAndTurned) {
    for (const Case& c : kCases) {
        const auto upright = render(barcodeLabel(c, "", c.options));
        for (int t = 0; t < 4; ++t) {
            const char* turn = kTurns[t];
            SCOPED_TRACE(std::string(c.kind) + " " + turn);
            const auto out = render(barcodeLabel(c, turn, c.options));
            ASSERT_EQ(out.labels.size(), 1u);
            EXPECT_TRUE(out.notes.empty()) << out.notes[0].text;
            // The turned symbol is the upright one turned, dot for dot.
            EXPECT_EQ(inkOnly(out.labels[0].picture), inkOnly(upright.labels.at(0).picture).rotated(kDegrees[t]));
            // zxing-cpp reads MaxiCode only upright.
            if (t > 0 && std::string(c.kind) == "MAXICODE") continue;
            const auto found = decode(out.labels[0].picture);
            ASSERT_EQ(found.size(), 1u);
            std::string got = found[0];
            got.erase(std::remove(got.begin(), got.end(), '\x1d'), got.end());
            EXPECT_EQ(got, c.decoded);
        }
    }
}

TEST(BarcodeDecode, TurnedSymbolKeepsItsTopLeftCornerAtRowAndColumn) {
    const Case qr{"QRCODE", "corner", "corner"};
    const Case bars{"C128B", "corner", "corner"};
    for (const Case& c : {qr, bars}) {
        for (const char* turn : kTurns) {
            SCOPED_TRACE(std::string(c.kind) + " " + turn);
            const auto out = render(barcodeLabel(c, turn));
            ASSERT_EQ(out.labels.size(), 1u);
            const auto box = inkBox(out.labels[0].picture);
            // The box's corner is at 100/100; bars start after the 0.1-inch
            // guard band, which lies across the symbol's height.
            const bool quarter = std::string(turn) == "CW;" || std::string(turn) == "CCW;";
            const int guard = c.kind == std::string("QRCODE") ? 0 : 20;
            EXPECT_EQ(box.left, 100 + (quarter ? guard : 0));
            EXPECT_EQ(box.top, 100 + (quarter ? 0 : guard));
        }
    }
}

TEST(BarcodeDecode, ModuleWidthsCountSixtiethsOrPrinterDotsAtEveryResolution) {
    const Case c{"C128B", "HEIGHT", "HEIGHT"};
    // X1 by default: 1/60 inch, 3 dots at 203 dpi. H is the whole symbol,
    // 0.9 inch by default, less a 0.1-inch guard band above and below.
    auto out = render(barcodeLabel(c, ""));
    auto box = inkBox(out.labels[0].picture);
    EXPECT_EQ(box.height(), 183 - 40);
    const int w3 = box.width();
    ASSERT_EQ(w3 % 3, 0);
    const int modules = w3 / 3;
    struct Width {
        const char* option;
        int dpi, dots;
    } widths[] = {{"X2;", 203, 7}, {"XD4;", 203, 4}, {"X4D;", 203, 4}, {"XRD2:2:4:4:6:6:8:8;", 203, 2},
                  {"XR2:2:4:4:6:6:8:8;", 203, 7}, {"", 300, 5}, {"X2;", 300, 10}, {"", 600, 10}, {"X2;", 600, 20},
                  {"XD3;", 600, 3}};
    for (const Width& w : widths) {
        SCOPED_TRACE(std::string(w.option) + " at " + std::to_string(w.dpi));
        out = render(barcodeLabel(c, "", w.option), w.dpi);
        box = inkBox(out.labels[0].picture);
        EXPECT_EQ(box.width(), modules * w.dots);
        EXPECT_EQ(decode(out.labels[0].picture).at(0), c.decoded);
    }
    // H5.3: half an inch plus three dots of the row scale, guard bands included.
    out = render(barcodeLabel(c, "", "H5.3;"));
    EXPECT_EQ(inkBox(out.labels[0].picture).height(), 102 + 3 - 40);
    out = render(barcodeLabel(c, ""), 300);
    EXPECT_EQ(inkBox(out.labels[0].picture).height(), 270 - 60);
    // Too low for its bars: left out and noted.
    EXPECT_TRUE(render(barcodeLabel(c, "", "H2;")).noted("no room for its bars"));
}

TEST(BarcodeDecode, HumanReadableLineUnderOrAboveShortensTheBars) {
    const Case c{"C128B", "TEXT-42", "TEXT-42"};
    const std::string base = "~PAPER;SIZE 4000,4000\r\n";
    auto below = render(base + form("B", {"SCALE;DOT;203;203", "BARCODE", "C128B;100;100", "*TEXT-42*", "PDF", "STOP"}));
    auto above = render(base + form("B", {"SCALE;DOT;203;203", "BARCODE", "C128B;100;100", "*TEXT-42*", "PDF;A", "STOP"}));
    auto hidden = render(base + form("B", {"SCALE;DOT;203;203", "BARCODE", "C128B;100;100", "*TEXT-42*", "PDF;S", "STOP"}));
    auto plain = render(barcodeLabel(c, ""));
    ASSERT_EQ(below.labels.size(), 1u);
    ASSERT_EQ(above.labels.size(), 1u);
    // 183 dots: guard 20, bars 123, text 20, guard 20.
    const auto& pic = below.labels[0].picture;
    const auto bars = inkBox(pic, 0, 100, 1000, 100 + 20 + 123);
    EXPECT_EQ(bars.top, 120);
    EXPECT_EQ(bars.bottom, 100 + 20 + 122);
    const auto text = inkBox(pic, 0, 100 + 143, 1000, 100 + 163);
    EXPECT_FALSE(text.empty());
    EXPECT_GT(text.height(), 8);
    EXPECT_TRUE(inkBox(pic, 0, 100 + 163, 1000, 400).empty());
    // Above: the text band comes first, under the upper guard band.
    EXPECT_FALSE(inkBox(above.labels[0].picture, 0, 120, 1000, 140).empty());
    EXPECT_EQ(inkBox(above.labels[0].picture, 0, 141, 1000, 400).bottom, 100 + 162);
    // PDF;S: no text, and the bars keep their full height.
    EXPECT_EQ(hidden.labels[0].picture, plain.labels[0].picture);
    EXPECT_EQ(decode(pic).at(0), "TEXT-42");
    EXPECT_NE(below.labels[0].picture, plain.labels[0].picture);
}

TEST(BarcodeDecode, Code128ShiftOutSwitchesLeaveTheDataAlone) {
    // SO & is CODE B, SO ' CODE C: the symbol reads without them.
    const Case so{"C128B", "\x0e&CTN\x0e'004418", "CTN004418"};
    auto out = render(barcodeLabel(so, ""));
    EXPECT_EQ(decode(out.labels.at(0).picture).at(0), "CTN004418");
    EXPECT_TRUE(out.notes.empty());
    const Case c{"C128C", "\x0e'0412345678", "0412345678"};
    out = render(barcodeLabel(c, ""));
    EXPECT_EQ(decode(out.labels.at(0).picture).at(0), "0412345678");
    const Case other{"C128B", "AB\x0e*CD", "ABCD"};
    out = render(barcodeLabel(other, ""));
    EXPECT_EQ(decode(out.labels.at(0).picture).at(0), "ABCD");
    EXPECT_TRUE(out.noted("control SO * dropped"));
}

TEST(BarcodeDecode, QrOptionsChangeTheSymbolAndUselessOptionsAreNoted) {
    const Case c{"QRCODE", "options 0123456789 0123456789 0123456789", ""};
    const auto low = render(barcodeLabel(c, "", "E0;"));
    const auto high = render(barcodeLabel(c, "", "E3;"));
    ASSERT_EQ(low.labels.size(), 1u);
    EXPECT_LT(inkBox(low.labels[0].picture).width(), inkBox(high.labels[0].picture).width());
    EXPECT_EQ(decode(high.labels[0].picture).at(0), c.data);
    const auto masked = render(barcodeLabel(c, "", "M3;"));
    EXPECT_NE(masked.labels[0].picture, render(barcodeLabel(c, "", "M5;")).labels[0].picture);
    const auto noted = render(barcodeLabel(c, "", "H5;Y3;"));
    EXPECT_TRUE(noted.noted("option H5 has no use for QRCODE"));
    EXPECT_TRUE(noted.noted("option Y3 has no use for QRCODE"));
    EXPECT_EQ(decode(noted.labels[0].picture).at(0), c.data);
}

TEST(BarcodeDecode, DataTheSymbologyRefusesIsNotedAndDrawsNothing) {
    const Case bad{"EAN13", "59012341234X", ""};
    const auto out = render(barcodeLabel(bad, ""));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.noted("barcode EAN13"));
    EXPECT_EQ(out.labels[0].picture.inkCount(), 0);
    // A given check digit is recomputed: a wrong one is noted, the right one printed.
    const Case wrongCheck{"EAN13", "5901234123458", ""};
    const auto fixed = render(barcodeLabel(wrongCheck, ""));
    EXPECT_TRUE(fixed.noted("check digit 8 is wrong; 7 printed"));
    EXPECT_EQ(decode(fixed.labels.at(0).picture).at(0), "5901234123457");
}

TEST(BarcodeDecode, MaxiCodeModeFromTOrM) {
    const Case c{"MAXICODE", "MODE TEST 12345", "MODE TEST 12345"};
    const auto mode4 = render(barcodeLabel(c, ""));
    const auto mode5t = render(barcodeLabel(c, "", "T5;"));
    const auto mode5m = render(barcodeLabel(c, "", "M5;"));
    EXPECT_TRUE(mode5t.notes.empty());
    EXPECT_EQ(mode5t.labels.at(0).picture, mode5m.labels.at(0).picture);
    EXPECT_NE(mode5t.labels.at(0).picture, mode4.labels.at(0).picture);
    EXPECT_EQ(decode(mode5t.labels[0].picture).at(0), c.data);
}

TEST(BarcodeDecode, Pdf417ShapeFollowsRowsColumnsHeightWidthOrAspect) {
    const Case c{"PDF417", "PDF417 shape 0123456789 ABCDEFGHIJ 0123456789 abcdefghij", ""};
    auto shape = [&](const char* options) {
        const auto out = render(barcodeLabel(c, "", options));
        EXPECT_EQ(decode(out.labels.at(0).picture).at(0), c.data) << options;
        return inkBox(out.labels[0].picture);
    };
    // C4: 17 modules per column plus 69 of start, stop and row indicators,
    // 1/60 inch each (3 dots). R10: ten rows of 2/72 inch (6 dots).
    EXPECT_EQ(shape("C4;").width(), (17 * 4 + 69) * 3);
    EXPECT_EQ(shape("R10;").height(), 10 * 6);
    EXPECT_EQ(shape("YD4;R10;").height(), 10 * 4);
    // H5 and W20 (tenths of an inch): the largest shape within them.
    const auto low = shape("H5;"), narrow = shape("W20;");
    EXPECT_LE(low.height(), 102);
    EXPECT_GT(low.height(), 102 - 40);
    EXPECT_LE(narrow.width(), 406);
    EXPECT_GT(narrow.width(), 406 - 17 * 3);
    // Without them the height:width ratio follows ASPECT, 1:2 by default.
    auto ratio = [](const qovtest::Box& b) { return static_cast<double>(b.height()) / b.width(); };
    const double plain = ratio(shape("")), square = ratio(shape("ASPECT1:1;")), flat = ratio(shape("ASPECT1:4;"));
    EXPECT_NEAR(plain, 0.5, 0.2);
    EXPECT_NEAR(square, 1.0, 0.35);
    EXPECT_LT(flat, plain);
    EXPECT_LT(plain, square);
}

TEST(BarcodeDecode, UpcEanGuardBarsDescendIntoTheDigitsUnlessConfiguredOff) {
    const std::string bars = form("U", {"SCALE;DOT;203;203", "BARCODE", "EAN13;100;100", "*590123412345*", "STOP"});
    const auto with = render("~PAPER;SIZE 4000,4000\r\n" + bars);
    const auto without = render("~PAPER;SIZE 4000,4000\r\n~CONFIG\r\nUPC DESCENDERS;0\r\nEND\r\n" + bars);
    ASSERT_EQ(with.labels.size(), 1u);
    ASSERT_EQ(without.labels.size(), 1u);
    // H13 by default: 264 dots, guard 20 + bars 204 + digits 20 + guard 20.
    // The start guard (modules 0 and 2, 3 dots each) reaches 0.05 inch (10
    // dots) into the digits' band; the module between stays white.
    const int barsEnd = 100 + 20 + 204;
    const auto& w = with.labels[0].picture;
    const auto& o = without.labels[0].picture;
    for (int y = barsEnd; y < barsEnd + 10; ++y) {
        EXPECT_TRUE(w.get(101, y)) << y;
        EXPECT_FALSE(w.get(104, y)) << y;
        EXPECT_TRUE(w.get(107, y)) << y;
        EXPECT_FALSE(o.get(101, y)) << y;
    }
    EXPECT_FALSE(w.get(101, barsEnd + 10));
    EXPECT_TRUE(o.get(101, barsEnd - 1));
    EXPECT_EQ(decode(w).at(0), "5901234123457");
    EXPECT_EQ(decode(o).at(0), "5901234123457");
}
