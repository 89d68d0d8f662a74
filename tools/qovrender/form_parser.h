// The statements of a stored form into a label model: units, fonts and the
// element blocks (ALPHA, TWOBYTE, BARCODE, BOX, HORZ, VERT, DIAG, LOGO, RFID).
// A statement that cannot be understood is noted with its line and skipped.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "label_model.h"
#include "model_metrics.h"

namespace qovrender {

struct FormLine {
    long long line = 0;  // line number in the input
    std::string text;
};

using NoteSink = std::function<void(long long line, const std::string& text)>;
// Finds the file of a font named in FONT;NAME; empty when none is installed.
using FontFinder = std::function<std::string(const std::string& name)>;

LabelModel parseForm(const std::vector<FormLine>& lines, int dpi, const ModelMetrics& metrics,
                     const FontFinder& findFont, const NoteSink& note);

}  // namespace qovrender
