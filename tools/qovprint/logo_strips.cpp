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
    // ";a" for a run of one dot, ";a-b" for a longer one (1-based columns).
    const auto runBytes = [](int first, int last) {
        return 1 + digits(first + 1) + (last > first ? 1 + digits(last + 1) : 0);
    };
    std::size_t bytes = 0;
    const std::uint8_t* row = page.row(y);
    unsigned before = 0;  // 1 when the dot left of this byte is a dot
    int first = 0;
    // Only the places where dot and blank change cost time: a byte at a time,
    // its changes found by comparing it with itself a dot to the right.
    for (int k = 0; k < page.rowBytes(); ++k) {
        const unsigned d = static_cast<std::uint8_t>(~row[k]);  // 1 = dot
        unsigned changes = (d ^ ((d >> 1) | (before << 7))) & 0xFFu;
        before = d & 1u;
        while (changes) {
            const int b = __builtin_clz(changes) - 24;  // from the left
            changes &= ~(0x80u >> b);
            const int x = k * 8 + b;
            if (d & (0x80u >> b))
                first = x;
            else
                bytes += runBytes(first, x - 1);
        }
    }
    if (before) bytes += runBytes(first, page.width() - 1);
    return bytes ? bytes + 1 + digits(rowNumber) : 0;
}

namespace {
constexpr std::size_t kLogoHeader = 64;  // "~LOGO;name;h;w;" and "\nEND"
}

void StripPlanner::open(int y) {
    open_ = true;
    stripMaxRows_ = opened_++ == 0 ? firstMaxRows_ : limits_.maxRows;
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
    // A blank row adds no text: it never closes a strip, even one whose
    // single row is already past the limit.
    if (row > 0 && strip_.rows > 0 && text_ + row > limits_.maxText) {
        // This row starts the next strip.
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
    if (strip_.rows >= stripMaxRows_) {
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
