#include "page_picture.h"

#include <algorithm>
#include <cstring>

namespace qovprint {

namespace {

// An 8x8 ordered-dither matrix: grey inside grey becomes an even pattern
// without the worms of error diffusion.
constexpr std::uint8_t kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

bool pure(std::uint8_t g) { return g <= kPureBlack || g >= kPureWhite; }

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
    for (auto& r : grey_) r.assign(static_cast<std::size_t>(width), 255);
    lastGrey_ = -1;
    return true;
}

bool PagePicture::rowBlank(int y) const {
    const std::uint8_t* r = row(y);
    return std::all_of(r, r + rowBytes(), [](std::uint8_t b) { return b == 0xFF; });
}

void PagePicture::addLine(int y, const std::uint8_t* line) {
    if (y < 0 || y >= height_) return;
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
    std::memcpy(grey_[2].data(), line, static_cast<std::size_t>(inputWidth_));
    lastGrey_ = y;
    if (y >= 1) convertGrey(y - 1);
}

void PagePicture::finish() {
    if (input_ != Input::Grey8 || lastGrey_ < 0) return;
    // The row below the last one is the edge of the page: plain white.
    std::rotate(grey_, grey_ + 1, grey_ + 3);
    std::fill(grey_[2].begin(), grey_[2].end(), 255);
    convertGrey(lastGrey_);
    lastGrey_ = height_;  // no more rows
}

void PagePicture::convertGrey(int y) {
    // grey_[1] is row y; grey_[0] the row above (white above the top), grey_[2] the row below.
    const std::vector<std::uint8_t>& above = grey_[0];
    const std::vector<std::uint8_t>& here = grey_[1];
    const std::vector<std::uint8_t>& below = grey_[2];
    const bool top = y == 0, bottom = lastGrey_ == y;  // page edges are no neighbours
    // Edge dots are thresholded at 50 % with what the row's previous edge
    // dots left over carried along, so a bar keeps its width: Ghostscript's
    // anti-aliasing grows every bar by about a quarter dot, and a plain
    // threshold turns a 2-dot Code 128 module into 3 dots.
    int carried = 0;  // in 1/255 of a dot, within -128 .. 127
    for (int x = 0; x < inputWidth_; ++x) {
        const std::uint8_t g = here[static_cast<std::size_t>(x)];
        if (g <= kPureBlack) {
            setDot(x, y);
            continue;
        }
        if (g >= kPureWhite) continue;
        // A grey dot on the edge of something black or white is an edge
        // (anti-aliasing of a bar or a glyph): a plain 50 % threshold keeps it sharp.
        bool edge = false;
        for (int dx = -1; dx <= 1 && !edge; ++dx) {
            const int nx = x + dx;
            if (nx < 0 || nx >= inputWidth_) continue;
            const auto i = static_cast<std::size_t>(nx);
            edge = (!top && pure(above[i])) || (dx != 0 && pure(here[i])) || (!bottom && pure(below[i]));
        }
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
        if (g < kBayer8[y & 7][x & 7] * 4 + 2) setDot(x, y);
    }
}

}  // namespace qovprint
