#include "png_decode.h"

#include "byte_size.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace qovprint {

bool withinLimits(long long width, long long height, int bytesPerPixel, const ImageLimits& limits,
                  std::string* error) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width < 1 || height < 1) {
        *error = "empty picture (" + size + ")";
        return false;
    }
    if (width > limits.maxSide || height > limits.maxSide) {
        *error = "a picture of " + size + " is larger than " + std::to_string(limits.maxSide) + " pixels a side";
        return false;
    }
    // Both sides are at most maxSide here: the product cannot overflow.
    const unsigned long long bytes = static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) *
                                     static_cast<unsigned long long>(bytesPerPixel < 1 ? 1 : bytesPerPixel);
    if (bytes > limits.maxBytes) {
        *error = "a picture of " + size + " needs " + std::to_string(bytes) + " bytes, more than " +
                 byteSizeText(limits.maxBytes);
        return false;
    }
    return true;
}

namespace {

void pngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    if (text) *text = message ? message : "PNG error";
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

}  // namespace

// Everything that must outlive a longjmp lives here, not in the locals of
// the functions that call setjmp.
struct PngRows::Decoder {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string libpngMessage;
    std::vector<png_bytep> rows;
    int channels = 0;
    int rowsRead = 0;  // rows 0 .. rowsRead - 1 are in the picture
    bool ended = false;  // the file's end was read
    ~Decoder() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (file) std::fclose(file);
    }
};

namespace {

using Decoder = PngRows::Decoder;

// Reads the header, as grey or grey and alpha (d.channels 2), and makes room
// for the rows; an interlaced picture or one with alpha is read whole. False
// with d.libpngMessage set when libpng fails, with *error set when the limits
// refuse.
bool readHeader(Decoder& d, const ImageLimits& limits, bool keepOneBit, GreyPicture* out, std::string* error) {
    if (setjmp(png_jmpbuf(d.png))) return false;
    png_init_io(d.png, d.file);
#ifdef PNG_IGNORE_ADLER32
    // zlib's own checksum of the picture data costs a tenth of a decode; the
    // CRC of every chunk still guards the data.
    png_set_option(d.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(d.png, d.info);  // the chunks before the picture's data
    out->width = static_cast<int>(png_get_image_width(d.png, d.info));
    out->height = static_cast<int>(png_get_image_height(d.png, d.info));
    const bool oneBit = keepOneBit && png_get_color_type(d.png, d.info) == PNG_COLOR_TYPE_GRAY &&
                        png_get_bit_depth(d.png, d.info) == 1 && !png_get_valid(d.png, d.info, PNG_INFO_tRNS);
    out->bitsPerDot = oneBit ? 1 : 8;
    if (!oneBit) {
        png_set_expand(d.png);  // palette to RGB, 1, 2 and 4-bit grey to 8 bits, tRNS to alpha
        png_set_scale_16(d.png);
        if (png_get_color_type(d.png, d.info) & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(d.png, 1, -1, -1);
    }
    const int passes = png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    d.channels = png_get_channels(d.png, d.info);
    if (!withinLimits(out->width, out->height, d.channels, limits, error)) return false;
    const std::size_t rowBytes = png_get_rowbytes(d.png, d.info);
    const std::size_t expected = oneBit ? (static_cast<std::size_t>(out->width) + 7) / 8
                                        : static_cast<std::size_t>(out->width) * static_cast<std::size_t>(d.channels);
    if (rowBytes != expected) {
        *error = "unexpected PNG row layout";
        return false;
    }
    out->pixels.resize(rowBytes * static_cast<std::size_t>(out->height));
    d.rows.resize(static_cast<std::size_t>(out->height));
    for (std::size_t y = 0; y < d.rows.size(); ++y) d.rows[y] = out->pixels.data() + rowBytes * y;
    out->ppi = static_cast<int>(png_get_x_pixels_per_inch(d.png, d.info));
    if (passes > 1 || d.channels != 1) {
        png_read_image(d.png, d.rows.data());
        png_read_end(d.png, nullptr);
        d.rowsRead = out->height;
        d.ended = true;
        out->ppi = static_cast<int>(png_get_x_pixels_per_inch(d.png, d.info));
    }
    return true;
}

// Reads rows up to and including `last`, and the file's end after the last row.
bool readRows(Decoder& d, int last) {
    if (setjmp(png_jmpbuf(d.png))) return false;
    const int height = static_cast<int>(d.rows.size());
    if (last >= height) last = height - 1;
    while (d.rowsRead <= last) {
        png_read_row(d.png, d.rows[static_cast<std::size_t>(d.rowsRead)], nullptr);
        ++d.rowsRead;
    }
    if (d.rowsRead == height && !d.ended) {
        png_read_end(d.png, nullptr);
        d.ended = true;
    }
    return true;
}

// Transparency over white paper, in place: the grey bytes close up.
void overWhite(GreyPicture* out) {
    const std::size_t n = out->pixels.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned v = out->pixels[2 * i], a = out->pixels[2 * i + 1];
        out->pixels[i] = static_cast<std::uint8_t>((v * a + 255u * (255u - a) + 127u) / 255u);
    }
    out->pixels.resize(n);
    out->pixels.shrink_to_fit();
}

}  // namespace

PngRows::PngRows() = default;
PngRows::~PngRows() = default;

bool PngRows::open(const char* path, const ImageLimits& limits, std::string* error, bool keepOneBit) {
    picture_ = GreyPicture{};
    failure_.clear();
    d_ = std::make_unique<Decoder>();
    Decoder& d = *d_;
    d.file = path ? std::fopen(path, "rb") : nullptr;
    if (!d.file) {
        *error = failure_ = "cannot open the document";
        return false;
    }
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.libpngMessage, pngError, pngWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info) {
        *error = failure_ = "out of memory";
        return false;
    }
    error->clear();
    if (!readHeader(d, limits, keepOneBit, &picture_, error)) {
        if (error->empty()) *error = "unreadable PNG: " + d.libpngMessage;
        failure_ = *error;
        picture_.pixels.clear();
        return false;
    }
    if (d.channels == 2) overWhite(&picture_);
    return true;
}

