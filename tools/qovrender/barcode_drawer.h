// Barcodes with libzint: the symbol's modules drawn at the element's module
// size and bar height, with the human-readable line when asked for, as an
// upright picture that the painter turns and places.
#pragma once

#include <string>

#include "glyph_drawer.h"
#include "label_model.h"
#include "model_metrics.h"
#include "raster.h"

namespace qovrender {

struct DrawnBarcode {
    Raster picture;          // upright; its top-left corner goes at (row, col) after turning
    std::string readable;    // the text as the symbology shows it (check digits included)
    std::string note;        // a remark for the user (options or data read another way)
};

// False with `error` when the data cannot be encoded in the symbology.
bool drawBarcode(const BarcodeElement& b, int dpi, const ModelMetrics& m, GlyphDrawer& glyphs, DrawnBarcode& out,
                 std::string& error);

}  // namespace qovrender
