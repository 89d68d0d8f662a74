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

namespace {
constexpr std::size_t kLogoHeader = 64;  // "~LOGO;name;h;w;" and "\nEND"
}

void StripPlanner::open(int y) {
    open_ = true;
    strip_ = Strip{y, 0};
    text_ = kLogoHeader;
    lastDot_ = y;
}

Strip StripPlanner::close() {
    open_ = false;
    strip_.rows = lastDot_ - strip_.firstRow + 1;  // trailing blank rows are left out
    return strip_;
}

bool StripPlanner::addRow(const PagePicture& page, int y, Strip* closed) {
    bool done = false;
    if (!open_) {
        if (page.rowBlank(y)) return false;
        open(y);
    }
    std::size_t row = rowTextBytes(page, y, strip_.rows + 1);
    if (strip_.rows > 0 && text_ + row > limits_.maxText) {
        // This row starts the next strip (it has dots: a blank row always fits).
        *closed = close();
        done = true;
        open(y);
        row = rowTextBytes(page, y, 1);
    }
    text_ += row;
    if (row) lastDot_ = y;
    ++strip_.rows;
    // At most one strip ends here: one that ran out of text had 2 rows or
    // more, so maxRows is at least 2 and the new strip of 1 row is not full.
    if (strip_.rows >= limits_.maxRows) {
        *closed = close();
        done = true;
    }
    return done;
}

bool StripPlanner::finish(Strip* closed) {
    if (!open_) return false;
    *closed = close();
    return true;
}

std::vector<Strip> planStrips(const PagePicture& page, const StripLimits& limits) {
    std::vector<Strip> strips;
    StripPlanner planner(limits);
    Strip s{0, 0};
    for (int y = 0; y < page.height(); ++y)
        if (planner.addRow(page, y, &s)) strips.push_back(s);
    if (planner.finish(&s)) strips.push_back(s);
    return strips;
}

}  // namespace qovprint
