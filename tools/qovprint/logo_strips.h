#pragma once
// A page goes to the printer as horizontal strips, each one logo: the
// printer keeps one logo definition within a bounded size, so a tall or busy
// page is cut where a strip's definition text would grow past the limit.
#include <cstddef>
#include <vector>

#include "page_picture.h"

namespace qovprint {

struct Strip {
    int firstRow;  // 0-based row of the page
    int rows;
};

struct StripLimits {
    int maxRows = 252;                    // rows of one logo
    std::size_t maxText = 512 * 1024;     // bytes of one logo definition
};

// Bytes that the logo conversion writes for page row y as the logo's row
// `rowNumber` (LF, the number, ";a-b" per run); 0 for a blank row.
std::size_t rowTextBytes(const PagePicture& page, int y, int rowNumber);

// Strips covering every row with a dot; blank rows at a strip's start are
// skipped, so blank stretches cost nothing.
std::vector<Strip> planStrips(const PagePicture& page, const StripLimits& limits);

}  // namespace qovprint
