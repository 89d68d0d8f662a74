// The renderer's front: bytes as a printer receives them, in chunks of any
// size, into stored forms and logos and, on every ~EXECUTE, a picture of the
// label. It needs no files: the caller decides what to do with each label.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "form_layout.h"
#include "glyph_drawer.h"
#include "job_reader.h"
#include "label_model.h"
#include "model_metrics.h"
#include "raster.h"

namespace qovrender {

// What the printer keeps between labels and connections: the reader's forms,
// logos and setup, and the logos decoded into pictures.
struct PrinterMemory {
    qovread::Memory language;
    std::map<std::string, std::pair<std::shared_ptr<const qovread::Logo>, Raster>> pictures;
};

struct PrintedLabel {
    std::string form;        // empty for a plain-text page
    long long copies = 1;
    long long line = 0;      // the ~EXECUTE line (or the page's first line)
    int dpi = 203;
    const Raster* picture = nullptr;
    std::string summary;     // what the label holds
    // The texts drawn, as UTF-8 with their rotation (0, 90, 180, 270).
    std::vector<std::pair<std::string, int>> texts;
    // Every element drawn, in dots of `picture` (after the paper rotation).
    std::vector<DrawnElement> drawn;
};

struct RenderOptions {
    int dpi = 203;
    ModelMetrics metrics;
    int paperWidthMils = 0;   // 0: the metrics' default paper
    int paperLengthMils = 0;
};

class Renderer : public qovread::ReaderSink {
public:
    using LabelSink = std::function<void(const PrintedLabel&)>;
    // A note with whether a printer would reject what it is about.
    using FlaggedNoteSink = std::function<void(long long line, const std::string& text, bool error)>;

    // `shared` lets several inputs (the emulator's connections) use one
    // printer memory; without it the renderer keeps its own.
    // `glyphs` lets renderers that run one after the other share a drawer
    // and the glyphs it keeps drawn (never two at once; it must outlive the
    // renderer); without it the renderer has its own.
    Renderer(RenderOptions options, LabelSink onLabel, NoteSink onNote, PrinterMemory* shared = nullptr,
             GlyphDrawer* glyphs = nullptr);
    ~Renderer() override;

    void feed(const char* data, std::size_t size);
    void feed(const std::string& bytes) { feed(bytes.data(), bytes.size()); }
    // End of input: a last line without line end is taken, an open block noted.
    void finish();

    long long line() const { return reader_->line(); }
    long long labels() const { return labels_; }
    const PrinterMemory& memory() const { return *memory_; }
    GlyphDrawer& glyphs() { return glyphs_; }
    // Notes go here too (after the NoteSink), with their error flag.
    void onFlaggedNote(FlaggedNoteSink sink) { onFlaggedNote_ = std::move(sink); }

private:
    void note(long long line, const std::string& text, bool error) override;
    void textPage(const qovread::TextPage& page) override;
    void label(const qovread::LabelJob& job) override;
    const Raster* logo(const std::string& name);
    void emit(Raster& canvas, const PrintedLabel& label);
    LayoutContext context(bool noteFonts);

    RenderOptions options_;
    LabelSink onLabel_;
    NoteSink onNote_;
    FlaggedNoteSink onFlaggedNote_;
    std::unique_ptr<PrinterMemory> own_;
    PrinterMemory* memory_;
    std::unique_ptr<GlyphDrawer> ownGlyphs_;
    GlyphDrawer& glyphs_;
    std::unique_ptr<qovread::JobReader> reader_;
    long long labels_ = 0;
    std::uint64_t tags_ = 0;
    std::set<std::string> noted_;
};

}  // namespace qovrender
