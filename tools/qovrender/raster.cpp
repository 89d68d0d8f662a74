#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

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
            if (bx1 > bx0 + 1) std::memset(p + bx0 + 1, ink ? 0xFF : 0x00, static_cast<std::size_t>(bx1 - bx0 - 1));
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
    // millions of dots, and most of its bytes are blank. Only the bytes with
    // a dot inside the picture are visited: a symbol turned along the label
    // can reach far past its edge.
    if (src.empty() || empty() || x > width_ - 1 || x <= -8LL * src.stride_) return;
    const long long jlo = x >= 0 ? 0 : -x / 8;
    const long long jend = std::min<long long>(src.stride_, (width_ - 1 - x) / 8 + 1);  // > jlo, given the bounds above
    // On a byte boundary a byte whose eight dots all land inside is one OR.
    const bool aligned = (x & 7) == 0;
    const long long whole = aligned ? std::min(jend, (width_ - x) / 8) : jlo;
    for (int sy = 0; sy < src.height_; ++sy) {
        const long long ty = y + sy;
        if (ty < 0 || ty >= height_) continue;
        const std::uint8_t* s = src.row(sy);
        std::uint8_t* d = bits_.data() + static_cast<std::size_t>(ty) * stride_;
        long long j = jlo;
        for (; j < whole; ++j) d[x / 8 + j] |= s[j];
        for (; j < jend; ++j) {
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

void Raster::repeatRow(int y, int count) {
    if (y < 0 || y >= height_ || count <= 0) return;
    const int last = static_cast<int>(std::min<long long>(height_ - 1, static_cast<long long>(y) + count));
    const std::uint8_t* from = row(y);
    for (int r = y + 1; r <= last; ++r)
        std::memcpy(bits_.data() + static_cast<std::size_t>(r) * stride_, from, static_cast<std::size_t>(stride_));
}

namespace {

std::uint64_t loadBigEndian(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(p[0]) << 56 | static_cast<std::uint64_t>(p[1]) << 48 |
           static_cast<std::uint64_t>(p[2]) << 40 | static_cast<std::uint64_t>(p[3]) << 32 |
           static_cast<std::uint64_t>(p[4]) << 24 | static_cast<std::uint64_t>(p[5]) << 16 |
           static_cast<std::uint64_t>(p[6]) << 8 | static_cast<std::uint64_t>(p[7]);
}

void storeBigEndian(std::uint8_t* p, std::uint64_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 56);
    p[1] = static_cast<std::uint8_t>(v >> 48);
    p[2] = static_cast<std::uint8_t>(v >> 40);
    p[3] = static_cast<std::uint8_t>(v >> 32);
    p[4] = static_cast<std::uint8_t>(v >> 24);
    p[5] = static_cast<std::uint8_t>(v >> 16);
    p[6] = static_cast<std::uint8_t>(v >> 8);
    p[7] = static_cast<std::uint8_t>(v);
}

// The 64 bits of a word in reverse order.
std::uint64_t reversed64(std::uint64_t x) {
    x = (x >> 1 & 0x5555555555555555ULL) | (x & 0x5555555555555555ULL) << 1;
    x = (x >> 2 & 0x3333333333333333ULL) | (x & 0x3333333333333333ULL) << 2;
    x = (x >> 4 & 0x0F0F0F0F0F0F0F0FULL) | (x & 0x0F0F0F0F0F0F0F0FULL) << 4;
    x = (x >> 8 & 0x00FF00FF00FF00FFULL) | (x & 0x00FF00FF00FF00FFULL) << 8;
    x = (x >> 16 & 0x0000FFFF0000FFFFULL) | (x & 0x0000FFFF0000FFFFULL) << 16;
    return x >> 32 | x << 32;
}

// Mirrors rows (dot i takes dot width-1-i) 64 dots at a time. The row is
// laid right-aligned into whole words, the words reversed in order and in
// bits; the row's padding then leads, and a shift left by it realigns
// (the words' own leading zeros stay past the end).
class RowMirror {
public:
    RowMirror(int width, int stride)
        : width_(width), stride_(stride), words_((stride + 7) / 8), in_(static_cast<std::size_t>(words_) * 8, 0),
          reversed_(static_cast<std::size_t>(words_ + 1), 0), out_(static_cast<std::size_t>(words_) * 8, 0) {}

    void mirror(const std::uint8_t* row, std::uint8_t* out) {
        const int lead = words_ * 8 - stride_;
        std::memcpy(in_.data() + lead, row, static_cast<std::size_t>(stride_));
        for (int w = 0; w < words_; ++w)
            reversed_[static_cast<std::size_t>(w)] = reversed64(loadBigEndian(in_.data() + 8 * (words_ - 1 - w)));
        const int pad = stride_ * 8 - width_;  // 0 to 7
        for (int w = 0; w < words_; ++w) {
            const std::uint64_t hi = reversed_[static_cast<std::size_t>(w)], lo = reversed_[static_cast<std::size_t>(w) + 1];
            storeBigEndian(out_.data() + 8 * w, pad == 0 ? hi : (hi << pad | lo >> (64 - pad)));
        }
        std::memcpy(out, out_.data(), static_cast<std::size_t>(stride_));
    }

private:
    int width_, stride_, words_;
    std::vector<std::uint8_t> in_;
    std::vector<std::uint64_t> reversed_;  // one word more, always zero
    std::vector<std::uint8_t> out_;
};

// Transposes an 8 x 8 block of dots held one row a byte, the first row in
// the most significant byte.
std::uint64_t transposed8x8(std::uint64_t x) {
    x = (x & 0xAA55AA55AA55AA55ULL) | ((x & 0x00AA00AA00AA00AAULL) << 7) | ((x >> 7) & 0x00AA00AA00AA00AAULL);
    x = (x & 0xCCCC3333CCCC3333ULL) | ((x & 0x0000CCCC0000CCCCULL) << 14) | ((x >> 14) & 0x0000CCCC0000CCCCULL);
    x = (x & 0xF0F0F0F00F0F0F0FULL) | ((x & 0x00000000F0F0F0F0ULL) << 28) | ((x >> 28) & 0x00000000F0F0F0F0ULL);
    return x;
}

// Byte j of eight rows, the first row in the most significant byte.
std::uint64_t gather(const std::uint8_t* const* rows, int j) {
    return static_cast<std::uint64_t>(rows[0][j]) << 56 | static_cast<std::uint64_t>(rows[1][j]) << 48 |
           static_cast<std::uint64_t>(rows[2][j]) << 40 | static_cast<std::uint64_t>(rows[3][j]) << 32 |
           static_cast<std::uint64_t>(rows[4][j]) << 24 | static_cast<std::uint64_t>(rows[5][j]) << 16 |
           static_cast<std::uint64_t>(rows[6][j]) << 8 | static_cast<std::uint64_t>(rows[7][j]);
}

}  // namespace

Raster Raster::rotated(int degreesClockwise) const {
    const int d = ((degreesClockwise % 360) + 360) % 360;
    if (d == 0) return *this;
    if (d == 180) {
        Raster out(width_, height_);
        RowMirror mirror(width_, stride_);
        for (int y = 0; y < height_; ++y)
            mirror.mirror(row(y), out.bits_.data() + static_cast<std::size_t>(height_ - 1 - y) * stride_);
        return out;
    }
    // A quarter turn moves 8 x 8 blocks, transposed. Output byte i of a row
    // holds eight source rows: for 90 counted up from the bottom (the
    // picture's last row becomes the first column), for 270 down from the
    // top; rows past the picture read as blank. The output is written a
    // band of rows at a time, 64 bytes along, so that both pictures are
    // walked through the cache rather than across it.
    constexpr int kChunk = 64;
    Raster out(height_, width_);
    const std::vector<std::uint8_t> blank(static_cast<std::size_t>(stride_), 0);
    const std::uint8_t* src[kChunk][8];
    const std::ptrdiff_t step = d == 90 ? out.stride_ : -static_cast<std::ptrdiff_t>(out.stride_);
    for (int i0 = 0; i0 < out.stride_; i0 += kChunk) {
        const int n = std::min(kChunk, out.stride_ - i0);
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < 8; ++r) {
                const int y = d == 90 ? height_ - 1 - 8 * (i0 + c) - r : 8 * (i0 + c) + r;
                src[c][r] = y >= 0 && y < height_ ? row(y) : blank.data();
            }
        for (int j = 0; j < stride_; ++j) {
            // Source column 8j+m becomes row 8j+m (90) or width-1-8j-m (270).
            std::uint8_t* band = out.bits_.data() +
                                 static_cast<std::size_t>(d == 90 ? 8 * j : width_ - 1 - 8 * j) * out.stride_ + i0;
            // Blank blocks stay as the new picture has them. The last byte
            // column may hold fewer columns.
            const int columns = std::min(8, width_ - 8 * j);
            if (columns == 8) {
                for (int c = 0; c < n; ++c) {
                    std::uint64_t block = gather(src[c], j);
                    if (block == 0) continue;
                    block = transposed8x8(block);
                    std::uint8_t* p = band + c;
                    p[0] = static_cast<std::uint8_t>(block >> 56);
                    p[step] = static_cast<std::uint8_t>(block >> 48);
                    p[2 * step] = static_cast<std::uint8_t>(block >> 40);
                    p[3 * step] = static_cast<std::uint8_t>(block >> 32);
                    p[4 * step] = static_cast<std::uint8_t>(block >> 24);
                    p[5 * step] = static_cast<std::uint8_t>(block >> 16);
                    p[6 * step] = static_cast<std::uint8_t>(block >> 8);
                    p[7 * step] = static_cast<std::uint8_t>(block);
                }
            } else {
                for (int c = 0; c < n; ++c) {
                    const std::uint64_t block = transposed8x8(gather(src[c], j));
                    for (int m = 0; m < columns; ++m) band[c + m * step] = static_cast<std::uint8_t>(block >> (56 - 8 * m));
                }
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

int Raster::inkRows() const {
    // Whole bytes, as in inkCount: a blank label at the size cap is millions
    // of dots, scanned once per label that ends at its lowest element.
    for (int y = height_; y-- > 0;) {
        const std::uint8_t* r = row(y);
        if (std::any_of(r, r + stride_, [](std::uint8_t b) { return b != 0; })) return y + 1;
    }
    return 0;
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
