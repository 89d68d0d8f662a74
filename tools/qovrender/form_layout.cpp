#include "form_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "rfid_tag.h"
#include "text_codec.h"

namespace qovrender {

namespace {

struct Layout {
    const LayoutContext& ctx;
    const ModelMetrics& m;
    LabelModel& out;
    ElementSource source;  // of the elements added next

    long long dots(double inches) const { return std::llround(inches * ctx.dpi); }
    long long mils(double mils) const { return std::llround(mils * ctx.dpi / 1000.0); }
    void note(long long line, const std::string& text) const {
        if (ctx.note) ctx.note(line, text);
    }
    void add(Element e) {
        if (out.elements.size() >= m.maxElementsPerLabel) {
            out.truncated = true;
            return;
        }
        out.elements.push_back(std::move(e));
        out.sources.push_back(source);
    }

    std::string usable(const char* path) const { return path && ctx.glyphs.hasFile(path) ? path : std::string(); }

    // The face of a text element: §5.1/§5.2's table, NAME files and their
    // fallbacks, and the monospaced face of a fixed pitch.
    FontChoice font(const qovread::FontState& f, bool point, int cpi, char ocr, bool dark, long long line) const {
        FontChoice c;
        c.symset = f.symset;
        c.slant = f.slant;
        const bool bold = f.bold || dark;
        const FaceFile* entry = nullptr;
        auto byFace = [&](int face) -> const FaceFile* {
            for (const FaceFile& e : kFaceFiles) {
                if (e.face == face) return &e;
            }
            return nullptr;
        };
        if (ocr) {
            entry = byFace(ocr == 'A' ? 90993 : 91409);
        } else if (cpi > 0) {
            entry = nullptr;  // the monospaced default
        } else if (!f.name.empty()) {
            std::string stem = f.name;
            const std::size_t dot = stem.rfind('.');
            if (dot != std::string::npos && dot > 0) stem = stem.substr(0, dot);
            c.file = ctx.glyphs.findFont(stem);
            if (!c.file.empty()) {
                c.bold = bold;
                return c;
            }
            std::string upper;
            for (char ch : f.name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            for (const NameFallback& n : kNameFallbacks) {
                if (upper.compare(0, std::char_traits<char>::length(n.prefix), n.prefix) == 0) c.file = usable(n.file);
            }
            if (c.file.empty()) c.file = m.twoByteFont;
            if (ctx.noteFonts) note(f.nameLine ? f.nameLine : line, "font " + f.name + " is not installed; drawn with " + c.file);
            c.bold = bold;
            return c;
        } else if (f.face > 0) {
            entry = byFace(f.face);
            if (!entry && ctx.noteFonts) note(line, "FACE " + std::to_string(f.face) + " not known; the default face is used");
            if (!entry && point) entry = byFace(m.pointDefaultFace);
        } else if (point) {
            entry = byFace(m.pointDefaultFace);
        }
        if (entry) {
            const std::string boldFile = bold ? usable(entry->bold) : std::string();
            c.file = !boldFile.empty() ? boldFile : usable(entry->regular);
            c.bold = bold && boldFile.empty();
            if (c.file.empty() && ctx.noteFonts) note(line, std::string("font file ") + entry->regular + " is not installed; the default face is used");
        }
        if (c.file.empty()) {
            const std::string boldFile = bold ? usable(m.singleByteBoldFont) : std::string();
            c.file = boldFile;
            c.bold = bold && boldFile.empty();
        }
        return c;
    }

    void text(const qovread::TextElement& e, const qovread::LabelJob& job, long long copy,
              const std::map<int, std::string>& fields) {
        std::string data = e.data;
        if (e.field > 0) {
            auto it = job.data.find((e.incremental ? "IAF" : "AF") + std::to_string(e.field));
            if (it == job.data.end() && e.incremental) it = job.data.find("AF" + std::to_string(e.field));
            if (it == job.data.end()) return;  // a field without data draws nothing
            data = it->second;
        }
        if (e.incremental) {
            long long steps = copy / std::max(1, e.repeat);
            if (e.resetAfter > 0) steps %= e.resetAfter;
            data = stepIncrement(data, e.stepMask, steps);
        }
        data = qovread::replaceFields(data, fields);
        if (e.upper || ctx.setup.uppercase) {
            for (char& ch : data) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        if (data.empty()) return;
        TextElement t;
        t.row = dots(e.row);
        t.col = dots(e.col);
        t.rotation = e.rotation;
        t.reverse = e.reverse;
        t.twoByte = e.twoByte;
        t.halfNarrow = e.twoByte;
        t.font = font(e.font, e.point, e.cpi, e.ocr, e.dark, e.line);
        std::string remark;
        t.text = decodeLanguageText(data, e.font.iset, e.font.symset, e.twoByte, remark);
        if (!remark.empty() && ctx.noteFonts) note(e.line, remark);
        const long long maxCell = m.maxCellDots;
        if (e.point) {
            t.byEm = true;
            t.emH = std::clamp<long long>(std::llround(static_cast<double>(e.ve) * ctx.dpi / m.pointsPerInch), 1, maxCell);
            t.emW = e.he > 0 ? std::clamp<long long>(std::llround(static_cast<double>(e.he) * ctx.dpi / m.pointsPerInch), 1, maxCell) : t.emH;
            t.cellH = t.emH;
            t.cellW = t.emW;
        } else if (e.twoByte && e.twoByteCell > 0) {
            t.cellH = static_cast<long long>(e.twoByteCell) * std::max(1L, e.ve);
            t.cellW = static_cast<long long>(e.twoByteCell) * std::max(1L, e.he);
        } else {
            t.cellH = mils(static_cast<double>(m.cellHeightMils) * std::max(1L, e.ve));
            const double widthMils = e.he > 0 ? static_cast<double>(m.cellWidthMils) * e.he
                                     : e.cpi > 0 ? 1000.0 / e.cpi
                                                 : m.cellWidthMils;
            t.cellW = mils(widthMils);
            if (e.elongated) t.cellH *= m.expandedHeightFactor;
        }
        t.cellH = std::clamp<long long>(t.cellH, 1, maxCell);
        t.cellW = std::clamp<long long>(t.cellW, 1, maxCell);
        if (e.letterSpace.given) t.letterSpace = e.letterSpace.dots ? std::llround(e.letterSpace.value) : dots(e.letterSpace.value);
        add(std::move(t));
    }

    void rule(const qovread::RuleElement& r) {
        const long long tr = std::max(1LL, dots(r.thickRows)), tc = std::max(1LL, dots(r.thickCols));
        const long long y1 = dots(r.r1), y2 = dots(r.r2), x1 = dots(r.c1), x2 = dots(r.c2);
        switch (r.kind) {
        case qovread::RuleKind::Horz: return add(RuleElement{x1, y1, std::max(1LL, x2 - x1), tr});
        case qovread::RuleKind::Vert: return add(RuleElement{x1, y1, tc, std::max(1LL, y2 - y1)});
        case qovread::RuleKind::Box:
            // The sides grow down and right; the horizontal ones reach over
            // the right side's thickness so that the corners close.
            add(RuleElement{x1, y1, x2 - x1 + tc, tr});
            add(RuleElement{x1, y2, x2 - x1 + tc, tr});
            add(RuleElement{x1, y1, tc, y2 - y1 + tr});
            return add(RuleElement{x2, y1, tc, y2 - y1 + tr});
        case qovread::RuleKind::Corner: {
            const long long vl = std::max(1LL, dots(r.legRows)), hl = std::max(1LL, dots(r.legCols));
            add(RuleElement{x1, y1, hl, tr});
            add(RuleElement{x1, y1, tc, vl});
            add(RuleElement{x2 - hl + tc, y1, hl, tr});
            add(RuleElement{x2, y1, tc, vl});
            add(RuleElement{x1, y2, hl, tr});
            add(RuleElement{x1, y2 - vl + tr, tc, vl});
            add(RuleElement{x2 - hl + tc, y2, hl, tr});
            return add(RuleElement{x2, y2 - vl + tr, tc, vl});
        }
        case qovread::RuleKind::Reverse: return add(ReverseElement{x1, y1, x2 - x1, y2 - y1});
        case qovread::RuleKind::Diag: {
            DiagonalElement d;
            d.x1 = static_cast<double>(x1);
            d.y1 = static_cast<double>(y1);
            d.x2 = static_cast<double>(x2);
            d.y2 = static_cast<double>(y2);
            d.thickness = static_cast<double>(tr);
            return add(d);
        }
        }
    }

    void barcode(const qovread::BarcodeElement& e, const qovread::LabelJob& job) {
        static const struct {
            const char* word;
            BarcodeKind kind;
        } kKinds[] = {{"C3/9", BarcodeKind::Code39},     {"C3/9CD", BarcodeKind::Code39},   {"C128A", BarcodeKind::Code128A},
                      {"C128B", BarcodeKind::Code128B},  {"C128C", BarcodeKind::Code128C},  {"UCC-128", BarcodeKind::Ucc128},
                      {"CODE 93", BarcodeKind::Code93},  {"CODE93", BarcodeKind::Code93},   {"CODABAR", BarcodeKind::Codabar},
                      {"I-2/5", BarcodeKind::Interleaved25}, {"I2/5", BarcodeKind::Interleaved25}, {"ITF14", BarcodeKind::Itf14},
                      {"I25GERMAN", BarcodeKind::Leitcode}, {"UPC-A", BarcodeKind::UpcA},   {"UPC-E", BarcodeKind::UpcE},
                      {"UPC-E0", BarcodeKind::UpcE},     {"EAN8", BarcodeKind::Ean8},       {"EAN13", BarcodeKind::Ean13},
                      {"MSI", BarcodeKind::Msi},         {"FIM", BarcodeKind::Fim},         {"PDF417", BarcodeKind::Pdf417},
                      {"QRCODE", BarcodeKind::QrCode},   {"DATAMATRIX", BarcodeKind::DataMatrix},
                      {"MAXICODE", BarcodeKind::MaxiCode}, {"AZTEC", BarcodeKind::Aztec}};
        BarcodeElement b;
        for (const auto& k : kKinds) {
            if (e.keyword == k.word) b.kind = k.kind;
        }
        b.kindName = e.keyword;
        b.checkDigit = e.keyword == "C3/9CD";
        b.data = e.data;
        if (e.field > 0) {
            auto it = job.data.find("BF" + std::to_string(e.field));
            if (it == job.data.end()) return;  // a barcode field without data is left out
            b.data = it->second;
        }
        if (b.data.empty()) return;
        b.row = dots(e.row);
        b.col = dots(e.col);
        b.rotation = e.rotation;
        b.font.symset = e.font.symset;
        const bool upcEan = b.kind == BarcodeKind::UpcA || b.kind == BarcodeKind::UpcE || b.kind == BarcodeKind::Ean8 ||
                            b.kind == BarcodeKind::Ean13;
        const bool twoD = b.kind == BarcodeKind::QrCode || b.kind == BarcodeKind::Pdf417 || b.kind == BarcodeKind::DataMatrix ||
                          b.kind == BarcodeKind::MaxiCode || b.kind == BarcodeKind::Aztec;
        // The narrow module: Xn counts 1/60-inch dots, XnD printer dots;
        // XR / XRD give the narrow bar first.
        long long module;
        if (!e.widths.empty()) {
            module = e.widthsDots ? e.widths[0] : std::llround(static_cast<double>(e.widths[0]) * ctx.dpi / m.moduleGridDpi);
        } else if (e.module.given) {
            module = e.module.dots ? std::llround(e.module.value) : dots(e.module.value);
        } else {
            module = std::llround(static_cast<double>(m.twoDModuleGridDots) * ctx.dpi / m.moduleGridDpi);
        }
        b.module = static_cast<int>(std::clamp<long long>(module, 1, m.maxModuleDots));
        if (e.rowHeight.given) b.rowHeight = static_cast<int>(std::max(1LL, e.rowHeight.dots ? std::llround(e.rowHeight.value) : dots(e.rowHeight.value)));
        b.ecc = e.ecc;
        b.model = e.model;
        b.mask = e.keyword == "MAXICODE" ? e.mode : e.mask;
        b.rows = e.rows;
        b.cols = e.cols;
        if (b.kind == BarcodeKind::Pdf417) {
            if (e.height > 0) b.fitHeight = dots(e.height);
            else if (e.width > 0) b.fitWidth = dots(e.width);
            b.aspectHeight = e.aspectHeight > 0 ? e.aspectHeight : m.pdf417AspectHeight;
            b.aspectWidth = e.aspectWidth > 0 ? e.aspectWidth : m.pdf417AspectWidth;
        }
        int readable = e.readable;
        if (readable < 0 && upcEan) readable = 0;
        b.humanReadable = readable == 0 ? 1 : readable == 1 ? 2 : 0;
        if (!twoD) {
            const double whole = e.height >= 0 ? e.height : (upcEan ? m.upcaBarHeightMils : m.barHeightMils) / 1000.0;
            b.guard = mils(m.guardBandMils);
            const long long band = b.humanReadable ? mils(m.humanReadableMils) : 0;
            const long long bars = dots(whole) - 2 * b.guard - band;
            if (bars < mils(m.minBarMils)) {
                note(e.line, "barcode height " + std::to_string(whole).substr(0, 4) + " in leaves no room for its bars; left out");
                return;
            }
            b.barHeight = std::min<long long>(bars, m.maxBarHeightDots);
            if (upcEan && b.humanReadable == 1 && ctx.setup.upcDescenders) b.descender = std::min(band, mils(m.upcDescenderMils));
        }
        add(std::move(b));
    }
};

ElementSource sourceOf(const qovread::Element& e, int item) {
    static const char* const kRules[] = {"line", "line", "box", "corners", "reverse", "line"};
    static const char* const kKinds[] = {"text", "", "barcode", "logo", "text", "rfid"};
    ElementSource s;
    s.item = item;
    s.line = std::visit([](const auto& x) { return x.line; }, e);
    const auto* r = std::get_if<qovread::RuleElement>(&e);
    // An element kind added to the reader later is reported as "other" until named here.
    const std::size_t kinds = sizeof kKinds / sizeof kKinds[0];
    const std::size_t rules = sizeof kRules / sizeof kRules[0];
    if (r) s.kind = static_cast<std::size_t>(r->kind) < rules ? kRules[static_cast<int>(r->kind)] : "other";
    else s.kind = e.index() < kinds ? kKinds[e.index()] : "other";
    return s;
}

}  // namespace

std::string stepIncrement(const std::string& start, const std::string& mask, long long steps) {
    if (steps <= 0 || mask.empty()) return start;
    const bool down = mask[0] == '-';
    std::string digits = mask[0] == '+' || mask[0] == '-' ? mask.substr(1) : mask;
    long long step = 0;
    for (char c : digits) {
        if (c >= '0' && c <= '9' && step < 100000000LL) step = step * 10 + (c - '0');
    }
    // Adds step x steps to the digit positions, from the right, carrying
    // over anything that is not a digit; a carry off the left end is lost.
    std::string out = start;
    unsigned long long add = static_cast<unsigned long long>(step) * static_cast<unsigned long long>(std::min(steps, 100000000LL));
    int carry = 0;
    for (std::size_t i = out.size(); i-- > 0 && (add > 0 || carry != 0);) {
        if (out[i] < '0' || out[i] > '9') continue;
        const int d = out[i] - '0';
        const int delta = static_cast<int>(add % 10);
        add /= 10;
        int v = down ? d - delta - carry : d + delta + carry;
        carry = 0;
        if (v > 9) { v -= 10; carry = 1; }
        if (v < 0) { v += 10; carry = 1; }
        out[i] = static_cast<char>('0' + v);
    }
    return out;
}

LabelModel layoutForm(const qovread::Form& form, const qovread::LabelJob& job, long long copy,
                      const std::map<int, std::string>& fields, const LayoutContext& ctx) {
    LabelModel out;
    Layout l{ctx, ctx.metrics, out, {}};
    int item = 0;
    for (const qovread::Element& e : form.elements) {
        l.source = sourceOf(e, item++);
        if (const auto* t = std::get_if<qovread::TextElement>(&e)) l.text(*t, job, copy, fields);
        else if (const auto* r = std::get_if<qovread::RuleElement>(&e)) l.rule(*r);
        else if (const auto* b = std::get_if<qovread::BarcodeElement>(&e)) l.barcode(*b, job);
        else if (const auto* g = std::get_if<qovread::LogoElement>(&e)) {
            std::string name = g->name;
            if (g->field > 0) {
                auto it = job.data.find("GF" + std::to_string(g->field));
                if (it == job.data.end()) continue;
                name = it->second;
            }
            l.add(LogoElement{l.dots(g->row), l.dots(g->col), name});
        } else if (const auto* p = std::get_if<qovread::PageElement>(&e)) {
            TextElement t;
            t.row = l.dots(p->row);
            t.col = l.dots(p->col);
            t.cellH = l.mils(ctx.metrics.cellHeightMils);
            t.cellW = l.mils(1000.0 / ctx.metrics.pageNumberCpi);
            t.font = l.font(qovread::FontState(), false, 0, 0, false, p->line);
            const std::string n = std::to_string(job.firstPage + copy);
            t.text.assign(n.begin(), n.end());
            l.add(std::move(t));
        } else if (const auto* f = std::get_if<qovread::RfidElement>(&e)) {
            static const char* const kKinds[] = {"RFID write", "RFID read", "RFID verify", "RFID host out"};
            std::string s = kKinds[static_cast<int>(f->kind)];
            if (f->kind == qovread::RfidKind::Write || f->kind == qovread::RfidKind::Read) {
                s += " " + std::to_string(f->size) + " bits " + f->bank;
                for (const qovread::RfidField& x : f->fields) s += (x.data.empty() ? "" : " " + x.data.substr(0, 40));
            } else if (f->kind == qovread::RfidKind::Verify) {
                s += " DF" + std::to_string(f->field);
            }
            l.add(RfidElement{s});
        }
    }
    layoutText(job.overlay, ctx, out);
    return out;
}

void layoutText(const qovread::TextPage& page, const LayoutContext& ctx, LabelModel& out) {
    Layout l{ctx, ctx.metrics, out, {}};
    for (const qovread::TextLine& line : page.lines) {
        if (line.bytes.find_first_not_of(' ') == std::string::npos) continue;
        // Each run of non-blank characters keeps its column, so blanks cost nothing.
        std::size_t i = 0;
        while (i < line.bytes.size()) {
            const std::size_t a = line.bytes.find_first_not_of(' ', i);
            if (a == std::string::npos) break;
            std::size_t b = line.bytes.find(' ', a);
            while (b != std::string::npos && b + 1 < line.bytes.size() && line.bytes[b + 1] != ' ') b = line.bytes.find(' ', b + 1);
            if (b == std::string::npos) b = line.bytes.size();
            l.source = ElementSource{line.line, -1, "text"};
            TextElement t;
            t.row = l.dots(line.baseline);
            t.cellH = l.dots(line.cellHeight);
            t.cellW = l.dots(line.advance);
            t.col = static_cast<long long>(a) * t.cellW;
            t.font = l.font(page.font, false, 0, 0, false, line.line);
            std::string remark;
            t.text = decodeLanguageText(line.bytes.substr(a, b - a), page.font.iset, page.font.symset, false, remark);
            if (ctx.setup.uppercase) {
                for (char32_t& c : t.text) c = c < 0x80 ? static_cast<char32_t>(std::toupper(static_cast<int>(c))) : c;
            }
            l.add(std::move(t));
            i = b;
        }
    }
}

}  // namespace qovrender
