#pragma once
// One row of 8-bit grey into the picture's bits: pure black is a dot, pure
// white none; a grey dot touching a pure one (an edge: anti-aliasing of a
// bar or a glyph) is thresholded at 50 % with the remainder carried along
// the row, so a bar keeps its width; grey inside grey is screened.
//
// Two forms with the same result: the plain one, a dot at a time, and the
// wide one (SSE2), sixteen at a time, used where the processor has it.
#include <cstdint>

namespace qovprint {

// Grey levels at or below kPureBlack count as black, at or above kPureWhite
// as white; the small tolerance keeps JPEG noise from looking like grey.
constexpr int kPureBlack = 8;
constexpr int kPureWhite = 247;

struct GreyRow {
    const std::uint8_t* grey;       // width levels
    // 1 where the dot of the row above, this row, the row below is pure, 0
    // where not; each readable one dot beyond both ends (0 there).
    const std::uint8_t* pureAbove;
    const std::uint8_t* pureHere;
    const std::uint8_t* pureBelow;
    int width;
    int y;                          // picks the screen's row
};

// Sets pure[x] to 1 where grey[x] is pure, else 0; true when all are pure.
bool markPure(const std::uint8_t* grey, int width, std::uint8_t* pure);

// Writes the row's bits to out ((width + 7) / 8 bytes, 0 = dot, 1 = blank,
// the padding blank).
void greyRowToBits(const GreyRow& row, std::uint8_t* out);
void greyRowToBitsPlain(const GreyRow& row, std::uint8_t* out);
bool greyRowsWide();  // whether greyRowToBits uses the wide form

}  // namespace qovprint
