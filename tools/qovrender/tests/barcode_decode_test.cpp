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
            EXPECT_EQ(box.left, 100);
            EXPECT_EQ(box.top, 100);
        }
    }
}

TEST(BarcodeDecode, ModuleWidthAndBarHeightFollowXAndH) {
    const Case c{"C128B", "HEIGHT", "HEIGHT"};
    // Default: 0.9 inch at 203 dpi, narrow module 2 dots.
    auto out = render(barcodeLabel(c, ""));
    auto box = inkBox(out.labels[0].picture);
    EXPECT_EQ(box.height(), 183);
    const int defaultWidth = box.width();
    // H5.3: half an inch plus three dots; X4 doubles every module.
    out = render(barcodeLabel(c, "", "X4;H5.3;"));
    box = inkBox(out.labels[0].picture);
    EXPECT_EQ(box.height(), 102 + 3);
    EXPECT_EQ(box.width() + 4, 2 * (defaultWidth + 2));  // the last bar is one module wide
    // Scaled with the resolution: 3 dots at 300 dpi, 0.9 inch = 270 dots.
    out = render(barcodeLabel(c, ""), 300);
    box = inkBox(out.labels[0].picture);
    EXPECT_EQ(box.height(), 270);
    EXPECT_EQ(box.width(), (defaultWidth + 2) / 2 * 3 - 3);
}

TEST(BarcodeDecode, HumanReadableLineUnderOrAboveShortensTheBars) {
    const Case c{"C128B", "TEXT-42", "TEXT-42"};
    const std::string base = "~PAPER;SIZE 4000,4000\r\n";
    auto below = render(base + form("B", {"SCALE;DOT;203;203", "BARCODE", "C128B;100;100", "*TEXT-42*", "PDF", "STOP"}));
    auto above = render(base + form("B", {"SCALE;DOT;203;203", "BARCODE", "C128B;100;100", "*TEXT-42*", "PDF;A", "STOP"}));
    auto plain = render(barcodeLabel(c, ""));
    ASSERT_EQ(below.labels.size(), 1u);
    ASSERT_EQ(above.labels.size(), 1u);
    const auto& pic = below.labels[0].picture;
    const auto all = inkBox(pic);
    EXPECT_EQ(all.top, 100);
    EXPECT_LE(all.bottom, 100 + 183);
    // Bars lose 0.1 inch (20 dots); the text stands in that band.
    const auto bars = inkBox(pic, 0, 100, 1000, 100 + 163);
    EXPECT_EQ(bars.bottom, 100 + 162);
    const auto text = inkBox(pic, 0, 100 + 163, 1000, 100 + 183);
    EXPECT_FALSE(text.empty());
    EXPECT_GT(text.height(), 8);
    // Above: the band is on top, the bars below it.
    const auto top = inkBox(above.labels[0].picture, 0, 100, 1000, 120);
    EXPECT_FALSE(top.empty());
    EXPECT_TRUE(inkBox(above.labels[0].picture, 0, 100 + 163, 1000, 100 + 183).bottom >= 100 + 163);
    EXPECT_EQ(decode(pic).at(0), "TEXT-42");
    EXPECT_GT(below.labels[0].picture.inkCount(), 0);
    EXPECT_NE(below.labels[0].picture, plain.labels[0].picture);
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
    const Case wrongCheck{"EAN13", "5901234123458", ""};
    EXPECT_TRUE(render(barcodeLabel(wrongCheck, "")).noted("not drawn"));
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
