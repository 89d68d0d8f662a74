#include "raster.h"

#include <algorithm>
#include <cmath>

namespace qovrender {

namespace {
const std::uint8_t kStartMask[8] = {0xFF, 0x7F, 0x3F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
}

Raster::Raster(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), stride_((width_ + 7) / 8),
      bits_(static_cast<std::size_t>(stride_) * height_, 0) {}

bool Raster::get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return (row(y)[x >> 3] >> (7 - (x & 7))) & 1;
}

void Raster::set(int x, int y, bool ink) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t& b = bits_[static_cast<std::size_t>(y) * stride_ + (x >> 3)];
    const std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
    b = ink ? (b | m) : (b & ~m);
}

void Raster::fillRect(long long x, long long y, long long w, long long h, bool ink) {
    const long long x0 = std::max(x, 0LL), y0 = std::max(y, 0LL);
    const long long x1 = std::min(x + w, static_cast<long long>(width_));
    const long long y1 = std::min(y + h, static_cast<long long>(height_));
    if (x0 >= x1 || y0 >= y1) return;
    const int bx0 = static_cast<int>(x0 >> 3), bx1 = static_cast<int>((x1 - 1) >> 3);
    std::uint8_t first = kStartMask[x0 & 7];
    std::uint8_t last = static_cast<std::uint8_t>(~(kStartMask[((x1 - 1) & 7)] >> 1));
    if (bx0 == bx1) first &= last;
    for (long long yy = y0; yy < y1; ++yy) {
        std::uint8_t* p = bits_.data() + static_cast<std::size_t>(yy) * stride_;
        auto apply = [&](int i, std::uint8_t m) { p[i] = ink ? (p[i] | m) : (p[i] & ~m); };
        apply(bx0, first);
        if (bx1 > bx0) {
            for (int i = bx0 + 1; i < bx1; ++i) p[i] = ink ? 0xFF : 0x00;
            apply(bx1, last);
        }
    }
}

void Raster::fillConvex(const double* xs, const double* ys, int n) {
    if (n < 3) return;
    double minY = ys[0], maxY = ys[0];
    for (int i = 1; i < n; ++i) {
        minY = std::min(minY, ys[i]);
        maxY = std::max(maxY, ys[i]);
    }
    const long long yStart = std::max(0LL, static_cast<long long>(std::floor(minY)));
    const long long yEnd = std::min(static_cast<long long>(height_) - 1, static_cast<long long>(std::ceil(maxY)));
    for (long long y = yStart; y <= yEnd; ++y) {
        const double cy = static_cast<double>(y) + 0.5;  // sample at the dot's centre
        double lo = 1e300, hi = -1e300;
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            const double ya = ys[i], yb = ys[j];
            if ((cy < std::min(ya, yb)) || (cy > std::max(ya, yb)) || ya == yb) continue;
            const double x = xs[i] + (cy - ya) * (xs[j] - xs[i]) / (yb - ya);
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        if (lo > hi) continue;
        const long long x0 = static_cast<long long>(std::ceil(std::max(lo - 0.5, -1.0)));
        const long long x1 = static_cast<long long>(std::floor(std::min(hi - 0.5, static_cast<double>(width_))));
        if (x1 >= x0) fillRect(x0, y, x1 - x0 + 1, 1);
    }
}

void Raster::blit(const Raster& src, long long x, long long y) {
    // A byte of the source at a time: a symbol at its size cap is tens of
    // millions of dots, and most of its bytes are blank.
    for (int sy = 0; sy < src.height_; ++sy) {
        const long long ty = y + sy;
        if (ty < 0 || ty >= height_) continue;
        const std::uint8_t* s = src.row(sy);
        std::uint8_t* d = bits_.data() + static_cast<std::size_t>(ty) * stride_;
        for (int j = 0; j < src.stride_; ++j) {
            if (s[j] == 0) continue;
            const long long t = x + 8LL * j;  // where the byte's first dot lands
            const long long kmin = std::max(0LL, -t);
            const long long kmax = std::min(7LL, width_ - 1 - t);
            if (kmin > kmax) continue;
            // Only the dots that land inside the picture.
            const auto keep = static_cast<std::uint8_t>((0xFFu >> kmin) & (0xFFu << (7 - kmax)));
            const auto v = static_cast<std::uint8_t>(s[j] & keep);
            if (t < 0) {
                d[0] |= static_cast<std::uint8_t>(v << -t);
                continue;
            }
            const long long b = t >> 3;
            const int shift = static_cast<int>(t & 7);
            d[b] |= static_cast<std::uint8_t>(v >> shift);
            const auto spill = static_cast<std::uint8_t>(shift ? v << (8 - shift) : 0);
            if (spill) d[b + 1] |= spill;
        }
    }
}

