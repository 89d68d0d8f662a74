// The renderer's front: bytes as a printer receives them, in chunks of any
// size, into stored forms and logos and, on every ~EXECUTE, a picture of the
// label. It needs no files: the caller decides what to do with each label.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "form_parser.h"
#include "glyph_drawer.h"
#include "label_model.h"
#include "model_metrics.h"
#include "raster.h"

namespace qovrender {

struct StoredForm {
    LabelModel model;
    long long line = 0;  // where its definition began
};

// What the printer keeps between labels and connections.
struct PrinterMemory {
    std::map<std::string, StoredForm> forms;
    std::map<std::string, Raster> logos;
    int paperWidthMils = 4000;
    int paperLengthMils = 6000;
    int rotate = 0;
};

struct PrintedLabel {
    std::string form;
    long long copies = 1;
    long long line = 0;      // the ~EXECUTE line
    int dpi = 203;
    const Raster* picture = nullptr;
    std::string summary;     // what the label holds
};

struct RenderOptions {
    int dpi = 203;
    ModelMetrics metrics;
    int paperWidthMils = 0;   // 0: the metrics' default paper
    int paperLengthMils = 0;
};

class Renderer {
public:
    using LabelSink = std::function<void(const PrintedLabel&)>;

    // `shared` lets several inputs (the emulator's connections) use one
    // printer memory; without it the renderer keeps its own.
    Renderer(RenderOptions options, LabelSink onLabel, NoteSink onNote, PrinterMemory* shared = nullptr);
    ~Renderer();

    void feed(const char* data, std::size_t size);
    void feed(const std::string& bytes) { feed(bytes.data(), bytes.size()); }
    // End of input: a last line without line end is taken, an open block noted.
    void finish();

    long long line() const { return lineNo_; }
    long long labels() const { return labels_; }
    const PrinterMemory& memory() const { return *memory_; }
    GlyphDrawer& glyphs() { return glyphs_; }

private:
    enum class Mode { Command, FormBody, LogoRows, Raster, Skip };
    void onByte(char c);
    void onRasterByte(char c);
    void onLine();
    void onCommand(const std::string& line);
    void onBlockLine(const std::string& line);
    void closeBlock(const char* why);
    void finishForm();
    void finishLogo(bool raster);
    void execute(const std::string& line);
    void note(const std::string& text) { note(lineNo_, text); }
    void note(long long line, const std::string& text);

    RenderOptions options_;
    LabelSink onLabel_;
    NoteSink onNote_;
    std::unique_ptr<PrinterMemory> own_;
    PrinterMemory* memory_;
    GlyphDrawer glyphs_;

    Mode mode_ = Mode::Command;
    long long lineNo_ = 1;
    long long labels_ = 0;
    std::string line_;
    bool lineCut_ = false;
    bool lastWasCR_ = false;
    std::string skipEnd_;              // the line that ends a skipped block
    std::string blockName_;
    long long blockLine_ = 0;
    std::vector<FormLine> body_;
    std::size_t bodyBytes_ = 0;
    bool bodyOver_ = false;
    int logoHeight_ = 0, logoWidth_ = 0;
    std::string raster_;
    std::size_t rasterMatch_ = 0;
    bool rasterSkipLF_ = false;
    bool rasterTrailer_ = false;
};

}  // namespace qovrender
