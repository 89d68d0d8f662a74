#pragma once
// How large a picture a job may hand over. PAPPL decodes a whole picture
// into memory before it passes a line on; PNG headers are checked against
// these limits before anything of the picture is read, and PAPPL is given
// the same limits for the formats it decodes itself (JPEG).
#include <cstddef>
#include <string>

namespace qovprint {

struct ImageLimits {
    int maxSide = 16384;                // pixels a side
    std::size_t maxBytes = 128u << 20;  // of the decoded picture
};

// False, with a message naming the size and the limit, when a picture of
// width x height pixels of `bytesPerPixel` bytes passes the limits.
bool withinLimits(long long width, long long height, int bytesPerPixel, const ImageLimits& limits,
                  std::string* error);

}  // namespace qovprint
