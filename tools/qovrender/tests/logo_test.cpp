// Logos: row definitions one dot per printer dot, PCX downloads (1, 8 and
// 24 bits) and TIFF files framed by ~RASTEREND, placement by the LOGO element, and caps.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "logo_decode.h"
#include "test_support.h"

using qovtest::form;
using qovtest::inkBox;
using qovtest::render;

namespace {

// A PCX file with run-length lines; `dark(x, y)` chooses the dots.
template <typename Dark>
std::string pcx(int w, int h, int bits, int planes, Dark dark) {
    std::string f(128, '\0');
    f[0] = 0x0A;
    f[1] = 5;
    f[2] = 1;
    f[3] = static_cast<char>(bits);
    f[8] = static_cast<char>((w - 1) & 0xFF);
    f[9] = static_cast<char>((w - 1) >> 8);
    f[10] = static_cast<char>((h - 1) & 0xFF);
    f[11] = static_cast<char>((h - 1) >> 8);
    // Header palette: entry 0 black, entry 1 white.
    f[19] = f[20] = f[21] = static_cast<char>(0xFF);
    f[65] = static_cast<char>(planes);
    const int bpl = bits == 1 ? ((w + 15) / 16) * 2 : w + (w & 1);
    f[66] = static_cast<char>(bpl & 0xFF);
    f[67] = static_cast<char>(bpl >> 8);
    for (int y = 0; y < h; ++y) {
        std::string line;
        for (int p = 0; p < planes; ++p) {
            std::string plane(static_cast<std::size_t>(bpl), bits == 1 ? '\xFF' : '\0');
            for (int x = 0; x < w; ++x) {
                if (bits == 1) {
                    if (dark(x, y)) plane[static_cast<std::size_t>(x / 8)] &= static_cast<char>(~(0x80 >> (x % 8)));
                } else {
                    plane[static_cast<std::size_t>(x)] = static_cast<char>(dark(x, y) ? 0x20 : 0xE0);
                }
            }
            line += plane;
        }
        for (std::size_t i = 0; i < line.size();) {
            std::size_t n = 1;
            while (i + n < line.size() && line[i + n] == line[i] && n < 63) ++n;
            if (n > 1 || (static_cast<unsigned char>(line[i]) & 0xC0) == 0xC0) f += static_cast<char>(0xC0 | n);
            f += line[i];
            i += n;
        }
    }
    if (bits == 8 && planes == 1) {
        f += '\x0C';
        for (int i = 0; i < 256; ++i) f += std::string(3, static_cast<char>(i));
    }
    return f;
}

bool checker(int x, int y) { return ((x / 4) + (y / 4)) % 2 == 0; }

// A 37 x 21 checker picture stored as logo PIC by `download` (its first
// line and file), drawn at 20,10 and read back dot for dot; the input is
// sent in pieces of `chunk` bytes.
void expectCheckerLogo(const std::string& download, std::size_t chunk) {
    const auto out = render(download + "~RASTEREND\r\nEND\r\n" +
                                form("P", {"SCALE;DOT;203;203", "LOGO", "10;20;PIC", "STOP"}),
                            203, chunk);
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.notes.empty()) << out.notes[0].text;
    const auto& r = out.labels[0].picture;
    long long expected = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) {
            expected += checker(x, y) ? 1 : 0;
            ASSERT_EQ(r.get(20 + x, 10 + y), checker(x, y)) << x << "," << y;
        }
    EXPECT_EQ(r.inkCount(), expected);
}

}  // namespace

TEST(Logo, RowDefinitionDrawsOneDotPerPrinterDot) {
    // The definition of a picture whose rows 1 and 3 have dots (LF line ends, as the library sends it).
    const std::string input = "~LOGO;MARK;3;16;\n1;9-12\n3;1;16\nEND\r\n" +
                              form("L", {"SCALE;DOT;203;203", "LOGO", "50;60;MARK", "STOP"});
    const auto out = render(input);
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.notes.empty());
    const auto& r = out.labels[0].picture;
    EXPECT_EQ(r.inkCount(), 6);
    for (int x = 68; x <= 71; ++x) EXPECT_TRUE(r.get(x, 50));
    EXPECT_TRUE(r.get(60, 52));
    EXPECT_TRUE(r.get(75, 52));
    EXPECT_NE(out.labels[0].summary.find("logo MARK"), std::string::npos);
}

TEST(Logo, UnknownLogoIsNotedAndDrawsNothing) {
    const auto out = render(form("L", {"LOGO", "1;1;NOPE", "STOP"}));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.noted("logo NOPE is not stored"));
    EXPECT_EQ(out.labels[0].picture.inkCount(), 0);
}

TEST(Logo, PcxDownloadsOfEveryDepthDecodeToTheSameDots) {
    for (auto depth : {std::make_pair(1, 1), std::make_pair(8, 1), std::make_pair(8, 3)}) {
        SCOPED_TRACE(depth.first * depth.second);
        // Framed as the library frames a download, sent in small chunks.
        ASSERT_NO_FATAL_FAILURE(
            expectCheckerLogo("~LOGO;PIC;PCX;DISK\r\n" + pcx(37, 21, depth.first, depth.second, checker), 7));
    }
}

