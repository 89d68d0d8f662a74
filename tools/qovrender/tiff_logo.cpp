// TIFF logos through libtiff, read from the downloaded bytes in memory. Only
// what the language allows is drawn: one sample of one bit per pixel,
// uncompressed or PackBits. Anything else, a size past the logo caps or a
// file libtiff cannot read is refused with the reason, never drawn halfway
// without saying so.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "logo_decode.h"

namespace qovrender {

namespace {

struct Source {
    const std::string& bytes;
    toff_t pos = 0;
    std::string firstError;
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t size) {
    auto* s = static_cast<Source*>(h);
    if (size <= 0 || s->pos >= s->bytes.size()) return 0;
    const tmsize_t n = std::min<tmsize_t>(size, static_cast<tmsize_t>(s->bytes.size() - s->pos));
    std::memcpy(buf, s->bytes.data() + s->pos, static_cast<std::size_t>(n));
    s->pos += static_cast<toff_t>(n);
    return n;
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<Source*>(h);
    toff_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->bytes.size() : 0;
    if (off > static_cast<toff_t>(1) << 40) return static_cast<toff_t>(-1);
    s->pos = base + off;
    return s->pos;
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) { return static_cast<Source*>(h)->bytes.size(); }
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

// libtiff's complaints go to the note, not to standard error.
int errorProc(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    auto* s = static_cast<Source*>(user);
    if (s->firstError.empty()) {
        char text[160];
        std::vsnprintf(text, sizeof text, fmt, ap);
        s->firstError = text;
    }
    return 1;
}
int warningProc(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

}  // namespace

bool decodeTiff(const std::string& file, const ModelMetrics& m, Raster& out, std::string& error) {
    if (file.size() < 8 || !(file.compare(0, 4, "II*\0", 4) == 0 || file.compare(0, 4, "MM\0*", 4) == 0)) {
        error = "not a TIFF file";
        return false;
    }
    Source src{file, 0, std::string()};
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    if (!opts) {
        error = "TIFF reader could not start";
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), errorProc, &src);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), warningProc, &src);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), static_cast<tmsize_t>(m.maxLogoBytes) * 4);
    // "m": the bytes are read, never mapped; nothing is written.
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("logo", "rm", &src, readProc, writeProc, seekProc, closeProc,
                                                            sizeProc, mapProc, unmapProc, opts.get()));
    if (!tif) {
        error = "TIFF file not readable" + (src.firstError.empty() ? std::string() : ": " + src.firstError);
        return false;
    }
    uint32_t w = 0, h = 0;
    uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE, photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    if (bits != 1 || samples != 1) {
        error = "TIFF with " + std::to_string(bits) + " bits and " + std::to_string(samples) +
                " samples per pixel is not drawn (black and white only)";
        return false;
    }
    if (compression != COMPRESSION_NONE && compression != COMPRESSION_PACKBITS) {
        error = "TIFF compression " + std::to_string(compression) + " is not drawn (uncompressed or PackBits only)";
        return false;
    }
    if (TIFFIsTiled(tif.get())) {
        error = "tiled TIFF is not drawn";
        return false;
    }
    if (w < 1 || h < 1 || w > static_cast<uint32_t>(m.maxRasterColumns) || h > static_cast<uint32_t>(m.maxRasterRows) ||
        static_cast<long long>(w) * h > m.maxLogoDots) {
        error = "TIFF size " + std::to_string(w) + " x " + std::to_string(h) + " out of range";
        return false;
    }
    const tmsize_t lineBytes = TIFFScanlineSize(tif.get());
    if (lineBytes < static_cast<tmsize_t>((w + 7) / 8)) {
        error = "TIFF lines shorter than its width";
        return false;
    }
    // MinIsWhite (the fax convention): a 1 bit is black; MinIsBlack: a 0 bit.
    const bool oneIsInk = photometric != PHOTOMETRIC_MINISBLACK;
    std::vector<unsigned char> line(static_cast<std::size_t>(lineBytes));
    out = Raster(static_cast<int>(w), static_cast<int>(h));
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif.get(), line.data(), y, 0) < 0) {
            error = "TIFF data ends early; the rest of the picture is blank";
            return true;
        }
        for (uint32_t x = 0; x < w; ++x) {
            const bool bit = (line[x >> 3] >> (7 - (x & 7))) & 1;
            if (bit == oneIsInk) out.set(static_cast<int>(x), static_cast<int>(y));
        }
    }
    return true;
}

}  // namespace qovrender
