// Characters into dots with FreeType, monochrome: each character stands in
// a cell of the element's width on the baseline, capitals as tall as the
// cell; two-byte characters (and any the monospaced font lacks) come from
// the CJK font.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "label_model.h"
#include "model_metrics.h"
#include "raster.h"

namespace qovrender {

struct TextRun {
    std::u32string text;
    long long cellW = 0, cellH = 0;
    FontChoice font;
    bool twoByte = false;
    bool byEm = false;            // POINT text: cellH x cellW is the em square, advances are the face's
    bool halfNarrow = false;      // single-byte characters take half a cell
    long long letterSpace = 0;
};

class GlyphDrawer {
public:
    explicit GlyphDrawer(const ModelMetrics& metrics);
    ~GlyphDrawer();
    GlyphDrawer(const GlyphDrawer&) = delete;
    GlyphDrawer& operator=(const GlyphDrawer&) = delete;

    // Width of the run in dots (its cells).
    long long width(const TextRun& run);
    // Draws the run with its baseline start at the orientation's origin;
    // `ink` false clears dots (reverse printing). Returns the characters
    // that no font has (drawn as the font's missing-glyph box).
    int draw(Raster& r, const Orientation& o, const TextRun& run, bool ink);
    // Finds an installed font file for FONT;NAME; empty when none.
    std::string findFont(const std::string& name) const;
    // True when the font file exists (remembered per path).
    bool hasFile(const std::string& path);
    // True once the default fonts are loaded; `error` says why not.
    bool ready(std::string& error);

private:
    struct Face;
    struct Glyph {
        int left = 0, top = 0, width = 0, rows = 0;
        std::vector<std::uint8_t> bits;  // one byte per dot
    };
    Face* face(const std::string& path);
    int cellsOf(char32_t c, bool twoByte) const;
    // Where the next character starts, and the em size to draw this one at.
    struct Step {
        Face* face = nullptr;
        unsigned index = 0;
        double xPpem = 0, yPpem = 0;
        long long advance = 0;
    };
    Step step(char32_t c, const TextRun& run, Face* primary, Face* cjk, bool& missing);
    const Glyph* glyph(Face* f, unsigned index, long long xPpem64, long long yPpem64, bool bold, int slant);

    const ModelMetrics& m_;
    void* library_ = nullptr;  // FT_Library
    std::map<std::string, std::unique_ptr<Face>> faces_;
    std::map<std::tuple<Face*, unsigned, long long, long long, bool, int>, Glyph> cache_;
    std::size_t cacheBytes_ = 0;
    std::map<std::string, bool> files_;
    std::string error_;
};

}  // namespace qovrender
