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
    for (int sy = 0; sy < src.height_; ++sy) {
        const long long ty = y + sy;
        if (ty < 0 || ty >= height_) continue;
        for (int sx = 0; sx < src.width_; ++sx) {
            if (!src.get(sx, sy)) continue;
            const long long tx = x + sx;
            if (tx >= 0 && tx < width_) set(static_cast<int>(tx), static_cast<int>(ty));
        }
    }
}

Raster Raster::rotated(int degreesClockwise) const {
    const int d = ((degreesClockwise % 360) + 360) % 360;
    if (d == 0) return *this;
    Raster out = d == 180 ? Raster(width_, height_) : Raster(height_, width_);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* p = row(y);
        for (int x = 0; x < width_; ++x) {
            if (!((p[x >> 3] >> (7 - (x & 7))) & 1)) continue;
            if (d == 90) out.set(height_ - 1 - y, x);
            else if (d == 180) out.set(width_ - 1 - x, height_ - 1 - y);
            else out.set(y, width_ - 1 - x);
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
