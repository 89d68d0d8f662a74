// The printer application's page path: a PWG raster stream (read with the
// CUPS raster reader, as the printer application's framework does), a PNG
// (decoded to grey lines) or lines given directly become a PagePicture,
// are cut into strips by planStrips and converted by the library's logo
// conversion, as a raster job's pages are. The job callbacks themselves
// need the framework's job objects and are not reached; raw jobs are a byte
// copy to the device and have no parser.
//
// Checks: the picture's dots are the input's (1-bit rows exactly; grey
// levels that are pure black or pure white exactly); the strips cover every
// row with a dot once, in order, within their limits; each strip's logo
// definition is exactly as long as rowTextBytes promises.
//
// Input: byte 0 picks the source (0: PWG raster, 1: PNG, else direct);
// bytes 1-2 the strip rows limit, 3-4 the strip text limit (x 64 bytes);
// the rest is the stream, or for direct: width u16, height u16, a kind byte
// (even: 1-bit, odd: 8-bit grey), then the lines.
#include <cups/raster.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "logo_strips.h"
#include "page_picture.h"
#include "qovlib.h"

namespace {

using qovprint::PagePicture;

// A page the logo conversion gets through within the time-out (the
// application's own limit is 16 MiB; the code paths are the same).
constexpr std::size_t kMaxPageBytes = 64 * 1024;
constexpr std::size_t kMaxLineBytes = 16 * 1024;

// The input's own reading of a pixel, against which the picture is checked.
struct Page {
    int width = 0, height = 0;
    PagePicture::Input input = PagePicture::Input::Black1;
    std::vector<std::vector<std::uint8_t>> lines;  // as given, row by row
};

bool inputDot(const Page& p, int x, int y, bool* known) {
    const std::vector<std::uint8_t>& line = p.lines[static_cast<std::size_t>(y)];
    *known = true;
    if (p.input == PagePicture::Input::Black1) return (line[x >> 3] & (0x80 >> (x & 7))) != 0;
    const std::uint8_t g = line[static_cast<std::size_t>(x)];
    if (g <= qovprint::kPureBlack) return true;
    if (g >= qovprint::kPureWhite) return false;
    *known = false;  // dithered or thresholded: depends on the neighbours
    return false;
}

// Builds the picture from the lines as the raster job does, checks it, then
// plans and converts the strips.
void printPage(const Page& p, const qovprint::StripLimits& limits) {
    PagePicture picture;
    std::string error;
    if (!picture.start(p.width, p.height, p.input, kMaxPageBytes, &error)) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    FUZZ_CHECK(picture.width() % 8 == 0 && picture.width() >= p.width && picture.width() < p.width + 8);
    for (int y = 0; y < static_cast<int>(p.lines.size()); ++y) picture.addLine(y, p.lines[static_cast<std::size_t>(y)].data());
    picture.finish();

    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            bool known = true;
            const bool want = x < p.width && y < static_cast<int>(p.lines.size()) && inputDot(p, x, y, &known);
            if (known) FUZZ_CHECK(picture.dot(x, y) == want);
        }
    }

    const std::vector<qovprint::Strip> strips = qovprint::planStrips(picture, limits);
    int next = 0;
    for (const qovprint::Strip& s : strips) {
        FUZZ_CHECK(s.firstRow >= next && s.rows >= 1 && s.rows <= limits.maxRows);
        FUZZ_CHECK(s.firstRow + s.rows <= picture.height());
        for (int y = next; y < s.firstRow; ++y) FUZZ_CHECK(picture.rowBlank(y));
        FUZZ_CHECK(!picture.rowBlank(s.firstRow) && !picture.rowBlank(s.firstRow + s.rows - 1));
        next = s.firstRow + s.rows;

        std::size_t rows = 0;
        for (int i = 0; i < s.rows; ++i) rows += qovprint::rowTextBytes(picture, s.firstRow + i, i + 1);
        const std::string name = "S" + std::to_string(s.firstRow);
        char* text = printer_PNGLogo_NORMAL(reinterpret_cast<const char*>(picture.row(s.firstRow)), name.c_str(),
                                            s.rows, picture.width());
        FUZZ_CHECK(text != nullptr);
        const std::string head = "~LOGO;" + name + ";" + std::to_string(s.rows) + ";" +
                                 std::to_string(picture.width()) + ";";
        FUZZ_CHECK(std::strncmp(text, head.c_str(), head.size()) == 0);
        FUZZ_CHECK(std::strlen(text) == head.size() + rows + 4);  // "\nEND"
        std::free(text);
    }
    for (int y = next; y < picture.height(); ++y) FUZZ_CHECK(picture.rowBlank(y));
}

// ---- PWG raster ------------------------------------------------------------

struct Stream {
    const std::uint8_t* data;
    std::size_t size, at = 0;
};

ssize_t readStream(void* ctx, unsigned char* buffer, size_t length) {
    auto* s = static_cast<Stream*>(ctx);
    const std::size_t n = std::min(length, s->size - s->at);
    std::memcpy(buffer, s->data + s->at, n);
    s->at += n;
    return static_cast<ssize_t>(n);
}

