#include "renderer.h"

#include <algorithm>
#include <cmath>

#include "label_painter.h"
#include "logo_decode.h"
#include "rfid_tag.h"
#include "text_codec.h"
#include "text_fields.h"

namespace qovrender {

namespace {

qovread::ReaderLimits limitsOf(const ModelMetrics& m) {
    qovread::ReaderLimits l;
    l.maxLine = m.maxLine;
    l.maxFormBytes = m.maxFormBytes;
    l.maxForms = m.maxForms;
    l.maxLogoBytes = m.maxLogoBytes;
    l.maxLogos = m.maxLogos;
    l.maxElements = m.maxElementsPerLabel;
    l.maxCopies = m.maxCopies;
    return l;
}

}  // namespace

Renderer::Renderer(RenderOptions options, LabelSink onLabel, NoteSink onNote, PrinterMemory* shared, GlyphDrawer* glyphs)
    : options_(std::move(options)), onLabel_(std::move(onLabel)), onNote_(std::move(onNote)),
      own_(shared ? nullptr : new PrinterMemory), memory_(shared ? shared : own_.get()),
      ownGlyphs_(glyphs ? nullptr : new GlyphDrawer(options_.metrics)), glyphs_(glyphs ? *glyphs : *ownGlyphs_) {
    if (options_.dpi < 100 || options_.dpi > 1200) options_.dpi = options_.metrics.defaultDpi;
    if (own_) {
        qovread::PrinterSetup& s = own_->language.setup;
        s.paperWidthMils = options_.paperWidthMils > 0 ? options_.paperWidthMils : options_.metrics.paperWidthMils;
        s.paperLengthMils = options_.paperLengthMils > 0 ? options_.paperLengthMils : options_.metrics.paperLengthMils;
    }
    reader_ = std::make_unique<qovread::JobReader>(*this, &memory_->language, limitsOf(options_.metrics));
}

Renderer::~Renderer() = default;

void Renderer::feed(const char* data, std::size_t size) { reader_->feed(data, size); }

void Renderer::finish() { reader_->finish(); }

void Renderer::note(long long line, const std::string& text, bool error) {
    if (onNote_) onNote_(line, text);
    if (onFlaggedNote_) onFlaggedNote_(line, text, error);
}

LayoutContext Renderer::context(bool noteFonts) {
    noted_.clear();
    // A remark about one element of a label is given once, not per element.
    return LayoutContext{options_.dpi, options_.metrics, glyphs_, memory_->language.setup,
                         [this](long long l, const std::string& t) {
                             if (noted_.size() < 256 && noted_.insert(std::to_string(l) + t).second) note(l, t, false);
                         },
                         noteFonts};
}

const Raster* Renderer::logo(const std::string& name) {
    auto it = memory_->language.logos.find(name);
    if (it == memory_->language.logos.end()) return nullptr;
    auto p = memory_->pictures.find(name);
    if (p != memory_->pictures.end() && p->second.first == it->second) return &p->second.second;
    const qovread::Logo& l = *it->second;
    Raster picture;
    std::string remark;
    bool ok = false;
    if (l.kind == qovread::Logo::Kind::Dots) ok = decodeLogoRows(l.height, l.width, l.rows, options_.metrics, picture, remark);
    else if (l.kind == qovread::Logo::Kind::Pcx) ok = decodePcx(l.image, options_.metrics, picture, remark);
    else ok = decodeTiff(l.image, options_.metrics, picture, remark);
    if (!remark.empty()) note(l.line, "logo " + qovread::shown(name) + ": " + remark, false);
    if (memory_->pictures.size() >= options_.metrics.maxLogos) memory_->pictures.clear();
    auto& slot = memory_->pictures[name];
    slot.first = it->second;
    slot.second = ok ? std::move(picture) : Raster();
    return ok ? &slot.second : nullptr;
}

void Renderer::emit(Raster& canvas, const PrintedLabel& base) {
    const int rotate = memory_->language.setup.rotate;
    const Raster turned = rotate ? canvas.rotated(rotate) : Raster();
    PrintedLabel label = base;
    label.dpi = options_.dpi;
    label.picture = rotate ? &turned : &canvas;
    const long long w = canvas.width(), h = canvas.height();
    for (DrawnElement& d : label.drawn) {
        // The boxes turn with the picture, clockwise.
        const long long x = d.x, y = d.y, dw = d.width, dh = d.height;
        if (rotate == 90) d = DrawnElement{d.kind, d.symbology, d.line, h - (y + dh), x, dh, dw, d.rotation, d.data};
        else if (rotate == 180) d.x = w - (x + dw), d.y = h - (y + dh);
        else if (rotate == 270) d = DrawnElement{d.kind, d.symbology, d.line, y, w - (x + dw), dh, dw, d.rotation, d.data};
        if (rotate) d.rotation = (d.rotation + rotate) % 360;
    }
    ++labels_;
    if (onLabel_) onLabel_(label);
}

void Renderer::textPage(const qovread::TextPage& page) {
    const ModelMetrics& m = options_.metrics;
    const qovread::PrinterSetup& s = memory_->language.setup;
    const int dpi = options_.dpi;
    const long long across = std::clamp<long long>(std::llround(s.paperWidthMils * dpi / 1000.0), 1, m.maxRasterColumns);
    const long long along = std::clamp<long long>(std::llround(s.paperLengthMils * dpi / 1000.0), 1, m.maxRasterRows);
    const bool quarter = s.rotate == 90 || s.rotate == 270;
    Raster canvas(static_cast<int>(quarter ? along : across), static_cast<int>(quarter ? across : along));
    LabelModel model;
    layoutText(page, context(true), model);
    PrintedLabel label;
    label.line = page.line;
    for (const Element& e : model.elements) {
        if (const auto* t = std::get_if<TextElement>(&e); t && label.texts.size() < 256) label.texts.push_back({encodeUtf8(t->text), 0});
    }
    label.summary = "text page, " + paintLabel(model, canvas, dpi, m, glyphs_, nullptr,
                                              [&](const std::string& t) { note(page.line, t, false); }, &label.drawn);
    emit(canvas, label);
}

void Renderer::label(const qovread::LabelJob& job) {
    if (!job.form) return;
    const qovread::Form& form = *job.form;
    const ModelMetrics& m = options_.metrics;
    const qovread::PrinterSetup& s = memory_->language.setup;
    const int dpi = options_.dpi;
    // One picture per page, or one per copy when the copies differ (PAGE
    // numbers, incremental fields).
    const long long pictures = form.counts ? std::min<long long>(job.copies, m.maxCopyPictures) : 1;
    if (form.counts && job.copies > pictures) {
        note(job.line, std::to_string(job.copies) + " copies; only the first " + std::to_string(pictures) + " are drawn", false);
    }
    if (!form.counts && job.copies > 1 && !form.noMotion) {
        note(job.line, "form " + qovread::shown(form.name) + ": one picture for " + std::to_string(job.copies) + " copies", false);
    }
    for (long long copy = 0; copy < pictures; ++copy) {
        qovread::SimulatedTag tag(++tags_);
        const qovread::TagRun run = tag.run(form, [this](long long l, const std::string& t) { note(l, t, false); });
        if (form.noMotion) continue;
        const bool first = copy == 0 && job.firstOfExecute;
        LabelModel model = layoutForm(form, job, copy, run.fields, context(first));
        double lengthInches = s.paperLengthMils / 1000.0;
        if (form.lengthKind == qovread::Form::Length::Dots) lengthInches = form.length;
        long long across = std::llround(s.paperWidthMils * dpi / 1000.0);
        long long along = std::llround(lengthInches * dpi);
        if (across > m.maxRasterColumns || along > m.maxRasterRows) {
            note(job.line, "label larger than " + std::to_string(m.maxRasterColumns) + " x " + std::to_string(m.maxRasterRows) +
                               " dots; cut to that size", false);
        }
        across = std::clamp<long long>(across, 1, m.maxRasterColumns);
        along = std::clamp<long long>(along, 1, m.maxRasterRows);
        if (first && form.lengthKind == qovread::Form::Length::Dots) {
            for (const Element& e : model.elements) {
                long long row = -1;
                if (const auto* t = std::get_if<TextElement>(&e)) row = t->row - (t->rotation == 180 ? 0 : t->cellH);
                else if (const auto* b = std::get_if<BarcodeElement>(&e)) row = b->row;
                else if (const auto* r = std::get_if<RuleElement>(&e)) row = r->y;
                if (row >= along) {
                    note(job.line, "form " + qovread::shown(form.name) + ": elements below its length of " +
                                       std::to_string(along) + " dots are cut off", false);
                    break;
                }
            }
        }
        const bool quarter = s.rotate == 90 || s.rotate == 270;
        Raster canvas(static_cast<int>(quarter ? along : across), static_cast<int>(quarter ? across : along));
        PrintedLabel label;
        label.form = form.name;
        label.copies = form.counts ? 1 : job.copies;
        label.line = job.line;
        for (const Element& e : model.elements) {
            if (const auto* t = std::get_if<TextElement>(&e); t && label.texts.size() < 256) {
                label.texts.push_back({encodeUtf8(t->text), t->rotation});
            }
        }
        label.summary = paintLabel(
            model, canvas, dpi, m, glyphs_, [this](const std::string& name) { return logo(name); },
            [&](const std::string& t) {
                if (first) note(job.line, "form " + qovread::shown(form.name) + ": " + t, false);
            },
            &label.drawn);
        if (form.lengthKind == qovread::Form::Length::Lowest) {
            Raster cut(canvas.width(), std::max(1, canvas.inkRows()));
            cut.blit(canvas, 0, 0);
            canvas = std::move(cut);
        }
        emit(canvas, label);
    }
}

}  // namespace qovrender
