#include "png_io.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qovrender {

namespace {

struct WriteTarget {
    std::vector<std::uint8_t>* out;
};

void writeToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* target = static_cast<WriteTarget*>(png_get_io_ptr(png));
    target->out->insert(target->out->end(), data, data + length);
}

void flushNothing(png_structp) {}

}  // namespace

bool encodePng(const Raster& raster, int dpi, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    if (raster.empty()) {
        error = "empty picture";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "libpng could not start";
        return false;
    }
    WriteTarget target{&out};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "libpng failed to encode";
        return false;
    }
    png_set_write_fn(png, &target, writeToVector, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(raster.width()), static_cast<png_uint_32>(raster.height()), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const auto perMetre = static_cast<png_uint_32>(std::lround(dpi / 0.0254));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    // Bilevel pictures compress best unfiltered.
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    png_set_invert_mono(png);  // a set bit is ink, which a gray PNG stores as 0
    for (int y = 0; y < raster.height(); ++y) png_write_row(png, const_cast<png_bytep>(raster.row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool decodePng(const std::vector<std::uint8_t>& bytes, Raster& out, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        error = image.message;
        return false;
    }
    image.format = PNG_FORMAT_GRAY;
    if (image.width > 100000 || image.height > 100000) {
        png_image_free(&image);
        error = "PNG too large";
        return false;
    }
    std::vector<std::uint8_t> gray(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, gray.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
    out = Raster(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (gray[static_cast<std::size_t>(y) * w + x] < 128) out.set(x, y);
    return true;
}

std::string labelFileName(long long number, const std::string& form) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%03lld-", number);
    std::string name;
    for (char c : form.substr(0, 64)) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '-' || (c == '.' && !name.empty());
        name += safe ? c : '_';
    }
    if (name.empty()) name = "label";
    return prefix + name + ".png";
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = "cannot read " + path + ": read error";
        return false;
    }
    return true;
}

}  // namespace qovrender
