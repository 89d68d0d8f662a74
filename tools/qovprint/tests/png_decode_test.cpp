// PNG documents into 8-bit grey: every depth and colour type, transparency,
// and the limits checked from the header before the picture is read.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "png_decode.h"

using qovprint::GreyPicture;
using qovprint::ImageLimits;

namespace {

struct PngSpec {
    int width = 0, height = 0, colourType = PNG_COLOR_TYPE_GRAY, depth = 8;
    std::vector<std::vector<png_byte>> rows;  // packed as the PNG stores them
    std::vector<png_color> palette;
    int pixelsPerMetre = 0;
    bool headerOnly = false;  // the header, then an IDAT of bytes no decoder can read
    long cutTo = -1;          // the file is cut to this many bytes
};

PngSpec spec(int width, int height, int colourType, int depth, std::vector<std::vector<png_byte>> rows) {
    PngSpec s;
    s.width = width;
    s.height = height;
    s.colourType = colourType;
    s.depth = depth;
    s.rows = std::move(rows);
    return s;
}

std::string tempPath() {
    char name[] = "/tmp/qovprint-png-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0) ::close(fd);
    return name;
}

// Writes the PNG with libpng.
std::string writePng(const PngSpec& s) {
    const std::string path = tempPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        ADD_FAILURE() << "libpng could not write the test picture";
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return path;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (s.pixelsPerMetre) png_set_pHYs(png, info, s.pixelsPerMetre, s.pixelsPerMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (s.headerOnly) {
        static const png_byte junk[16] = {0xDE, 0xAD, 0xBE, 0xEF};
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), junk, sizeof junk);
    } else {
        for (int y = 0; y < s.height; ++y) png_write_row(png, s.rows[static_cast<std::size_t>(y) % s.rows.size()].data());
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (s.cutTo >= 0) {
        EXPECT_EQ(::truncate(path.c_str(), s.cutTo), 0);
    }
    return path;
}

GreyPicture decodeOk(const PngSpec& s, const ImageLimits& limits = {}, bool keepOneBit = false) {
    const std::string path = writePng(s);
    GreyPicture p;
    std::string error;
    EXPECT_TRUE(qovprint::decodePngGrey(path.c_str(), limits, &p, &error, keepOneBit)) << error;
    std::remove(path.c_str());
    return p;
}

std::string decodeError(const PngSpec& s, const ImageLimits& limits = {}) {
    const std::string path = writePng(s);
    GreyPicture p;
    std::string error;
    EXPECT_FALSE(qovprint::decodePngGrey(path.c_str(), limits, &p, &error));
    EXPECT_TRUE(p.pixels.empty());
    std::remove(path.c_str());
    return error;
}

}  // namespace

TEST(PngDecode, LowDepthGreyIsStretchedToTheFullRange) {
    PngSpec one = spec(10, 1, PNG_COLOR_TYPE_GRAY, 1, {{0b01010011, 0b11000000}});  // 0 is black, 1 white
    EXPECT_EQ(decodeOk(one).pixels,
              (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 0, 255, 255, 255, 255}));
    PngSpec two = spec(4, 1, PNG_COLOR_TYPE_GRAY, 2, {{0b00011011}});
    EXPECT_EQ(decodeOk(two).pixels, (std::vector<std::uint8_t>{0, 85, 170, 255}));
    PngSpec sixteen = spec(2, 1, PNG_COLOR_TYPE_GRAY, 16, {{0xFF, 0xFF, 0x80, 0x00}});
    EXPECT_EQ(decodeOk(sixteen).pixels, (std::vector<std::uint8_t>{255, 128}));
}

TEST(PngDecode, OneBitGreyCanKeepItsBitsAndExpandsToTheSameBytes) {
    PngSpec one = spec(10, 2, PNG_COLOR_TYPE_GRAY, 1, {{0b01010011, 0b11000000}, {0xFF, 0x00}});
    GreyPicture bits = decodeOk(one, {}, true);
    EXPECT_EQ(bits.bitsPerDot, 1);
    EXPECT_EQ(bits.pixels.size(), 4u);  // 2 bytes a row
    EXPECT_EQ(bits.pixels[0], 0b01010011);
    EXPECT_EQ(bits.pixels[2], 0xFF);
    qovprint::expandBits(&bits);
    const GreyPicture bytes = decodeOk(one);
    EXPECT_EQ(bytes.bitsPerDot, 8);
    EXPECT_EQ(bits.bitsPerDot, 8);
    EXPECT_EQ(bits.pixels, bytes.pixels);
    // Only one-bit grey keeps its bits: two bits a dot are stretched as ever.
    PngSpec two = spec(4, 1, PNG_COLOR_TYPE_GRAY, 2, {{0b00011011}});
    EXPECT_EQ(decodeOk(two, {}, true).bitsPerDot, 8);
}

TEST(PngDecode, ColourAndPaletteBecomeGreyAndTransparencyIsWhitePaper) {
    PngSpec rgba = spec(4, 1, PNG_COLOR_TYPE_RGBA, 8, {{0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 128, 255, 255, 255, 255}});
    EXPECT_EQ(decodeOk(rgba).pixels, (std::vector<std::uint8_t>{255, 0, 127, 255}));
    PngSpec palette = spec(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{1, 0, 1}});
    palette.palette = {{255, 255, 255}, {0, 0, 0}};
    EXPECT_EQ(decodeOk(palette).pixels, (std::vector<std::uint8_t>{0, 255, 0}));
}