TEST(Logo, ImageBytesThatLookLikeLineEndsOrTheMarkerPrefixStayImageData) {
    // A picture whose data holds CR, LF, '~' and "~RASTER" before the real end.
    std::string body = pcx(16, 2, 8, 1, [](int x, int) { return x < 8; });
    const std::string tricky = "~RASTE\r\n~~RASTEREN\n";
    body.replace(body.size() - 768 + 3 * 100, tricky.size(), tricky);  // palette entries no dot uses
    const auto ok = render("~LOGO;X;PCX;DISK\r\n" + body + "~RASTEREND\r\nEND\r\n" +
                           form("P", {"SCALE;DOT;203;203", "LOGO", "0;0;X", "STOP"}), 203, 1);
    ASSERT_EQ(ok.labels.size(), 1u);
    EXPECT_EQ(ok.labels[0].picture.inkCount(), 16);
    // Garbage that is no PCX: noted, the logo is not stored, nothing crashes.
    const auto bad = render("~LOGO;Y;PCX;DISK\r\n\n\r~RASTE~~RASTEREND\r\nEND\r\n" + form("P", {"LOGO", "0;0;Y", "STOP"}));
    EXPECT_TRUE(bad.noted("not a PCX file"));
    EXPECT_TRUE(bad.noted("logo Y is not stored"));
}

TEST(Logo, SizesAndCountsAreCapped) {
    std::string err;
    qovrender::Raster r;
    qovrender::ModelMetrics m;
    std::string note;
    EXPECT_FALSE(qovrender::decodeLogoRows(40000, 8000, "1;1\n", m, r, note));
    EXPECT_NE(note.find("out of range"), std::string::npos);
    EXPECT_TRUE(qovrender::decodeLogoRows(2, 2, "1;1-9\n7;1\nxx\n", m, r, note));
    EXPECT_EQ(r.inkCount(), 2);
    EXPECT_NE(note.find("outside"), std::string::npos);
    EXPECT_NE(note.find("malformed"), std::string::npos);
    // A PCX that claims more rows than its data holds: the rest stays blank.
    std::string cut = pcx(8, 8, 1, 1, [](int, int) { return true; });
    cut.resize(cut.size() - 3);
    EXPECT_TRUE(qovrender::decodePcx(cut, m, r, err));
    EXPECT_NE(err.find("ends early"), std::string::npos);
    EXPECT_GT(r.inkCount(), 0);
    // Past the number of stored logos, new names are refused.
    m.maxLogos = 2;
    qovrender::RenderOptions options;
    options.metrics = m;
    const auto out = render("~LOGO;A;1;1\n1;1\nEND\n~LOGO;B;1;1\n1;1\nEND\n~LOGO;C;1;1\n1;1\nEND\n~LOGO;A;1;2\n1;2\nEND\n",
                            203, 0, options);
    EXPECT_TRUE(out.noted("logo C refused"));
    EXPECT_FALSE(out.noted("logo A refused"));  // replacing a stored name is fine
}

namespace {

// A 1-bit TIFF written by libtiff into memory, by way of a temporary file.
std::string tiffFile(int w, int h, uint16_t compression, uint16_t photometric, uint16_t bits = 1) {
    char path[] = "/tmp/qovrender-tiff-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return std::string();
    close(fd);
    TIFF* t = TIFFOpen(path, "w");
    if (!t) return std::string();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
    std::vector<unsigned char> line(static_cast<std::size_t>((w * bits + 7) / 8));
    for (int y = 0; y < h; ++y) {
        std::fill(line.begin(), line.end(), 0);
        for (int x = 0; x < w; ++x) {
            const bool ink = checker(x, y);
            const bool one = photometric == PHOTOMETRIC_MINISWHITE ? ink : !ink;
            if (bits == 1 && one) line[static_cast<std::size_t>(x / 8)] |= static_cast<unsigned char>(0x80 >> (x % 8));
            if (bits == 8) line[static_cast<std::size_t>(x)] = one ? 0xFF : 0;
        }
        TIFFWriteScanline(t, line.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(t);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::remove(path);
    return s.str();
}

}  // namespace

TEST(Logo, TiffDownloadsUncompressedOrPackBitsDrawTheirDots) {
    for (uint16_t c : {COMPRESSION_NONE, COMPRESSION_PACKBITS}) {
        for (uint16_t p : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
            SCOPED_TRACE(std::to_string(c) + "/" + std::to_string(p));
            const std::string file = tiffFile(37, 21, c, p);
            ASSERT_FALSE(file.empty());
            ASSERT_NO_FATAL_FAILURE(expectCheckerLogo("~LOGO;PIC;TIFF\r\n" + file, 5));
        }
    }
}

TEST(Logo, TiffThatIsNotBlackAndWhiteOrTooLargeOrBrokenIsNotedAndNotDrawn) {
    qovrender::ModelMetrics m;
    qovrender::Raster r;
    std::string err;
    EXPECT_FALSE(qovrender::decodeTiff(tiffFile(8, 8, COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK, 8), m, r, err));
    EXPECT_NE(err.find("black and white only"), std::string::npos) << err;
    EXPECT_FALSE(qovrender::decodeTiff(tiffFile(8, 8, COMPRESSION_LZW, PHOTOMETRIC_MINISWHITE), m, r, err));
    EXPECT_NE(err.find("compression 5"), std::string::npos) << err;
    m.maxLogoDots = 36 * 21;
    EXPECT_FALSE(qovrender::decodeTiff(tiffFile(37, 21, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE), m, r, err));
    EXPECT_NE(err.find("37 x 21 out of range"), std::string::npos) << err;
    // Cut short (libtiff writes the directory after the strips): refused.
    std::string cut = tiffFile(37, 21, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE);
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(qovrender::decodeTiff(cut, qovrender::ModelMetrics(), r, err));
    EXPECT_NE(err.find("TIFF file not readable"), std::string::npos) << err;
    // Not a TIFF at all, through the whole renderer: noted, nothing stored.
    const auto out = render(std::string("~LOGO;T;TIFF\r\nII*\0garbage~RASTEREND\r\nEND\r\n", 42) + form("P", {"LOGO", "0;0;T", "STOP"}));
    EXPECT_TRUE(out.noted("logo T: TIFF file not readable"));
    EXPECT_TRUE(out.noted("logo T is not stored"));
}
