// A label model drawn into a raster, element by element, in order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "form_layout.h"
#include "glyph_drawer.h"
#include "label_model.h"
#include "raster.h"

namespace qovrender {

using LogoLookup = std::function<const Raster*(const std::string& name)>;

// Draws every element and returns what the label holds, in words
// ("2 text, 5 lines, 1 barcode C128B QOV-000123, ..."). With `drawn`, also
// lists each element of the form as drawn (the rules of one BOX as one),
// in statement order; elements that could not be drawn are left out.
std::string paintLabel(const LabelModel& model, Raster& canvas, int dpi, const ModelMetrics& m, GlyphDrawer& glyphs,
                       const LogoLookup& logos, const std::function<void(const std::string&)>& note,
                       std::vector<DrawnElement>* drawn = nullptr);

}  // namespace qovrender
