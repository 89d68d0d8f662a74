// Logo conversion: the definition text built from a packed one-bit picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "formatters/logo_conversion.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string convert(const Bytes& picture, const char* name, int height, int width) {
    return qov::convertLogo(picture.data(), name, height, width);
}

// The conversion pixel by pixel, as the printer's logo format defines it:
// every bit of every row byte in turn, while the pixel is inside the width.
std::string perPixelLogo(const unsigned char* picture, const std::string& name, int height,
                         int width) {
    std::string out = "~LOGO;" + name + ";" + std::to_string(height) + ";" +
                      std::to_string(width) + ";";
    const int rowBytes = (width + 4) / 8;
    for (int r = 0; r < height && rowBytes > 0; ++r) {
        std::string rowText;
        bool open = false;
        int first = 0;
        for (int k = 0; k < rowBytes; ++k) {
            const unsigned char byte = picture[r * rowBytes + k];
            for (int bit = 7; bit >= 0; --bit) {
                const int x = 8 * k + (7 - bit);
                if (x >= width) break;
                const bool dot = ((byte >> bit) & 1) == 0;
                if (dot) {
                    if (!open) {
                        open = true;
                        first = x + 1;
                    }
                    if (x == width - 1) {
                        rowText += ";" + std::to_string(first);
                        if (first != x + 1) rowText += "-" + std::to_string(x + 1);
                        open = false;
                    }
                } else if (open) {
                    rowText += ";" + std::to_string(first);
                    if (first != x) rowText += "-" + std::to_string(x);
                    open = false;
                }
            }
        }
        if (!rowText.empty()) out += "\n" + std::to_string(r + 1) + rowText;
    }
    return out + "\nEND";
}

TEST(FormattersLogo, TwoRowsOfSixteenPixels) {
    EXPECT_EQ(convert({0xFF, 0x0F, 0x7F, 0xFF}, "A", 2, 16), "~LOGO;A;2;16;\n1;9-12\n2;1\nEND");
}

TEST(FormattersLogo, RunsReachingTheRightEdgeEndAtTheWidth) {
    EXPECT_EQ(convert({0xF0}, "E", 1, 8), "~LOGO;E;1;8;\n1;5-8\nEND");
    EXPECT_EQ(convert({0xFE}, "E", 1, 8), "~LOGO;E;1;8;\n1;8\nEND");
    // A whole row of dots across several words is one run.
    EXPECT_EQ(convert(Bytes(100, 0x00), "S", 1, 800), "~LOGO;S;1;800;\n1;1-800\nEND");
}

TEST(FormattersLogo, BlankPicturesAndEmptySizesGiveOnlyHeaderAndEnd) {
    EXPECT_EQ(convert(Bytes(3 * 64, 0xFF), "B", 3, 512), "~LOGO;B;3;512;\nEND");
    const Bytes dots(64, 0x00);
    EXPECT_EQ(convert(dots, "Z", 0, 16), "~LOGO;Z;0;16;\nEND");
    EXPECT_EQ(convert(dots, "Z", -2, 16), "~LOGO;Z;-2;16;\nEND");
    // Widths below 4 leave no byte per row.
    EXPECT_EQ(convert(dots, "Z", 4, 3), "~LOGO;Z;4;3;\nEND");
    EXPECT_EQ(convert(dots, "Z", 4, -12), "~LOGO;Z;4;-12;\nEND");
    // Width 4 already has one byte per row; its low four bits are ignored.
    EXPECT_EQ(convert({0x0F}, "Z", 1, 4), "~LOGO;Z;1;4;\n1;1-4\nEND");
}

TEST(FormattersLogo, WidthTenReadsOneBytePerRowAndDropsTheOpenRun) {
    // Two rows of one byte each: the second byte is row 2, not pixels 9-16.
    EXPECT_EQ(convert({0xFF, 0x7F}, "T", 2, 10), "~LOGO;T;2;10;\n2;1\nEND");
    // Dots up to pixel 8 leave a run open when the byte ends: it is dropped,
    // and a row whose only run is dropped has no line at all.
    EXPECT_EQ(convert({0x0F, 0x00}, "T", 2, 10), "~LOGO;T;2;10;\n1;1-4\nEND");
    // The same for 8k+2 and 8k+3.
    EXPECT_EQ(convert({0x3F, 0xFE}, "T", 1, 19), "~LOGO;T;1;19;\n1;1-2\nEND");
    EXPECT_EQ(convert({0xFF, 0xFF, 0xF0}, "T", 1, 25), "~LOGO;T;1;25;\nEND");
}

