// A 1-bit picture at printer resolution: bit set = a printed dot. Rows are
// packed eight dots to a byte, most significant bit first, as a 1-bit PNG
// stores them. Every drawing call clips to the picture.
#pragma once

#include <cstdint>
#include <vector>

namespace qovrender {

class Raster {
public:
    Raster() = default;
    Raster(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    const std::uint8_t* row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    bool get(int x, int y) const;
    void set(int x, int y, bool ink = true);
    void fillRect(long long x, long long y, long long w, long long h, bool ink = true);
    // A convex polygon, given by its corners in order (coordinates in dots).
    void fillConvex(const double* xs, const double* ys, int n);
    // Ors `src` in with its top-left corner at (x, y).
    void blit(const Raster& src, long long x, long long y);
    // Rows y+1 .. y+count become copies of row y (those inside the picture).
    void repeatRow(int y, int count);
    // The picture turned clockwise by 0, 90, 180 or 270 degrees.
    Raster rotated(int degreesClockwise) const;
    long long inkCount() const;
    // Rows from the top down to the lowest one with ink; 0 when blank.
    int inkRows() const;
    bool operator==(const Raster& o) const {
        return width_ == o.width_ && height_ == o.height_ && bits_ == o.bits_;
    }
    bool operator!=(const Raster& o) const { return !(*this == o); }

private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<std::uint8_t> bits_;
};

// Turns a point of a local drawing (dx along, dy down) about an origin, the
// way text turns about the start of its baseline: 0 keeps it, 90 (CW) runs
// down the label, 180 (INV) upside down, 270 (CCW) runs up.
struct Orientation {
    int degrees = 0;
    long long originX = 0;
    long long originY = 0;
    void map(long long dx, long long dy, long long& x, long long& y) const;
    void plot(Raster& r, long long dx, long long dy, bool ink) const;
    // Fills the local rectangle [dx, dx+w) x [dy, dy+h).
    void fill(Raster& r, long long dx, long long dy, long long w, long long h, bool ink) const;
};

}  // namespace qovrender
