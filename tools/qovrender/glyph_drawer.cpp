#include "glyph_drawer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace qovrender {

struct GlyphDrawer::Face {
    FT_Face face = nullptr;
    bool twoByte = false;   // the CJK font: em box sized to the cell
    double advance = 0.6;   // advance of a character, share of the em
    double capHeight = 0.72;
    ~Face() {
        if (face) FT_Done_Face(face);
    }
};

namespace {

// East Asian wide characters: they come from the CJK font first.
bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

GlyphDrawer::GlyphDrawer(const ModelMetrics& metrics) : m_(metrics) {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) == 0) library_ = lib;
    else error_ = "FreeType could not start";
}

GlyphDrawer::~GlyphDrawer() {
    cache_.clear();
    faces_.clear();
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool GlyphDrawer::ready(std::string& error) {
    if (library_ && face(m_.singleByteFont) && face(m_.twoByteFont)) return true;
    error = error_;
    return false;
}

GlyphDrawer::Face* GlyphDrawer::face(const std::string& path) {
    auto it = faces_.find(path);
    if (it != faces_.end()) return it->second.get();
    if (!library_ || faces_.size() >= 16) return nullptr;
    auto f = std::make_unique<Face>();
    if (FT_New_Face(static_cast<FT_Library>(library_), path.c_str(), 0, &f->face) != 0 || !FT_IS_SCALABLE(f->face)) {
        error_ = "cannot load font " + path;
        faces_[path] = nullptr;
        return nullptr;
    }
    f->twoByte = path == m_.twoByteFont;
    const double em = f->face->units_per_EM ? f->face->units_per_EM : 2048;
    if (f->twoByte)
        f->advance = 1.0;  // ideographs fill the em square
    else if (FT_Load_Char(f->face, '0', FT_LOAD_NO_SCALE) == 0 && f->face->glyph->advance.x > 0)
        f->advance = f->face->glyph->advance.x / em;
    else if (f->face->max_advance_width > 0)
        f->advance = f->face->max_advance_width / em;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f->face, FT_SFNT_OS2));
    if (os2 && os2->version >= 2 && os2->sCapHeight > 0) f->capHeight = os2->sCapHeight / em;
    else if (FT_Load_Char(f->face, 'H', FT_LOAD_NO_SCALE) == 0 && f->face->glyph->metrics.height > 0)
        f->capHeight = f->face->glyph->metrics.height / em;
    Face* raw = f.get();
    faces_[path] = std::move(f);
    return raw;
}

std::string GlyphDrawer::findFont(const std::string& name) const {
    if (name.empty() || name.size() > 100 || name.find('/') != std::string::npos || name.find("..") != std::string::npos)
        return std::string();
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::error_code ec;
    std::filesystem::recursive_directory_iterator it(m_.fontSearchDir, ec), end;
    int seen = 0;
    for (; !ec && it != end && seen < 5000; it.increment(ec), ++seen) {
        if (!it->is_regular_file(ec)) continue;
        const std::string stem = it->path().stem().string(), ext = it->path().extension().string();
        std::string s;
        for (char c : stem) s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (s == lower && (ext == ".ttf" || ext == ".otf" || ext == ".ttc")) return it->path().string();
    }
    return std::string();
}

int GlyphDrawer::cellsOf(char32_t c, bool twoByte) const {
    return (twoByte || isWide(c)) && isWide(c) ? m_.twoByteCellsAcross : 1;
}

bool GlyphDrawer::hasFile(const std::string& path) {
    auto it = files_.find(path);
    if (it != files_.end()) return it->second;
    std::error_code ec;
    const bool there = std::filesystem::is_regular_file(path, ec);
    if (files_.size() < 256) files_[path] = there;
    return there;
}

GlyphDrawer::Step GlyphDrawer::step(char32_t c, const TextRun& run, Face* primary, Face* cjk, bool& missing) {
    Step s;
    missing = false;
    const int cells = cellsOf(c, run.twoByte);
    Face* order[2] = {primary, cjk};
    if (isWide(c)) std::swap(order[0], order[1]);
    for (Face* candidate : order) {
        if (!candidate) continue;
        s.index = FT_Get_Char_Index(candidate->face, c);
        if (s.index != 0) {
            s.face = candidate;
            break;
        }
    }
    if (!s.face) {
        s.face = primary ? primary : cjk;
        s.index = 0;
        missing = c != U' ';
    }
    const bool narrowHalf = run.halfNarrow && !isWide(c);
    if (run.byEm) {
        s.yPpem = static_cast<double>(run.cellH);
        s.xPpem = static_cast<double>(run.cellW);
        double adv = s.face ? s.face->advance : 0.6;
        if (s.face && FT_Load_Glyph(s.face->face, s.index, FT_LOAD_NO_SCALE) == 0) {
            const double em = s.face->face->units_per_EM ? s.face->face->units_per_EM : 2048;
            adv = s.face->face->glyph->advance.x / em;
        }
        s.advance = std::llround(adv * s.xPpem);
    } else {
        const long long cellW = narrowHalf ? std::max(1LL, run.cellW / 2) : run.cellW * cells;
        if (s.face && s.face->twoByte) {
            s.yPpem = run.cellH * m_.twoByteEmPerCellHeight;
            s.xPpem = static_cast<double>(cellW) / std::max(s.face->advance, 0.1);
        } else if (s.face) {
            s.yPpem = run.cellH / std::max(s.face->capHeight, 0.1);
            s.xPpem = static_cast<double>(cellW) / std::max(s.face->advance, 0.1);
        }
        s.advance = cellW;
    }
    s.advance += run.letterSpace;
    return s;
}