namespace {

// The bits of each byte in reverse order.
struct ReversedBits {
    std::uint8_t of[256];
    ReversedBits() {
        for (int b = 0; b < 256; ++b) {
            int r = 0;
            for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
            of[b] = static_cast<std::uint8_t>(r);
        }
    }
};
const ReversedBits kReversed;

// One row mirrored: dot i takes dot width-1-i. Reversing the bytes and their
// bits mirrors the padded row; shifting left by the padding realigns it.
void mirrorRow(const std::uint8_t* in, std::uint8_t* out, int width, int stride) {
    const int pad = stride * 8 - width;
    const std::uint8_t* last = in + stride - 1;
    if (pad == 0) {
        for (int k = 0; k < stride; ++k) out[k] = kReversed.of[last[-k]];
        return;
    }
    for (int k = 0; k + 1 < stride; ++k)
        out[k] = static_cast<std::uint8_t>(kReversed.of[last[-k]] << pad | kReversed.of[last[-k - 1]] >> (8 - pad));
    out[stride - 1] = static_cast<std::uint8_t>(kReversed.of[in[0]] << pad);
}

// Transposes an 8 x 8 block of dots held one row a byte, the first row in
// the most significant byte.
std::uint64_t transposed8x8(std::uint64_t x) {
    x = (x & 0xAA55AA55AA55AA55ULL) | ((x & 0x00AA00AA00AA00AAULL) << 7) | ((x >> 7) & 0x00AA00AA00AA00AAULL);
    x = (x & 0xCCCC3333CCCC3333ULL) | ((x & 0x0000CCCC0000CCCCULL) << 14) | ((x >> 14) & 0x0000CCCC0000CCCCULL);
    x = (x & 0xF0F0F0F00F0F0F0FULL) | ((x & 0x00000000F0F0F0F0ULL) << 28) | ((x >> 28) & 0x00000000F0F0F0F0ULL);
    return x;
}

}  // namespace

Raster Raster::rotated(int degreesClockwise) const {
    const int d = ((degreesClockwise % 360) + 360) % 360;
    if (d == 0) return *this;
    if (d == 180) {
        Raster out(width_, height_);
        for (int y = 0; y < height_; ++y)
            mirrorRow(row(y), out.bits_.data() + static_cast<std::size_t>(height_ - 1 - y) * stride_, width_, stride_);
        return out;
    }
    // A quarter turn moves 8 x 8 blocks, transposed. Output byte i of a row
    // holds eight source rows: for 90 counted up from the bottom (the
    // picture's last row becomes the first column), for 270 down from the
    // top; rows past the picture read as blank.
    Raster out(height_, width_);
    const std::vector<std::uint8_t> blank(static_cast<std::size_t>(stride_), 0);
    const std::uint8_t* src[8];
    for (int i = 0; i < out.stride_; ++i) {
        for (int r = 0; r < 8; ++r) {
            const int y = d == 90 ? height_ - 1 - 8 * i - r : 8 * i + r;
            src[r] = y >= 0 && y < height_ ? row(y) : blank.data();
        }
        for (int j = 0; j < stride_; ++j) {
            std::uint64_t block = static_cast<std::uint64_t>(src[0][j]) << 56 | static_cast<std::uint64_t>(src[1][j]) << 48 |
                                  static_cast<std::uint64_t>(src[2][j]) << 40 | static_cast<std::uint64_t>(src[3][j]) << 32 |
                                  static_cast<std::uint64_t>(src[4][j]) << 24 | static_cast<std::uint64_t>(src[5][j]) << 16 |
                                  static_cast<std::uint64_t>(src[6][j]) << 8 | static_cast<std::uint64_t>(src[7][j]);
            if (block == 0) continue;
            block = transposed8x8(block);
            // Byte m of the block is source column 8j+m.
            const int columns = std::min(8, width_ - 8 * j);
            for (int m = 0; m < columns; ++m) {
                const int x = 8 * j + m;
                const int outRow = d == 90 ? x : width_ - 1 - x;
                out.bits_[static_cast<std::size_t>(outRow) * out.stride_ + i] = static_cast<std::uint8_t>(block >> (56 - 8 * m));
            }
        }
    }
    return out;
}

long long Raster::inkCount() const {
    // Dots past the width are never set, so whole bytes can be counted.
    long long n = 0;
    for (std::uint8_t b : bits_) n += __builtin_popcount(b);
    return n;
}

void Orientation::map(long long dx, long long dy, long long& x, long long& y) const {
    switch (degrees) {
    case 90: x = originX - dy - 1; y = originY + dx; break;
    case 180: x = originX - dx - 1; y = originY - dy - 1; break;
    case 270: x = originX + dy; y = originY - dx - 1; break;
    default: x = originX + dx; y = originY + dy; break;
    }
}

void Orientation::plot(Raster& r, long long dx, long long dy, bool ink) const {
    long long x, y;
    map(dx, dy, x, y);
    if (x >= 0 && y >= 0 && x < r.width() && y < r.height()) r.set(static_cast<int>(x), static_cast<int>(y), ink);
}

void Orientation::fill(Raster& r, long long dx, long long dy, long long w, long long h, bool ink) const {
    if (w <= 0 || h <= 0) return;
    long long xa, ya, xb, yb;
    map(dx, dy, xa, ya);
    map(dx + w - 1, dy + h - 1, xb, yb);
    r.fillRect(std::min(xa, xb), std::min(ya, yb), std::llabs(xb - xa) + 1, std::llabs(yb - ya) + 1, ink);
}

}  // namespace qovrender
