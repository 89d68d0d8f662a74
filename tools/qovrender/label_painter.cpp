#include "label_painter.h"

#include <algorithm>
#include <cmath>

#include "barcode_drawer.h"
#include "text_codec.h"

namespace qovrender {

namespace {

void paintText(const TextElement& t, Raster& canvas, const ModelMetrics& m, GlyphDrawer& glyphs,
               const std::function<void(const std::string&)>& note) {
    TextRun run{t.text, t.cellW, t.cellH, t.font, t.twoByte, t.byEm, t.halfNarrow, t.letterSpace};
    Orientation o{t.rotation, t.col, t.row};
    if (t.reverse) {
        const long long above = t.cellH + std::llround(t.cellH * m.reverseMarginAbove);
        const long long below = std::llround(t.cellH * m.reverseMarginBelow);
        o.fill(canvas, 0, -above, glyphs.width(run), above + below, true);
    }
    const int missing = glyphs.draw(canvas, o, run, !t.reverse);
    if (missing > 0) note(std::to_string(missing) + " character(s) of \"" + encodeUtf8(t.text.substr(0, 20)) +
                          "\" have no glyph in the fonts");
}

}  // namespace

std::string paintLabel(const LabelModel& model, Raster& canvas, int dpi, const ModelMetrics& m, GlyphDrawer& glyphs,
                       const LogoLookup& logos, const std::function<void(const std::string&)>& note) {
    int texts = 0, rules = 0;
    std::string barcodes, logoNames, rfid;
    for (const Element& e : model.elements) {
        if (const auto* t = std::get_if<TextElement>(&e)) {
            ++texts;
            paintText(*t, canvas, m, glyphs, note);
        } else if (const auto* r = std::get_if<RuleElement>(&e)) {
            ++rules;
            canvas.fillRect(r->x, r->y, r->w, r->h);
        } else if (const auto* d = std::get_if<DiagonalElement>(&e)) {
            ++rules;
            // A band of the given thickness around the line through the
            // centres of the end dots.
            const double ax = d->x1 + 0.5, ay = d->y1 + 0.5, bx = d->x2 + 0.5, by = d->y2 + 0.5;
            const double len = std::hypot(bx - ax, by - ay);
            const double half = d->thickness / 2.0;
            const double nx = len > 0 ? -(by - ay) / len * half : 0, ny = len > 0 ? (bx - ax) / len * half : half;
            const double tx = len > 0 ? (bx - ax) / len * 0.5 : 0.5, ty = len > 0 ? (by - ay) / len * 0.5 : 0;
            const double xs[4] = {ax - tx + nx, bx + tx + nx, bx + tx - nx, ax - tx - nx};
            const double ys[4] = {ay - ty + ny, by + ty + ny, by + ty - ny, ay - ty - ny};
            canvas.fillConvex(xs, ys, 4);
        } else if (const auto* b = std::get_if<BarcodeElement>(&e)) {
            DrawnBarcode drawn;
            std::string error;
            if (!drawBarcode(*b, dpi, m, glyphs, drawn, error)) {
                note("barcode " + b->kindName + " \"" + b->data.substr(0, 40) + "\" not drawn: " + error);
                continue;
            }
            if (!drawn.note.empty()) note(drawn.note);
            canvas.blit(drawn.picture.rotated(b->rotation), b->col, b->row);
            barcodes += ", barcode " + b->kindName + " " + drawn.readable.substr(0, 40);
        } else if (const auto* l = std::get_if<LogoElement>(&e)) {
            const Raster* logo = logos ? logos(l->name) : nullptr;
            if (!logo) {
                note("logo " + l->name.substr(0, 40) + " is not stored; nothing drawn");
                continue;
            }
            canvas.blit(*logo, l->col, l->row);
            logoNames += ", logo " + l->name.substr(0, 40);
        } else if (const auto* f = std::get_if<RfidElement>(&e)) {
            rfid += ", " + f->summary;
        }
    }
    // Reverse areas invert what lies under them, in statement order, after
    // everything else is drawn.
    for (const Element& e : model.elements) {
        if (const auto* v = std::get_if<ReverseElement>(&e)) {
            ++rules;
            const long long x0 = std::max(0LL, v->x), y0 = std::max(0LL, v->y);
            const long long x1 = std::min<long long>(canvas.width(), v->x + v->w), y1 = std::min<long long>(canvas.height(), v->y + v->h);
            for (long long y = y0; y < y1; ++y)
                for (long long x = x0; x < x1; ++x) canvas.set(static_cast<int>(x), static_cast<int>(y), !canvas.get(static_cast<int>(x), static_cast<int>(y)));
        }
    }
    std::string s = std::to_string(texts) + " text, " + std::to_string(rules) + " lines" + barcodes + logoNames + rfid;
    return s;
}

}  // namespace qovrender
