// Conversion of a one-bit picture into a logo definition.
//
// The picture is `height` rows of `width` pixels, packed eight to a byte,
// most significant bit first; a 0 bit is a dot, a 1 bit is blank. Each row
// takes (width + 4) / 8 bytes, so widths 8k+1..8k+3 lose their last one to
// three pixels (a run still open there is dropped), and for other widths the
// low bits of a row's last byte beyond `width` are ignored.
//
// The definition is "~LOGO;<name>;<height>;<width>;", then for every row with
// dots LF, the row number (from 1) and ";first-last" (or ";col" for a single
// dot) per run of dots, columns from 1, and "\nEND" at the end.
#pragma once

#include <cstddef>
#include <string>

namespace qov {

// Bytes per picture row for `width`; 0 when the width leaves no whole byte.
std::size_t logoRowBytes(int width);

// The logo definition of the picture. The caller guarantees
// logoRowBytes(width) * height readable bytes at `picture` when height > 0.
std::string convertLogo(const unsigned char* picture, const char* name, int height, int width);

}  // namespace qov
