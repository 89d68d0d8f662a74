// Golden pictures: whole labels covering every element and the three paper
// rotations, compared dot for dot with the PNG files under golden/. After a
// deliberate change of the model, QOVRENDER_UPDATE_GOLDEN=1 rewrites them
// (look at them before committing).
#include <gtest/gtest.h>

#include <cstdlib>

#include "png_io.h"
#include "test_support.h"

using qovtest::form;
using qovtest::render;

namespace {

const std::string kLogo = "~LOGO;STAR;9;9\n1;5\n2;4-6\n3;3-7\n4;1-9\n5;2-8\n6;3-7\n7;2-4;6-8\n8;1-2;8-9\n9;1;9\nEND\n";

std::vector<std::string> everyElement() {
    return {"SCALE;DOT;203;203",
            "BOX", "3;5;5;400;790", "STOP",
            "ALPHA", "50;20;2;2;*Every element*", "STOP",
            "ALPHA", "R;90;20;1;1;*REVERSE*", "STOP",
            "ALPHA", "POINT;130;20;14;10;*Point 14*", "STOP",
            "ALPHA", "E;C12;170;20;0;0;*Expanded, 12 cpi*", "STOP",
            "HORZ", "2;185;20;780", "STOP",
            "VERT", "2;400;195;390", "STOP",
            "DIAG", "1;200;20;390;380", "STOP",
            "BARCODE", "C128B;X1;H6;200;415", "*QOV-1*", "PDF", "STOP",
            "BARCODE", "QRCODE;CW;X2;200;725", "*https://example.invalid/q*", "STOP",
            "LOGO", "350;700;STAR", "STOP",
            "ALPHA", "CW;330;440;1;1;*CW*", "STOP",
            "ALPHA", "INV;340;580;1;1;*INV*", "STOP",
            "ALPHA", "CCW;395;640;1;1;*CCW*", "STOP"};
}

void compareWithGolden(const qovrender::Raster& picture, int dpi, const std::string& name) {
    const std::string path = std::string(QOVRENDER_GOLDEN_DIR) + "/" + name + ".png";
    std::vector<std::uint8_t> png;
    std::string error;
    ASSERT_TRUE(qovrender::encodePng(picture, dpi, png, error)) << error;
    const char* update = std::getenv("QOVRENDER_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        ASSERT_TRUE(qovrender::writeFile(path, png, error)) << error;
        return;
    }
    std::vector<std::uint8_t> golden;
    ASSERT_TRUE(qovrender::readFile(path, golden, error)) << error;
    qovrender::Raster expected;
    ASSERT_TRUE(qovrender::decodePng(golden, expected, error)) << error;
    // The PNG round trip itself must be exact.
    qovrender::Raster again;
    ASSERT_TRUE(qovrender::decodePng(png, again, error));
    ASSERT_EQ(again, picture);
    if (expected != picture) {
        qovrender::writeFile(name + ".actual.png", png, error);
        FAIL() << name << " differs from " << path << "; the picture is in " << name << ".actual.png";
    }
}

}  // namespace

TEST(Golden, EveryElementAt203And300Dpi) {
    for (int dpi : {203, 300}) {
        const auto out = render("~PAPER;SIZE 4000,2000\r\n" + kLogo + form("ALL", everyElement()), dpi);
        ASSERT_EQ(out.labels.size(), 1u);
        EXPECT_TRUE(out.notes.empty()) << out.notes[0].text;
        compareWithGolden(out.labels[0].picture, dpi, "every-element-" + std::to_string(dpi));
    }
}

TEST(Golden, PaperRotations) {
    const std::vector<std::string> small = {"SCALE;DOT;203;203", "BOX", "2;5;5;190;395", "STOP",
                                            "ALPHA", "60;20;2;2;*TOP LEFT*", "STOP",
                                            "BARCODE", "C3/9;H4;100;20", "*R90*", "PDF", "STOP"};
    for (int turn : {90, 180, 270}) {
        const auto out = render("~PAPER;SIZE 2000,2000\r\n~PAPER;ROTATE " + std::to_string(turn) + "\r\n" +
                                form("ROT", small));
        ASSERT_EQ(out.labels.size(), 1u);
        compareWithGolden(out.labels[0].picture, 203, "rotate-" + std::to_string(turn));
    }
}

TEST(Golden, TwoByteLabel) {
    const auto out = render("~PAPER;SIZE 3000,1000\r\n" +
                            form("CJK", {"SCALE;DOT;203;203", "FONT;SYMSET 'UTF8'", "TWOBYTE",
                                         "60;20;2;2;*中文 한국어 日本語*", "STOP", "ALPHA",
                                         "120;20;1;1;*Two-byte text, UTF-8*", "STOP"}));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.notes.empty());
    compareWithGolden(out.labels[0].picture, 203, "two-byte");
}