long long GlyphDrawer::width(const TextRun& run) {
    if (!run.byEm && !run.halfNarrow && run.letterSpace == 0) {
        long long cells = 0;
        for (char32_t c : run.text) cells += cellsOf(c, run.twoByte);
        return cells * run.cellW;
    }
    Face* mono = face(m_.singleByteFont);
    Face* cjk = face(m_.twoByteFont);
    Face* primary = run.font.file.empty() ? mono : face(run.font.file);
    if (!primary) primary = mono;
    long long x = 0;
    bool missing = false;
    for (char32_t c : run.text) x += step(c, run, primary, cjk, missing).advance;
    return x;
}

const GlyphDrawer::Glyph* GlyphDrawer::glyph(Face* f, unsigned index, long long xPpem64, long long yPpem64, bool bold,
                                             int slant) {
    const auto key = std::make_tuple(f, index, xPpem64, yPpem64, bold, slant);
    auto it = cache_.find(key);
    if (it != cache_.end()) return &it->second;
    if (cache_.size() >= m_.maxGlyphCache || cacheBytes_ > m_.maxGlyphCacheBytes) {
        cache_.clear();
        cacheBytes_ = 0;
    }
    FT_Face face = f->face;
    if (FT_Set_Char_Size(face, static_cast<FT_F26Dot6>(xPpem64), static_cast<FT_F26Dot6>(yPpem64), 72, 72) != 0)
        return nullptr;
    FT_Matrix shear{0x10000, 0, 0, 0x10000};
    if (slant != 0)
        shear.xy = static_cast<FT_Fixed>(std::lround(std::tan(m_.slantDegrees * M_PI / 180.0) * 65536.0)) * slant;
    FT_Set_Transform(face, &shear, nullptr);
    Glyph g;
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) == 0) {
        FT_GlyphSlot slot = face->glyph;
        if (bold && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            const FT_Pos strength = static_cast<FT_Pos>(std::lround(m_.boldStrength * yPpem64 * f->capHeight));
            FT_Outline_EmboldenXY(&slot->outline, strength, strength);
        }
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0) {
            const FT_Bitmap& b = slot->bitmap;
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = static_cast<int>(b.width);
            g.rows = static_cast<int>(b.rows);
            g.bits.assign(static_cast<std::size_t>(g.width) * g.rows, 0);
            for (int y = 0; y < g.rows; ++y) {
                const unsigned char* src = b.buffer + static_cast<std::ptrdiff_t>(y) * b.pitch;
                for (int x = 0; x < g.width; ++x)
                    g.bits[static_cast<std::size_t>(y) * g.width + x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
    }
    FT_Set_Transform(face, nullptr, nullptr);
    cacheBytes_ += g.bits.size() + sizeof g;
    return &(cache_[key] = std::move(g));
}

int GlyphDrawer::draw(Raster& r, const Orientation& o, const TextRun& run, bool ink) {
    Face* mono = face(m_.singleByteFont);
    Face* cjk = face(m_.twoByteFont);
    Face* primary = run.font.file.empty() ? mono : face(run.font.file);
    if (!primary) primary = mono;
    int missing = 0;
    long long x = 0;
    for (char32_t c : run.text) {
        bool lacks = false;
        const Step s = step(c, run, primary, cjk, lacks);
        if (lacks) ++missing;
        if (s.face && c != U' ' && s.xPpem > 0) {
            const Glyph* g = glyph(s.face, s.index, std::max(64L, std::lround(s.xPpem * 64)),
                                   std::max(64L, std::lround(s.yPpem * 64)), run.font.bold, run.font.slant);
            // Glyphs wholly outside the picture cost nothing (long texts of huge characters).
            long long ax, ay, bx, by;
            if (g) {
                o.map(x + g->left, -g->top, ax, ay);
                o.map(x + g->left + g->width - 1, g->rows - 1 - g->top, bx, by);
                if (std::max(ax, bx) < 0 || std::max(ay, by) < 0 || std::min(ax, bx) >= r.width() ||
                    std::min(ay, by) >= r.height())
                    g = nullptr;
            }
            if (g) {
                for (int gy = 0; gy < g->rows; ++gy)
                    for (int gx = 0; gx < g->width; ++gx)
                        if (g->bits[static_cast<std::size_t>(gy) * g->width + gx])
                            o.plot(r, x + g->left + gx, gy - g->top, ink);
            }
        }
        x += s.advance;
    }
    return missing;
}

}  // namespace qovrender
