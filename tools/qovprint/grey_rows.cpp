#include "grey_rows.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// A grey level below it is a dot (levels 2 .. 254).
inline int screenLevel(int y, int x) { return kCluster8[y & 7][x & 7] * 4 + 2; }

inline bool pure(std::uint8_t g) {
    return static_cast<std::uint8_t>(g - (kPureBlack + 1)) >= kPureWhite - kPureBlack - 1;
}

inline void setDot(std::uint8_t* out, int x) { out[x >> 3] &= static_cast<std::uint8_t>(~(0x80 >> (x & 7))); }

inline bool isEdge(const GreyRow& r, int x) {
    return (r.pureAbove[x - 1] | r.pureAbove[x] | r.pureAbove[x + 1] | r.pureHere[x - 1] | r.pureHere[x + 1] |
            r.pureBelow[x - 1] | r.pureBelow[x] | r.pureBelow[x + 1]) != 0;
}

// An edge dot: thresholded with what the row's previous edge dots left over
// (in 1/255 of a dot, within -128 .. 127). Ghostscript's anti-aliasing grows
// every bar by about a quarter dot, and a plain threshold turns a 2-dot
// module into 3 dots.
inline void edgeDot(std::uint8_t g, int x, int* carried, std::uint8_t* out) {
    const int ink = 255 - g + *carried;
    if (ink >= 128) {
        setDot(out, x);
        *carried = ink - 255;
    } else {
        *carried = ink;
    }
}

// Dots from..to-1 of the row, a dot at a time; out holds blank there.
void plainSpan(const GreyRow& r, int from, int to, int* carried, std::uint8_t* out) {
    for (int x = from; x < to; ++x) {
        const std::uint8_t g = r.grey[x];
        if (g <= kPureBlack)
            setDot(out, x);
        else if (g >= kPureWhite)
            continue;
        else if (isEdge(r, x))
            edgeDot(g, x, carried, out);
        else if (g < screenLevel(r.y, x))
            setDot(out, x);
    }
}

void blankRow(int width, std::uint8_t* out) { std::memset(out, 0xFF, static_cast<std::size_t>(width + 7) / 8); }

#if defined(__SSE2__)
// Bit i of a mask (dot i of 8) to bit 7 - i: the picture's first dot is a byte's top bit.
struct Reversed {
    std::uint8_t v[256];
    constexpr Reversed() : v() {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= 0x80 >> b;
            v[i] = static_cast<std::uint8_t>(r);
        }
    }
};
constexpr Reversed kReversed;

inline __m128i loadu(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

void wideRow(const GreyRow& r, std::uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i black = _mm_set1_epi8(static_cast<char>(kPureBlack));
    const __m128i white = _mm_set1_epi8(static_cast<char>(kPureWhite));
    alignas(16) std::uint8_t levels[16];
    for (int i = 0; i < 16; ++i) levels[i] = static_cast<std::uint8_t>(screenLevel(r.y, i));
    const __m128i screen = _mm_load_si128(reinterpret_cast<const __m128i*>(levels));  // 8-periodic
    int carried = 0;
    int x = 0;
    for (; x + 16 <= r.width; x += 16) {
        const __m128i g = loadu(r.grey + x);
        const __m128i isBlack = _mm_cmpeq_epi8(_mm_subs_epu8(g, black), zero);  // g <= black
        const __m128i isWhite = _mm_cmpeq_epi8(_mm_subs_epu8(white, g), zero);  // g >= white
        const __m128i lighter = _mm_cmpeq_epi8(_mm_subs_epu8(screen, g), zero);  // g >= level: no dot
        __m128i near = _mm_or_si128(_mm_or_si128(loadu(r.pureAbove + x - 1), loadu(r.pureAbove + x)),
                                    _mm_or_si128(loadu(r.pureAbove + x + 1), loadu(r.pureHere + x - 1)));
        near = _mm_or_si128(near, _mm_or_si128(_mm_or_si128(loadu(r.pureHere + x + 1), loadu(r.pureBelow + x - 1)),
                                               _mm_or_si128(loadu(r.pureBelow + x), loadu(r.pureBelow + x + 1))));
        const __m128i inside = _mm_cmpeq_epi8(near, zero);
        const __m128i grey = _mm_andnot_si128(_mm_or_si128(isBlack, isWhite), _mm_set1_epi8(-1));
        // Dots known now: black, and grey inside grey below its screen level.
        const __m128i dots = _mm_or_si128(isBlack, _mm_andnot_si128(lighter, _mm_and_si128(grey, inside)));
        const unsigned d = static_cast<unsigned>(_mm_movemask_epi8(dots));
        out[x >> 3] = static_cast<std::uint8_t>(~kReversed.v[d & 0xFF]);
        out[(x >> 3) + 1] = static_cast<std::uint8_t>(~kReversed.v[d >> 8]);
        // Edges, in order: each takes the remainder of the one before.
        unsigned e = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(inside, grey)));
        while (e) {
            const int i = __builtin_ctz(e);
            e &= e - 1;
            edgeDot(r.grey[x + i], x + i, &carried, out);
        }
    }
    if (x < r.width) {
        std::memset(out + (x >> 3), 0xFF, static_cast<std::size_t>(r.width + 7) / 8 - static_cast<std::size_t>(x >> 3));
        plainSpan(r, x, r.width, &carried, out);
    }
}
#endif

}  // namespace

bool markPure(const std::uint8_t* grey, int width, std::uint8_t* pureOut) {
    int x = 0;
    bool all = true;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    const __m128i black = _mm_set1_epi8(static_cast<char>(kPureBlack));
    const __m128i white = _mm_set1_epi8(static_cast<char>(kPureWhite));
    for (; x + 16 <= width; x += 16) {
        const __m128i g = loadu(grey + x);
        const __m128i p = _mm_or_si128(_mm_cmpeq_epi8(_mm_subs_epu8(g, black), zero),
                                       _mm_cmpeq_epi8(_mm_subs_epu8(white, g), zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pureOut + x), _mm_and_si128(p, one));
        all = all && _mm_movemask_epi8(p) == 0xFFFF;
    }
#endif
    for (; x < width; ++x) {
        pureOut[x] = pure(grey[x]);
        all = all && pureOut[x];
    }
    return all;
}

void greyRowToBitsPlain(const GreyRow& r, std::uint8_t* out) {
    blankRow(r.width, out);
    int carried = 0;
    plainSpan(r, 0, r.width, &carried, out);
}

void greyRowToBits(const GreyRow& r, std::uint8_t* out) {
#if defined(__SSE2__)
    wideRow(r, out);
#else
    greyRowToBitsPlain(r, out);
#endif
}

bool greyRowsWide() {
#if defined(__SSE2__)
    return true;
#else
    return false;
#endif
}

}  // namespace qovprint