// The line length of the stream's first page header (after the 4-byte sync
// word; big-endian unless the sync word reads backwards).
std::uint32_t firstLineLength(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t at = 4 + 392;
    if (size < at + 4) return 0;
    const std::uint8_t* b = data + at;
    return data[0] == 'R' ? (std::uint32_t{b[0]} << 24 | b[1] << 16 | b[2] << 8 | b[3])
                          : (std::uint32_t{b[3]} << 24 | b[2] << 16 | b[1] << 8 | b[0]);
}

void rasterPages(const std::uint8_t* data, std::size_t size, const qovprint::StripLimits& limits) {
    // Found here: the raster reader allocates buffers of the header's line
    // length before anything can look at the header (corpus
    // finding-huge-raster-line: 1.6 GB for a 1.8 KB stream). Such headers are
    // passed over, and only the first page is read, whose header this sees.
    if (firstLineLength(data, size) > kMaxLineBytes) return;
    Stream stream{data, size};
    cups_raster_t* r = cupsRasterOpenIO(readStream, &stream, CUPS_RASTER_READ);
    if (!r) return;
    cups_page_header2_t h;
    for (int pages = 0; pages < 1 && cupsRasterReadHeader2(r, &h); ++pages) {
        Page p;
        // Found here: the colour space is whatever 32 bits the stream holds;
        // read as the enum (as the application's start of page compares it)
        // a value past the enum's range is undefined. Taken as a number here.
        unsigned space = 0;
        std::memcpy(&space, &h.cupsColorSpace, sizeof space);
        // The kinds the job's start of page takes; others are refused there.
        if (h.cupsBitsPerPixel == 1 && space == CUPS_CSPACE_K)
            p.input = PagePicture::Input::Black1;
        else if (h.cupsBitsPerPixel == 8 && (space == CUPS_CSPACE_SW || space == CUPS_CSPACE_W))
            p.input = PagePicture::Input::Grey8;
        else
            continue;
        if (h.cupsBytesPerLine == 0 || h.cupsBytesPerLine > kMaxLineBytes || h.cupsWidth > kMaxLineBytes * 8 ||
            h.cupsHeight > kMaxPageBytes * 8)
            continue;
        p.width = static_cast<int>(h.cupsWidth);
        p.height = static_cast<int>(h.cupsHeight);
        // Found here: the raster reader accepts a header whose line length is
        // shorter than its width needs (corpus finding-short-raster-line),
        // and the page picture reads a whole width from each line. The
        // application's start of page does not check it; until it does, such
        // pages are passed over so that the runs reach further, and
        // QOV_FUZZ_SHORT_LINES=1 hands them on to show the over-read.
        const std::size_t needed = p.input == PagePicture::Input::Grey8 ? h.cupsWidth : (h.cupsWidth + 7) / 8;
        if (h.cupsBytesPerLine < needed && !std::getenv("QOV_FUZZ_SHORT_LINES")) continue;
        // The reader hands each line in a buffer of the header's line length.
        std::vector<std::uint8_t> line(h.cupsBytesPerLine);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            if (cupsRasterReadPixels(r, line.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine) break;
            p.lines.push_back(line);
        }
        if (p.lines.empty()) break;
        printPage(p, limits);
    }
    cupsRasterClose(r);
}

// ---- PNG -------------------------------------------------------------------

void pngPage(const std::uint8_t* data, std::size_t size, const qovprint::StripLimits& limits) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return;
    if (image.width == 0 || image.height == 0 || image.width > kMaxLineBytes ||
        static_cast<std::size_t>(image.width) * image.height > kMaxPageBytes * 8) {
        png_image_free(&image);
        return;
    }
    image.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return;
    }
    Page p;
    p.input = PagePicture::Input::Grey8;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * image.width;
        p.lines.emplace_back(row, row + image.width);
    }
    printPage(p, limits);
}

// ---- lines given directly ----------------------------------------------------

void directPage(fuzz::Input& in, const qovprint::StripLimits& limits) {
    Page p;
    p.width = static_cast<std::int16_t>(in.u16());  // negative and zero sizes too
    p.height = static_cast<std::int16_t>(in.u16());
    p.input = in.u8() % 2 ? PagePicture::Input::Grey8 : PagePicture::Input::Black1;
    if (p.width > 0 && p.height > 0) {
        const std::size_t lineBytes =
            p.input == PagePicture::Input::Grey8 ? static_cast<std::size_t>(p.width) : (static_cast<std::size_t>(p.width) + 7) / 8;
        for (int y = 0; y < p.height && !in.done(); ++y) {
            std::string bytes = in.bytes(lineBytes);
            bytes.resize(lineBytes, '\0');
            p.lines.emplace_back(bytes.begin(), bytes.end());
        }
    }
    printPage(p, limits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t source = in.u8();
    qovprint::StripLimits limits;
    limits.maxRows = 1 + in.u16() % 300;
    limits.maxText = 64 * (1 + static_cast<std::size_t>(in.u16()));
    const std::size_t header = 5;
    if (size < header) return 0;
    switch (source) {
    case 0: rasterPages(data + header, size - header, limits); break;
    case 1: pngPage(data + header, size - header, limits); break;
    default: directPage(in, limits); break;
    }
    return 0;
}
