#pragma once
// A PNG file as 8-bit grey, with libpng: any colour type and depth, levels
// stretched to 0..255, transparency laid over white paper. The header is
// checked against the limits before anything of the picture is read.
#include <cstdint>
#include <string>
#include <vector>

#include "image_limits.h"

namespace qovprint {

struct GreyPicture {
    int width = 0, height = 0;
    int ppi = 0;                      // from the file, 0 when it says none
    std::vector<std::uint8_t> pixels; // width x height, 0 black .. 255 white
};

// False, with a message, when the file cannot be read, is no whole PNG, or
// is larger than the limits allow.
bool decodePngGrey(const char* path, const ImageLimits& limits, GreyPicture* out, std::string* error);

}  // namespace qovprint