const std::uint8_t* PngRows::row(int y, std::string* error) {
    if (!failure_.empty() || !d_ || y < 0 || y >= picture_.height) {
        *error = failure_.empty() ? "no such row" : failure_;
        return nullptr;
    }
    if (y >= d_->rowsRead && !readRows(*d_, y)) {
        failure_ = "unreadable PNG: " + d_->libpngMessage;
        *error = failure_;
        return nullptr;
    }
    const std::size_t stride = picture_.pixels.size() / static_cast<std::size_t>(picture_.height);
    return picture_.pixels.data() + stride * static_cast<std::size_t>(y);
}

bool PngRows::readAll(std::string* error) {
    return row(picture_.height - 1, error) != nullptr;
}

bool decodePngGrey(const char* path, const ImageLimits& limits, GreyPicture* out, std::string* error,
                   bool keepOneBit) {
    *out = GreyPicture{};
    PngRows rows;
    if (!rows.open(path, limits, error, keepOneBit) || !rows.readAll(error)) return false;
    *out = std::move(rows.picture());
    return true;
}

void expandBits(GreyPicture* p) {
    if (p->bitsPerDot != 1) return;
    const std::size_t stride = (static_cast<std::size_t>(p->width) + 7) / 8;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(p->width) * static_cast<std::size_t>(p->height));
    for (int y = 0; y < p->height; ++y) {
        const std::uint8_t* row = p->pixels.data() + stride * static_cast<std::size_t>(y);
        std::uint8_t* out = bytes.data() + static_cast<std::size_t>(p->width) * static_cast<std::size_t>(y);
        for (int x = 0; x < p->width; ++x) out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    }
    p->pixels.swap(bytes);
    p->bitsPerDot = 8;
}

}  // namespace qovprint
