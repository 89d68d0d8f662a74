// The raster's whole-picture operations (quarter turns, blits) work a byte
// or a block of bytes at a time, so that a label at the size cap turns and
// composes in well under a second; each is held dot for dot to the plain
// definition, at sizes that are not multiples of 8 and at offsets that cut
// the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "raster.h"

using qovrender::Raster;

namespace {

Raster pattern(int w, int h, std::uint32_t seed) {
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            if (seed >> 31) r.set(x, y);
        }
    return r;
}

Raster turnedDotByDot(const Raster& r, int d) {
    Raster out = d == 180 ? Raster(r.width(), r.height()) : Raster(r.height(), r.width());
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            if (!r.get(x, y)) continue;
            if (d == 90) out.set(r.height() - 1 - y, x);
            else if (d == 180) out.set(r.width() - 1 - x, r.height() - 1 - y);
            else out.set(y, r.width() - 1 - x);
        }
    return out;
}

}  // namespace

TEST(Raster, QuarterTurnsMatchTurningEachDot) {
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {7, 13}, {8, 8}, {16, 3}, {17, 31}, {64, 9}, {33, 65}, {200, 11}};
    for (const auto& s : sizes) {
        const Raster r = pattern(s[0], s[1], static_cast<std::uint32_t>(s[0] * 131 + s[1]));
        for (int d : {90, 180, 270, -90, 450}) {
            SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + " turned " + std::to_string(d));
            const int n = ((d % 360) + 360) % 360;
            const Raster turned = r.rotated(d);
            EXPECT_EQ(turned, turnedDotByDot(r, n));
            // Nothing lands in a row's padding: whole-byte counts stay exact.
            EXPECT_EQ(turned.inkCount(), r.inkCount());
        }
        EXPECT_EQ(r.rotated(90).rotated(90).rotated(90).rotated(90), r);
        EXPECT_EQ(r.rotated(0), r);
    }
}

TEST(Raster, FullyInkedPictureTurnsWithoutInkInThePadding) {
    Raster r(8000, 21);
    r.fillRect(0, 0, 8000, 21);
    const Raster turned = r.rotated(90);
    ASSERT_EQ(turned.width(), 21);
    ASSERT_EQ(turned.height(), 8000);
    EXPECT_EQ(turned.inkCount(), 8000LL * 21);
    EXPECT_EQ(turned.rotated(270), r);
}

TEST(Raster, BlitOrsInAtAnyOffsetAndClips) {
    const Raster src = pattern(37, 11, 7);
    const long long offsets[][2] = {{0, 0}, {3, 5}, {8, 1}, {-5, -3}, {-40, 0}, {60, 2}, {45, 20}, {1, -10}, {-1, 1},
                                   {-8, 0}, {-16, 4}, {-32, 0}, {16, 0}, {24, 3}, {48, 0}, {52, 0}, {53, 0}};
    for (const auto& o : offsets) {
        SCOPED_TRACE(std::to_string(o[0]) + "," + std::to_string(o[1]));
        Raster got = pattern(53, 23, 99);
        Raster want = got;
        got.blit(src, o[0], o[1]);
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x)
                if (src.get(x, y)) want.set(static_cast<int>(o[0] + x), static_cast<int>(o[1] + y));
        EXPECT_EQ(got, want);
    }
}

TEST(Raster, InkRowsEndAtTheLowestDotWhereverItSits) {
    // 17 dots across: the last column is alone in its row's last byte.
    EXPECT_EQ(Raster(17, 9).inkRows(), 0);
    const int dots[][2] = {{0, 0}, {16, 0}, {16, 8}, {0, 8}, {8, 4}, {7, 3}};
    for (const auto& d : dots) {
        Raster r(17, 9);
        r.set(d[0], d[1]);
        r.set(3, 1);
        EXPECT_EQ(r.inkRows(), std::max(d[1], 1) + 1) << d[0] << "," << d[1];
    }
}

TEST(Raster, RepeatRowCopiesARowDownWithinThePicture) {
    Raster r = pattern(21, 6, 5);
    Raster want = r;
    r.repeatRow(2, 100);
    for (int y = 3; y < 6; ++y)
        for (int x = 0; x < 21; ++x) want.set(x, y, want.get(x, 2));
    EXPECT_EQ(r, want);
    r.repeatRow(5, 3);  // the last row: nothing below it
    r.repeatRow(-1, 3);
    r.repeatRow(0, 0);
    EXPECT_EQ(r, want);
}
