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

// planStrips row by row: a strip is known as soon as its last row is, so it
// can go to the printer while the rest of the page is still being built.
class StripPlanner {
public:
    // firstMaxRows, when smaller, bounds the page's first strip: the printer
    // starts reading sooner while the rest is built.
    explicit StripPlanner(const StripLimits& limits, int firstMaxRows = 0)
        : limits_(limits), firstMaxRows_(firstMaxRows > 0 && firstMaxRows < limits.maxRows ? firstMaxRows : limits.maxRows) {}
    // Takes page row y (rows in order 0, 1, ...); true with *closed set when
    // this row completes a strip (by ending it, or by not fitting in it).
    bool addRow(const PagePicture& page, int y, Strip* closed);
    // Closes the open strip, if any: true with *closed set.
    bool finish(Strip* closed);

private:
    void open(int y);
    Strip close();

    StripLimits limits_;  // maxRows at least 1
    int firstMaxRows_;
    int opened_ = 0;      // strips begun
    int stripMaxRows_ = 0;
    bool open_ = false;
    Strip strip_{0, 0};
    std::size_t text_ = 0;
    int lastDot_ = 0;
};

}  // namespace qovprint