TEST(PngDecode, ResolutionComesFromTheFile) {
    PngSpec s = spec(1, 1, PNG_COLOR_TYPE_GRAY, 8, {{0}});
    EXPECT_EQ(decodeOk(s).ppi, 0);
    s.pixelsPerMetre = 7992;  // 203 dpi
    const GreyPicture p = decodeOk(s);
    EXPECT_EQ(p.ppi, 203);
    EXPECT_EQ(p.width, 1);
    EXPECT_EQ(p.height, 1);
}

TEST(PngDecode, LimitsCountSidesAndDecodedBytesAlphaIncluded) {
    const ImageLimits small{100, 4096};
    PngSpec square = spec(64, 64, PNG_COLOR_TYPE_GRAY, 8, {std::vector<png_byte>(64, 9)});
    EXPECT_EQ(decodeOk(square, small).pixels.size(), 4096u);
    PngSpec tall = spec(64, 65, PNG_COLOR_TYPE_GRAY, 8, {std::vector<png_byte>(64, 9)});
    EXPECT_EQ(decodeError(tall, small), "a picture of 64 x 65 pixels needs 4160 bytes, more than 4 KiB");
    PngSpec wide = spec(101, 1, PNG_COLOR_TYPE_GRAY, 8, {std::vector<png_byte>(101, 9)});
    EXPECT_EQ(decodeError(wide, small), "a picture of 101 x 1 pixels is larger than 100 pixels a side");
    // 64 x 40 with alpha is 5,120 bytes decoded.
    PngSpec alpha = spec(64, 40, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {std::vector<png_byte>(128, 200)});
    EXPECT_EQ(decodeError(alpha, small), "a picture of 64 x 40 pixels needs 5120 bytes, more than 4 KiB");
}

TEST(PngDecode, AHugePictureIsRefusedFromItsHeaderAlone) {
    // No picture data follows the header: had the decoder gone on reading,
    // libpng's error about the data would be the message instead.
    PngSpec huge = spec(20000, 20000, PNG_COLOR_TYPE_GRAY, 1, {std::vector<png_byte>(2500, 0xFF)});
    huge.headerOnly = true;
    EXPECT_EQ(decodeError(huge), "a picture of 20000 x 20000 pixels is larger than 16384 pixels a side");
    PngSpec big = spec(16384, 8193, PNG_COLOR_TYPE_GRAY, 8, {std::vector<png_byte>(16384, 0xFF)});
    big.headerOnly = true;
    EXPECT_EQ(decodeError(big), "a picture of 16384 x 8193 pixels needs 134234112 bytes, more than 128 MiB");
}

TEST(PngDecode, CutOrForeignFilesFailWithLibpngsReason) {
    PngSpec cut = spec(100, 100, PNG_COLOR_TYPE_GRAY, 8, {std::vector<png_byte>(100, 7)});
    cut.cutTo = 50;  // signature, header and 9 bytes of the picture data
    EXPECT_EQ(decodeError(cut).rfind("unreadable PNG: ", 0), 0u);
    const std::string path = tempPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("~NORMAL\r\n", f);
    std::fclose(f);
    GreyPicture p;
    std::string error;
    EXPECT_FALSE(qovprint::decodePngGrey(path.c_str(), {}, &p, &error));
    EXPECT_EQ(error.rfind("unreadable PNG: ", 0), 0u) << error;
    std::remove(path.c_str());
    EXPECT_FALSE(qovprint::decodePngGrey("/nonexistent/x.png", {}, &p, &error));
    EXPECT_EQ(error, "cannot open the document");
}

// Row by row: the header first, each row as decodePngGrey gives it, and a
// file cut in its picture data fails at the row it cannot give, for good.
TEST(PngRows, RowsInOrderAsTheWholeDecodeAndACutFileFailsWhereItEnds) {
    std::vector<std::vector<png_byte>> rows(200, std::vector<png_byte>(300));
    unsigned seed = 12345;  // noise: the picture data does not compress, so a cut lands mid-picture
    for (auto& r : rows)
        for (auto& b : r) b = static_cast<png_byte>((seed = seed * 1103515245u + 12345u) >> 24);
    PngSpec s = spec(300, 200, PNG_COLOR_TYPE_GRAY, 8, rows);
    s.pixelsPerMetre = 7992;  // 203 dpi
    const GreyPicture whole = decodeOk(s);
    const std::string path = writePng(s);
    qovprint::PngRows png;
    std::string error;
    ASSERT_TRUE(png.open(path.c_str(), {}, &error)) << error;
    EXPECT_EQ(png.picture().width, 300);
    EXPECT_EQ(png.picture().height, 200);
    EXPECT_EQ(png.picture().ppi, 203);
    for (int y = 0; y < 200; ++y) {
        const std::uint8_t* row = png.row(y, &error);
        ASSERT_NE(row, nullptr) << y << ": " << error;
        ASSERT_EQ(std::vector<std::uint8_t>(row, row + 300),
                  std::vector<std::uint8_t>(whole.pixels.begin() + y * 300, whole.pixels.begin() + (y + 1) * 300))
            << y;
    }
    EXPECT_EQ(png.row(200, &error), nullptr);
    std::remove(path.c_str());

    s.cutTo = 30000;  // about half of the 60,000 bytes of picture
    const std::string cutPath = writePng(s);
    qovprint::PngRows cut;
    ASSERT_TRUE(cut.open(cutPath.c_str(), {}, &error)) << error;
    EXPECT_NE(cut.row(10, &error), nullptr) << error;
    EXPECT_EQ(cut.row(199, &error), nullptr);
    EXPECT_EQ(error.rfind("unreadable PNG: ", 0), 0u) << error;
    EXPECT_EQ(cut.row(0, &error), nullptr);  // the failure stays
    EXPECT_FALSE(cut.readAll(&error));
    std::remove(cutPath.c_str());
}
