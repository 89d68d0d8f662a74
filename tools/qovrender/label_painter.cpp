#include "label_painter.h"

#include <algorithm>
#include <cmath>

#include "barcode_drawer.h"
#include "text_codec.h"

namespace qovrender {

namespace {

// The box of the run's cells (from the baseline up by the cell height),
// turned about the start of its baseline.
void textBox(const Orientation& o, long long width, long long height, DrawnElement& d) {
    long long xa, ya, xb, yb;
    o.map(0, -height, xa, ya);
    o.map(std::max(1LL, width) - 1, -1, xb, yb);
    d.x = std::min(xa, xb);
    d.y = std::min(ya, yb);
    d.width = std::llabs(xb - xa) + 1;
    d.height = std::llabs(yb - ya) + 1;
}

void paintText(const TextElement& t, Raster& canvas, const ModelMetrics& m, GlyphDrawer& glyphs,
               const std::function<void(const std::string&)>& note, DrawnElement* drawn) {
    TextRun run{t.text, t.cellW, t.cellH, t.font, t.twoByte, t.byEm, t.halfNarrow, t.letterSpace};
    Orientation o{t.rotation, t.col, t.row};
    const long long width = t.reverse || drawn ? glyphs.width(run) : 0;
    if (t.reverse) {
        const long long above = t.cellH + std::llround(t.cellH * m.reverseMarginAbove);
        const long long below = std::llround(t.cellH * m.reverseMarginBelow);
        o.fill(canvas, 0, -above, width, above + below, true);
    }
    if (drawn) {
        textBox(o, width, t.cellH, *drawn);
        drawn->rotation = t.rotation;
        drawn->data = encodeUtf8(t.text);
    }
    const int missing = glyphs.draw(canvas, o, run, !t.reverse);
    if (missing > 0) note(std::to_string(missing) + " character(s) of \"" + encodeUtf8(t.text.substr(0, 20)) +
                          "\" have no glyph in the fonts");
}

}  // namespace

std::string paintLabel(const LabelModel& model, Raster& canvas, int dpi, const ModelMetrics& m, GlyphDrawer& glyphs,
                       const LogoLookup& logos, const std::function<void(const std::string&)>& note,
                       std::vector<DrawnElement>* drawn) {
    int texts = 0, rules = 0;
    std::string barcodes, logoNames, rfid;
    const ElementSource noSource;
    const ElementSource* last = nullptr;  // of the element drawn before
    for (std::size_t i = 0; i < model.elements.size(); ++i) {
        const Element& e = model.elements[i];
        DrawnElement here;
        DrawnElement* out = drawn ? &here : nullptr;
        if (const auto* t = std::get_if<TextElement>(&e)) {
            ++texts;
            paintText(*t, canvas, m, glyphs, note, out);
        } else if (const auto* r = std::get_if<RuleElement>(&e)) {
            ++rules;
            canvas.fillRect(r->x, r->y, r->w, r->h);
            if (out) *out = DrawnElement{"", "", 0, r->x, r->y, r->w, r->h, 0, ""};
        } else if (const auto* v = std::get_if<ReverseElement>(&e)) {
            if (out) *out = DrawnElement{"", "", 0, v->x, v->y, v->w, v->h, 0, ""};  // inverted below
        } else if (const auto* d = std::get_if<DiagonalElement>(&e)) {
            ++rules;
            if (out) {
                const double half = d->thickness / 2.0;
                const long long x0 = std::llround(std::min(d->x1, d->x2) - half), y0 = std::llround(std::min(d->y1, d->y2) - half);
                const long long x1 = std::llround(std::max(d->x1, d->x2) + half), y1 = std::llround(std::max(d->y1, d->y2) + half);
                *out = DrawnElement{"", "", 0, x0, y0, x1 - x0 + 1, y1 - y0 + 1, 0, ""};
            }
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
            DrawnBarcode symbol;
            std::string error;
            if (!drawBarcode(*b, dpi, m, glyphs, symbol, error)) {
                note("barcode " + b->kindName + " \"" + b->data.substr(0, 40) + "\" not drawn: " + error);
                continue;
            }
            if (!symbol.note.empty()) note(symbol.note);
            const Raster turned = symbol.picture.rotated(b->rotation);
            canvas.blit(turned, b->col, b->row);
            barcodes += ", barcode " + b->kindName + " " + symbol.readable.substr(0, 40);
            if (out) *out = DrawnElement{"", b->kindName, 0, b->col, b->row, turned.width(), turned.height(), b->rotation, b->data};
        } else if (const auto* l = std::get_if<LogoElement>(&e)) {
            const Raster* logo = logos ? logos(l->name) : nullptr;
            if (!logo) {
                note("logo " + l->name.substr(0, 40) + " is not stored; nothing drawn");
                continue;
            }
            canvas.blit(*logo, l->col, l->row);
            logoNames += ", logo " + l->name.substr(0, 40);
            if (out) *out = DrawnElement{"", "", 0, l->col, l->row, logo->width(), logo->height(), 0, l->name};
        } else if (const auto* f = std::get_if<RfidElement>(&e)) {
            rfid += ", " + f->summary;
            if (out) out->data = f->summary;
        }
        if (!out) continue;
        const ElementSource& source = i < model.sources.size() ? model.sources[i] : noSource;
        if (last && last->item >= 0 && last->item == source.item && last->line == source.line && !drawn->empty()) {
            // Another rule of the same BOX or CORNER: one element, its box grown.
            DrawnElement& d = drawn->back();
            const long long x1 = std::max(d.x + d.width, here.x + here.width), y1 = std::max(d.y + d.height, here.y + here.height);
            d.x = std::min(d.x, here.x);
            d.y = std::min(d.y, here.y);
            d.width = x1 - d.x;
            d.height = y1 - d.y;
            continue;
        }
        here.kind = source.kind;
        here.line = source.line;
        drawn->push_back(std::move(here));
        last = &source;
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
