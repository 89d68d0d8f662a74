// Text: cell sizes from the expansions, POINT, E and Cn; turning about the
// start of the baseline; reverse, bold and slant; two-byte sets drawn with
// real glyphs, not the missing-glyph box.
#include <gtest/gtest.h>

#include <iconv.h>

#include "test_support.h"
#include "text_codec.h"

using qovtest::form;
using qovtest::inkBox;
using qovtest::render;

namespace {

qovrender::Raster text(const std::string& element, int dpi = 203, const std::string& font = "") {
    std::vector<std::string> lines = {"SCALE;DOT;" + std::to_string(dpi) + ";" + std::to_string(dpi)};
    if (!font.empty()) lines.push_back(font);
    lines.insert(lines.end(), {"ALPHA", element, "STOP"});
    const auto out = render(form("T", lines), dpi);
    EXPECT_EQ(out.labels.size(), 1u);
    return out.labels.empty() ? qovrender::Raster() : out.labels[0].picture;
}

std::string convert(const std::string& utf8, const char* to) {
    iconv_t cd = iconv_open(to, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = utf8, out(64, '\0');
    char* src = &in[0];
    char* dst = &out[0];
    std::size_t left = in.size(), room = out.size();
    EXPECT_NE(iconv(cd, &src, &left, &dst, &room), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

}  // namespace

TEST(Text, ExpansionSetsCapitalHeightAndCellWidth) {
    for (int dpi : {203, 300}) {
        SCOPED_TRACE(dpi);
        // VE 2: capitals 0.2 inch tall on the baseline at row 200; HE 3: cells 0.3 inch wide.
        const auto r = text("200;100;2;3;*HHHH*", dpi);
        const auto box = inkBox(r);
        const int cellH = dpi == 203 ? 41 : 60, cellW = dpi == 203 ? 61 : 90;
        EXPECT_EQ(box.bottom, 199);
        EXPECT_NEAR(box.top, 200 - cellH, 1);
        EXPECT_GE(box.left, 100);
        EXPECT_LT(box.left, 100 + cellW / 3);
        EXPECT_GT(box.right, 100 + 3 * cellW + cellW / 2);
        EXPECT_LT(box.right, 100 + 4 * cellW);
    }
    // Expansion 0 is taken as 1: 0.1 inch.
    EXPECT_NEAR(inkBox(text("200;100;0;0;*H*")).height(), 20, 1);
}

TEST(Text, PointSizesExpandedHeightAndCharactersPerInch) {
    // POINT: a 36-point em (102 dots), 18 points wide; the capital is the
    // face's share of the em, not the whole em.
    auto box = inkBox(text("POINT;300;100;36;18;*H*"));
    EXPECT_GT(box.height(), 102 * 65 / 100);
    EXPECT_LT(box.height(), 102 * 80 / 100);
    EXPECT_EQ(box.bottom, 299);
    EXPECT_LT(box.width(), 51);
    // E doubles the height of standard text (VE and HE 0).
    box = inkBox(text("E;200;100;0;0;*H*"));
    EXPECT_NEAR(box.height(), 40, 1);
    // C5: five characters per inch, so the second character starts 41 dots on.
    const auto one = inkBox(text("C5;200;100;0;0;*I*"));
    const auto two = inkBox(text("C5;200;100;0;0;*II*"));
    EXPECT_NEAR(two.right - one.right, 41, 1);
}

TEST(Text, TurnsAboutTheStartOfItsBaseline) {
    const auto upright = inkBox(text("400;400;1;1;*HHH*"));
    EXPECT_EQ(upright.bottom, 399);
    EXPECT_GE(upright.left, 400);
    const auto cw = inkBox(text("CW;400;400;1;1;*HHH*"));
    EXPECT_EQ(cw.left, 400);               // their tops point right, away from the column
    EXPECT_GE(cw.top, 400);                // and run down from the row
    EXPECT_NEAR(cw.height(), upright.width(), 1);
    const auto inv = inkBox(text("INV;400;400;1;1;*HHH*"));
    EXPECT_EQ(inv.top, 400);               // upside down, under the row
    EXPECT_LE(inv.right, 399);             // running left
    const auto ccw = inkBox(text("CCW;400;400;1;1;*HHH*"));
    EXPECT_EQ(ccw.right, 399);             // tops pointing left
    EXPECT_LE(ccw.bottom, 399);            // running up
    EXPECT_NEAR(ccw.width(), upright.height(), 1);
}

TEST(Text, ReverseBoldAndSlant) {
    const auto plain = text("200;100;2;2;*HI*");
    const auto reverse = text("R;200;100;2;2;*HI*");
    const auto rbox = inkBox(reverse);
    EXPECT_EQ(rbox.left, 100);
    EXPECT_EQ(rbox.width(), 2 * 41);
    EXPECT_GT(rbox.height(), 41);
    EXPECT_FALSE(reverse.get(inkBox(plain).left + 1, 180));  // the H's stem is white
    EXPECT_GT(reverse.inkCount(), plain.inkCount());
    const auto bold = text("200;100;2;2;*HI*", 203, "FONT;BOLD ON");
    EXPECT_GT(bold.inkCount(), plain.inkCount() * 11 / 10);
    // A right slant leans the tops right, a left slant left.
    const auto right = inkBox(text("200;100;4;1;*I*", 203, "FONT;SLANT RIGHT"), 0, 110, 812, 130);
    const auto left = inkBox(text("200;100;4;1;*I*", 203, "FONT;SLANT LEFT"), 0, 110, 812, 130);
    const auto upright = inkBox(text("200;100;4;1;*I*"), 0, 110, 812, 130);
    EXPECT_GT(right.left, upright.left + 5);
    EXPECT_LT(left.left, upright.left - 5);
}

TEST(Text, FontNameUsesAnInstalledFileOrNotesTheDefault) {
    const auto out = render(form("F", {"FONT;NAME NoSuchFont;BOLD OFF", "ALPHA", "20;10;1;1;*A*", "STOP"}));
    EXPECT_TRUE(out.noted("NoSuchFont is not installed"));
    const auto named = render(form("F", {"FONT;NAME DejaVuSerif", "ALPHA", "20;10;1;1;*A*", "STOP"}));
    EXPECT_TRUE(named.notes.empty());
    EXPECT_NE(named.labels.at(0).picture, out.labels.at(0).picture);
}

TEST(Text, TwoByteSetsDrawTheirGlyphsNotMissingBoxes) {
    struct Set {
        const char* symset;
        const char* encoding;  // empty: the text stays UTF-8
        const char* text;
    } sets[] = {
        {"1100", "GB18030", "中文标签"}, {"1101", "BIG5", "臺灣標籤"}, {"1102", "CP949", "한국어표"},
        {"1103", "CP932", "日本語ラ"},   {"'UTF8'", "", "中文한국日本"},
    };
    // Characters no font has: each cell shows the missing-glyph box.
    const auto missing = render(form("M", {"SCALE;DOT;203;203", "TWOBYTE", "200;100;2;2;*\xF4\x8F\xBF\xBD*", "STOP"}));
    ASSERT_TRUE(missing.noted("have no glyph"));
    const auto notdef = inkBox(missing.labels.at(0).picture);
    for (const Set& s : sets) {
        SCOPED_TRACE(s.symset);
        const std::string bytes = *s.encoding ? convert(s.text, s.encoding) : std::string(s.text);
        if (*s.encoding) {
            std::u32string ignored;
            ASSERT_FALSE(qovrender::decodeUtf8(bytes, ignored));  // really the legacy bytes
        }
        const auto out = render(form("W", {"SCALE;DOT;203;203", std::string("FONT;SYMSET ") + s.symset, "TWOBYTE",
                                           "200;100;2;2;*" + bytes + "*", "STOP"}));
        ASSERT_EQ(out.labels.size(), 1u);
        EXPECT_FALSE(out.noted("no glyph"));
        const auto& pic = out.labels[0].picture;
        // Each character cell holds ink that is not the missing-glyph box.
        std::u32string chars;
        ASSERT_TRUE(qovrender::decodeUtf8(s.text, chars));
        for (std::size_t i = 0; i < chars.size(); ++i) {
            const int x0 = 100 + static_cast<int>(i) * 41;
            const auto cell = inkBox(pic, x0, 140, x0 + 41, 220);
            ASSERT_FALSE(cell.empty());
            bool differs = false;
            for (int y = 140; y < 220 && !differs; ++y)
                for (int x = 0; x < 41 && !differs; ++x)
                    differs = pic.get(x0 + x, y) != missing.labels[0].picture.get(100 + x, y);
            EXPECT_TRUE(differs) << "cell " << i;
        }
        EXPECT_LT(inkBox(pic).top, notdef.bottom);
    }
}

TEST(TextCodec, LegacyBytesDecodeBySymbolSetAndUtf8Wins) {
    EXPECT_EQ(qovrender::decodeText(convert("中文", "GB18030"), qovrender::Symset::Gb), U"中文");
    EXPECT_EQ(qovrender::decodeText(convert("日本", "CP932"), qovrender::Symset::Sjis), U"日本");
    EXPECT_EQ(qovrender::decodeText("\xC3\xA9", qovrender::Symset::Gb), U"\u00E9");  // valid UTF-8 first
    EXPECT_EQ(qovrender::decodeText("caf\xE9", qovrender::Symset::Ascii), U"caf\u00E9");  // Windows-1252
    // Cut or invalid sequences become U+FFFD, and decoding goes on.
    EXPECT_EQ(qovrender::decodeText(std::string("A\xD6", 2), qovrender::Symset::Gb), U"A\uFFFD");
    std::u32string out;
    EXPECT_FALSE(qovrender::decodeUtf8("\xED\xA0\x80", out));  // a surrogate
    EXPECT_FALSE(qovrender::decodeUtf8("\xC0\xAF", out));      // overlong
    EXPECT_FALSE(qovrender::decodeUtf8("\xE4\xB8", out));      // cut
}
