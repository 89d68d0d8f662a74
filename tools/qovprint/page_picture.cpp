#include "page_picture.h"

#include <algorithm>
#include <cstring>

namespace qovprint {

namespace {

// An 8x8 clustered-dot threshold matrix (two dots a cell on a 45-degree
// screen): grey inside grey becomes dots that grow as it darkens. A thermal
// head reproduces clustered dots better than the lone dots of a dispersed
// (Bayer) pattern, and a row of clusters has a third of the runs, so a grey
// picture's logo is a third as long.
constexpr std::uint8_t kCluster8[8][8] = {
    {24, 10, 12, 26, 35, 47, 49, 37}, {8, 0, 2, 14, 45, 59, 61, 51},   {22, 6, 4, 16, 43, 57, 63, 53},
    {30, 20, 18, 28, 33, 41, 55, 39}, {34, 46, 48, 36, 25, 11, 13, 27}, {44, 58, 60, 50, 9, 1, 3, 15},
    {42, 56, 62, 52, 23, 7, 5, 17},   {32, 40, 54, 38, 31, 21, 19, 29}};

constexpr std::uint8_t kNoNeighbour = 128;  // a mid grey: neither black nor white

// g <= kPureBlack or g >= kPureWhite, as one comparison the compiler can vectorise.
inline bool pure(std::uint8_t g) {
    return static_cast<std::uint8_t>(g - (kPureBlack + 1)) >= kPureWhite - kPureBlack - 1;
}

}  // namespace

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
    for (auto& r : grey_) r.assign(static_cast<std::size_t>(width) + 2, kNoNeighbour);
    for (auto& r : pure_) r.assign(static_cast<std::size_t>(width) + 2, 0);
    noPure_.assign(static_cast<std::size_t>(width) + 2, 0);
    for (bool& g : hasGrey_) g = false;
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
    std::rotate(hasGrey_, hasGrey_ + 1, hasGrey_ + 3);
    std::rotate(pure_, pure_ + 1, pure_ + 3);
    std::memcpy(grey_[2].data() + 1, line, static_cast<std::size_t>(inputWidth_));
    std::uint8_t* pureHere = pure_[2].data() + 1;
    std::uint8_t allPure = 1;
    for (int x = 0; x < inputWidth_; ++x) {
        const std::uint8_t p = pure(line[x]);
        pureHere[x] = p;
        allPure &= p;
    }
    hasGrey_[2] = !allPure;
    lastGrey_ = y;
    if (y >= 1) convertGrey(y - 1);
}

void PagePicture::finish() {
    if (input_ != Input::Grey8 || lastGrey_ < 0) return;
    // The row below the last one is the edge of the page: plain white.
    std::rotate(grey_, grey_ + 1, grey_ + 3);
    std::rotate(hasGrey_, hasGrey_ + 1, hasGrey_ + 3);
    std::rotate(pure_, pure_ + 1, pure_ + 3);
    hasGrey_[2] = false;  // convertGrey looks at no row below the last
    convertGrey(lastGrey_);
    lastGrey_ = height_;  // no more rows
}

void PagePicture::convertGrey(int y) {
    // grey_[1] is row y, grey_[0] the row above, grey_[2] the row below; the
    // page's edges have no neighbours: noPure_ stands for them.
    const std::uint8_t* here = grey_[1].data() + 1;
    if (!hasGrey_[1]) {
        // Only pure dots (a one-bit picture, a blank row): black is a dot, eight at a time.
        std::uint8_t* out = bits_.data() + static_cast<std::size_t>(y) * rowBytes();
        for (int x = 0; x < inputWidth_; x += 8) {
            std::uint8_t byte = 0xFF;
            const int end = std::min(8, inputWidth_ - x);
            for (int k = 0; k < end; ++k)
                if (here[x + k] <= kPureBlack) byte &= static_cast<std::uint8_t>(~(0x80 >> k));
            out[x >> 3] = byte;
        }
        return;
    }
    const std::uint8_t* above = (y == 0 ? noPure_ : pure_[0]).data() + 1;
    const std::uint8_t* beside = pure_[1].data() + 1;
    const std::uint8_t* below = (lastGrey_ == y ? noPure_ : pure_[2]).data() + 1;
    // Edge dots are thresholded at 50 % with what the row's previous edge
    // dots left over carried along, so a bar keeps its width: Ghostscript's
    // anti-aliasing grows every bar by about a quarter dot, and a plain
    // threshold turns a 2-dot Code 128 module into 3 dots.
    int carried = 0;  // in 1/255 of a dot, within -128 .. 127
    const std::uint8_t* screen = kCluster8[y & 7];
    for (int x = 0; x < inputWidth_; ++x) {
        const std::uint8_t g = here[x];
        if (g <= kPureBlack) {
            setDot(x, y);
            continue;
        }
        if (g >= kPureWhite) continue;
        // A grey dot next to pure black or white (above, below, beside or
        // diagonal) is an edge: anti-aliasing of a bar or a glyph.
        const bool edge = (above[x - 1] | above[x] | above[x + 1] | beside[x - 1] | beside[x + 1] | below[x - 1] |
                           below[x] | below[x + 1]) != 0;
        if (edge) {
            const int ink = 255 - g + carried;
            if (ink >= 128) {
                setDot(x, y);
                carried = ink - 255;
            } else {
                carried = ink;
            }
            continue;
        }
        if (g < screen[x & 7] * 4 + 2) setDot(x, y);
    }
}

}  // namespace qovprint