TEST(FormattersLogo, WidthTwelveIgnoresTheLowBitsOfTheSecondByte) {
    EXPECT_EQ(convert({0xFF, 0xF0}, "W", 1, 12), "~LOGO;W;1;12;\nEND");
    EXPECT_EQ(convert({0xFF, 0x00}, "W", 1, 12), "~LOGO;W;1;12;\n1;9-12\nEND");
    EXPECT_EQ(convert({0xFF, 0xB7}, "W", 1, 12), "~LOGO;W;1;12;\n1;10\nEND");
}

TEST(FormattersLogo, RowNumbersSkipBlankRowsAndRunsAreListedLeftToRight) {
    Bytes picture(4 * 2, 0xFF);
    picture[2 * 2 + 0] = 0x5A;  // 0101 1010: dots at 1, 3, 6, 8
    picture[2 * 2 + 1] = 0x3C;  // 0011 1100: dots 9-10 join 8, then 15-16
    EXPECT_EQ(convert(picture, "R", 4, 16), "~LOGO;R;4;16;\n3;1;3;6;8-10;15-16\nEND");
}

TEST(FormattersLogo, RunsAcrossWordBoundariesAtAnyOffset) {
    // Three rows of 24 bytes; a run from pixel 61 to pixel 130 crosses the
    // first word and ends inside the third.
    const int width = 192;
    Bytes picture(3 * 24, 0xFF);
    for (int x = 60; x <= 129; ++x) picture[24 + x / 8] &= static_cast<unsigned char>(~(0x80 >> (x % 8)));
    EXPECT_EQ(convert(picture, "X", 3, width), "~LOGO;X;3;192;\n2;61-130\nEND");
}

TEST(FormattersLogo, ColumnsOfVeryWidePictures) {
    // Columns past 65,536 are written as exactly as the smaller ones.
    const int width = 70000;
    Bytes picture(qov::logoRowBytes(width), 0xFF);
    for (int x : {0, 65534, 65535, 65536, 65537, 69999}) {
        picture[x / 8] &= static_cast<unsigned char>(~(0x80 >> (x % 8)));
    }
    EXPECT_EQ(convert(picture, "V", 1, width), "~LOGO;V;1;70000;\n1;1;65535-65538;70000\nEND");
}

TEST(FormattersLogo, NameIsCopiedUnchanged) {
    EXPECT_EQ(convert({0x7F}, "a;b c~", 1, 8), "~LOGO;a;b c~;1;8;\n1;1\nEND");
    EXPECT_EQ(qov::convertLogo(Bytes{0x7F}.data(), nullptr, 1, 8), "~LOGO;;1;8;\n1;1\nEND");
}

TEST(FormattersLogo, RowBytesRoundTowardZero) {
    EXPECT_EQ(qov::logoRowBytes(3), 0u);
    EXPECT_EQ(qov::logoRowBytes(4), 1u);
    EXPECT_EQ(qov::logoRowBytes(11), 1u);
    EXPECT_EQ(qov::logoRowBytes(12), 2u);
    EXPECT_EQ(qov::logoRowBytes(-100), 0u);
    EXPECT_EQ(qov::logoRowBytes(2147483647), 268435456u);
}

// The word-skipping converter against the per-pixel one, on random pictures
// of every width up to 200 and around larger multiples of eight, at densities
// from nearly blank to nearly solid.
TEST(FormattersLogo, MatchesThePerPixelConversionOnRandomPictures) {
    std::mt19937 rng(20240611);
    std::vector<int> widths;
    for (int w = 1; w <= 200; ++w) widths.push_back(w);
    for (int k : {31, 64, 127, 500}) {
        for (int d = -1; d <= 4; ++d) widths.push_back(8 * k + d);
    }
    const double blankShares[] = {0.5, 0.9, 0.99, 0.1};
    int compared = 0;
    for (int width : widths) {
        for (double blankShare : blankShares) {
            const int height = 1 + static_cast<int>(rng() % 9);
            const std::size_t size = qov::logoRowBytes(width) * static_cast<std::size_t>(height);
            Bytes picture(size);
            std::bernoulli_distribution blank(blankShare);
            for (auto& byte : picture) {
                unsigned v = 0;
                for (int b = 0; b < 8; ++b) v = (v << 1) | (blank(rng) ? 1u : 0u);
                byte = static_cast<unsigned char>(v);
            }
            ASSERT_EQ(qov::convertLogo(picture.data(), "R", height, width),
                      perPixelLogo(picture.data(), "R", height, width))
                << "width " << width << " height " << height << " blank share " << blankShare;
            ++compared;
        }
    }
    EXPECT_EQ(compared, static_cast<int>(widths.size() * 4));
}

}  // namespace
