#pragma once
// One page as the printer's one-bit picture, built line by line from the
// raster a job delivers (1-bit black or 8-bit grey), in the bit order the
// library's logo conversion reads: 0 = dot, 1 = blank, rows padded to whole
// bytes of blank.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "grey_rows.h"

namespace qovprint {

class PagePicture {
public:
    // Black1: PWG black, 1 = dot. Grey8: a byte a dot, 0 black .. 255 white.
    // White1: 1 = blank, as a one-bit grey PNG stores its rows (and the logo's own order).
    enum class Input { Black1, Grey8, White1 };

    // Fails (returns false, with a message) when the page is empty or its
    // bitmap would exceed maxBytes.
    bool start(int width, int height, Input input, std::size_t maxBytes, std::string* error);

    // Row y of the input (rows must come in order 0, 1, ...); `line` holds
    // width pixels in the input's format. Rows beyond the height are ignored.
    void addLine(int y, const std::uint8_t* line);

    // Flushes the last grey row; call once after the last addLine.
    void finish();

    int width() const { return width_; }         // pixels, a multiple of 8
    int height() const { return height_; }
    int inputWidth() const { return inputWidth_; }
    Input input() const { return input_; }
    int rowBytes() const { return width_ / 8; }
    const std::uint8_t* row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * rowBytes(); }
    bool dot(int x, int y) const { return !(row(y)[x >> 3] & (0x80 >> (x & 7))); }
    bool rowBlank(int y) const;
    // Rows 0 .. rowsDone() - 1 are final: a grey row waits for the row below it.
    int rowsDone() const { return input_ == Input::Grey8 ? std::max(0, std::min(lastGrey_, height_)) : rowsIn_; }

private:
    void convertGrey(int y);  // turns the grey row y (held in the ring) into bits
    void setDot(int x, int y) { bits_[static_cast<std::size_t>(y) * rowBytes() + (x >> 3)] &= ~(0x80 >> (x & 7)); }

    int width_ = 0, inputWidth_ = 0, height_ = 0;
    Input input_ = Input::Black1;
    std::vector<std::uint8_t> bits_;
    // Rows y-1, y, y+1 of the grey input.
    std::vector<std::uint8_t> grey_[3];
    // For each of those rows, 1 where its dot is pure (black or white), 0 for
    // the dots beyond its ends; noPure_ stands for the rows beyond the page's
    // top and bottom edges (no dot of them pure). The edge test reads these.
    std::vector<std::uint8_t> pure_[3];
    std::vector<std::uint8_t> noPure_;
    int lastGrey_ = -1;                 // last grey row received
    int rowsIn_ = 0;                    // one-bit rows received in order from row 0
};

}  // namespace qovprint
