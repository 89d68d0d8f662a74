#include "logo_strips.h"

#include <string>

namespace qovprint {

namespace {
std::size_t digits(int n) {  // of a positive number; called for every run of every row
    std::size_t d = 1;
    while (n >= 10) n /= 10, ++d;
    return d;
}
}  // namespace

std::size_t rowTextBytes(const PagePicture& page, int y, int rowNumber) {
    std::size_t bytes = 0;
    const int w = page.width();
    const std::uint8_t* row = page.row(y);
    int x = 0;
    while (x < w) {
        if (!(x & 7) && row[x >> 3] == 0xFF) {  // eight blank dots at once
            x += 8;
            continue;
        }
        if (!page.dot(x, y)) {
            ++x;
            continue;
        }
        const int first = x;
        while (x < w && page.dot(x, y)) ++x;
        const int last = x - 1;
        bytes += 1 + digits(first + 1) + (last > first ? 1 + digits(last + 1) : 0);
    }
    return bytes ? bytes + 1 + digits(rowNumber) : 0;
}

std::vector<Strip> planStrips(const PagePicture& page, const StripLimits& limits) {
    std::vector<Strip> strips;
    const std::size_t header = 64;  // "~LOGO;name;h;w;" and "\nEND"
    int y = 0;
    const int h = page.height();
    while (y < h) {
        while (y < h && page.rowBlank(y)) ++y;
        if (y >= h) break;
        Strip s{y, 0};
        std::size_t text = header;
        int lastDot = y;
        while (y < h && s.rows < limits.maxRows) {
            const std::size_t row = rowTextBytes(page, y, s.rows + 1);
            if (s.rows > 0 && text + row > limits.maxText) break;
            text += row;
            if (row) lastDot = y;
            ++s.rows;
            ++y;
        }
        s.rows = lastDot - s.firstRow + 1;  // trailing blank rows are left out
        strips.push_back(s);
    }
    return strips;
}

}  // namespace qovprint
