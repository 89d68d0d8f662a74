#include "page_picture.h"

#include <algorithm>
#include <cstring>

namespace qovprint {

bool PagePicture::start(int width, int height, Input input, std::size_t maxBytes, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "empty page";
        return false;
    }
    const int padded = (width + 7) / 8 * 8;
    const std::size_t bytes = static_cast<std::size_t>(padded / 8) * static_cast<std::size_t>(height);
    if (bytes / static_cast<std::size_t>(height) != static_cast<std::size_t>(padded / 8) || bytes > maxBytes) {
        *error = "page of " + std::to_string(width) + " x " + std::to_string(height) + " dots is larger than " +
                 std::to_string(maxBytes) + " bytes";
        return false;
    }
    width_ = padded;
    inputWidth_ = width;
    height_ = height;
    input_ = input;
    bits_.assign(bytes, 0xFF);
    for (auto& r : grey_) r.assign(static_cast<std::size_t>(width), 0);
    for (auto& r : pure_) r.assign(static_cast<std::size_t>(width) + 2, 0);
    noPure_.assign(static_cast<std::size_t>(width) + 2, 0);
    lastGrey_ = -1;
    rowsIn_ = 0;
    return true;
}

bool PagePicture::rowBlank(int y) const {
    const std::uint8_t* r = row(y);
    return std::all_of(r, r + rowBytes(), [](std::uint8_t b) { return b == 0xFF; });
}

void PagePicture::addLine(int y, const std::uint8_t* line) {
    if (y < 0 || y >= height_) return;
    if (y == rowsIn_ && input_ != Input::Grey8) ++rowsIn_;
    if (input_ == Input::White1) {
        std::uint8_t* out = bits_.data() + static_cast<std::size_t>(y) * rowBytes();
        std::memcpy(out, line, static_cast<std::size_t>(rowBytes()));
        if (inputWidth_ % 8) out[rowBytes() - 1] |= static_cast<std::uint8_t>(0xFF >> (inputWidth_ % 8));  // padding is blank
        return;
    }
    if (input_ == Input::Black1) {
        // PWG black: 1 = black, the logo's bit order is the inverse.
        const int full = inputWidth_ / 8;
        std::uint8_t* out = bits_.data() + static_cast<std::size_t>(y) * rowBytes();
        for (int k = 0; k < full; ++k) out[k] = static_cast<std::uint8_t>(~line[k]);
        for (int x = full * 8; x < inputWidth_; ++x)
            if (line[x >> 3] & (0x80 >> (x & 7))) setDot(x, y);
        return;
    }
    // Grey: row y-1 can be decided once row y (its lower neighbour) is known.
    if (y != lastGrey_ + 1) return;  // out of order: ignored
    std::rotate(grey_, grey_ + 1, grey_ + 3);  // [y-2, y-1, new] -> slot 2 takes row y
    std::rotate(pure_, pure_ + 1, pure_ + 3);
    std::memcpy(grey_[2].data(), line, static_cast<std::size_t>(inputWidth_));
    markPure(line, inputWidth_, pure_[2].data() + 1);
    lastGrey_ = y;
    if (y >= 1) convertGrey(y - 1);
}

void PagePicture::finish() {
    if (input_ != Input::Grey8 || lastGrey_ < 0) return;
    // The row below the last one is the edge of the page: plain white.
    std::rotate(grey_, grey_ + 1, grey_ + 3);
    std::rotate(pure_, pure_ + 1, pure_ + 3);
    convertGrey(lastGrey_);
    lastGrey_ = height_;  // no more rows
}

void PagePicture::convertGrey(int y) {
    // grey_[1] is row y, grey_[0] the row above, grey_[2] the row below; the
    // page's edges have no neighbours: noPure_ stands for them.
    const GreyRow row{grey_[1].data(),
                      (y == 0 ? noPure_ : pure_[0]).data() + 1,
                      pure_[1].data() + 1,
                      (lastGrey_ == y ? noPure_ : pure_[2]).data() + 1,
                      inputWidth_,
                      y};
    greyRowToBits(row, bits_.data() + static_cast<std::size_t>(y) * rowBytes());
}

}  // namespace qovprint
