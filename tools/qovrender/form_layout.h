// The reader's typed form, one copy of one page of data, into a label model
// in printer dots: text cells and POINT sizes, faces, dynamic and
// incremental data, barcode module widths and boxes, logos, PAGE numbers.
// Plain-text pages and overlay text are laid out the same way.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "glyph_drawer.h"
#include "job_model.h"
#include "label_model.h"
#include "model_metrics.h"

namespace qovrender {

using NoteSink = std::function<void(long long line, const std::string& text)>;

struct LayoutContext {
    int dpi = 203;
    const ModelMetrics& metrics;
    GlyphDrawer& glyphs;
    const qovread::PrinterSetup& setup;
    NoteSink note;               // notes with the line of the element
    bool noteFonts = true;       // font fallbacks noted (once per label, not per copy)
};

// `copy` counts from 0 within the page; `fields` are the values RFID reads
// put into DFn.
LabelModel layoutForm(const qovread::Form& form, const qovread::LabelJob& job, long long copy,
                      const std::map<int, std::string>& fields, const LayoutContext& ctx);

// Text lines (a plain-text page or a label's overlay) from the top-left corner.
void layoutText(const qovread::TextPage& page, const LayoutContext& ctx, LabelModel& out);

// The data of an incremental field after `steps` steps of its mask.
std::string stepIncrement(const std::string& start, const std::string& mask, long long steps);

}  // namespace qovrender
