#pragma once
// A PNG file as 8-bit grey, with libpng: any colour type and depth, levels
// stretched to 0..255, transparency laid over white paper. The header is
// checked against the limits before anything of the picture is read.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image_limits.h"

namespace qovprint {

struct GreyPicture {
    int width = 0, height = 0;
    int ppi = 0;                      // from the file, 0 when it says none
    int bitsPerDot = 8;               // 8: pixels is width x height bytes, 0 black .. 255 white;
                                      // 1: rows of (width + 7) / 8 bytes, most significant bit
                                      //    first, 1 white (a one-bit PNG as stored)
    std::vector<std::uint8_t> pixels;
};

// False, with a message, when the file cannot be read, is no whole PNG, or
// is larger than the limits allow. With keepOneBit a one-bit grey PNG
// without transparency keeps its bits (bitsPerDot 1).
bool decodePngGrey(const char* path, const ImageLimits& limits, GreyPicture* out, std::string* error,
                   bool keepOneBit = false);

// The same picture read a row at a time, so a page can be converted and sent
// while the rest of the file is still being decoded. An interlaced PNG, or
// one with transparency, is read whole by open().
class PngRows {
public:
    PngRows();
    ~PngRows();
    // Reads the header: false with a message as decodePngGrey. picture()
    // then has its size, ppi and bitsPerDot; pixels holds room for every row.
    bool open(const char* path, const ImageLimits& limits, std::string* error, bool keepOneBit = false);
    // Row y (and every row before it) read: its bytes, or nullptr with a
    // message when the file fails (the failure stays: later calls fail too).
    const std::uint8_t* row(int y, std::string* error);
    // Every row, and the end of the file, read: false with a message.
    bool readAll(std::string* error);
    GreyPicture& picture() { return picture_; }

    struct Decoder;  // libpng's state, in png_decode.cpp

private:
    std::unique_ptr<Decoder> d_;
    GreyPicture picture_;
    std::string failure_;
};

// A one-bit picture as bytes (bitsPerDot 8); others stay as they are.
void expandBits(GreyPicture* picture);

}  // namespace qovprint
