#include "form_parser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "text_codec.h"

namespace qovrender {

namespace {

std::string trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// A signed decimal of at most nine digits.
bool parseInt(const std::string& raw, long long& value) {
    const std::string t = trim(raw);
    std::size_t i = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i == t.size() || t.size() - i > 9) return false;
    long long v = 0;
    for (std::size_t k = i; k < t.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(t[k]))) return false;
        v = v * 10 + (t[k] - '0');
    }
    value = t[0] == '-' ? -v : v;
    return true;
}

// The text between a delimiter (the first byte) and its last repetition.
bool delimited(const std::string& s, std::string& text) {
    if (s.size() < 2) return false;
    const std::size_t last = s.rfind(s[0]);
    if (last == 0) return false;
    text = s.substr(1, last - 1);
    return true;
}

struct Scale {
    bool dot = false;
    long long columnsPerInch = 10;  // cpi, or h of the dot scale
    long long rowsPerInch = 6;      // lpi, or v of the dot scale
};

enum class Block { None, Alpha, TwoByte, Barcode, Box, Horz, Vert, Diag, Logo, RfidWrite, RfidRead };

struct KindName {
    const char* name;
    BarcodeKind kind;
};
const KindName kKinds[] = {
    {"C3/9", BarcodeKind::Code39},       {"C128A", BarcodeKind::Code128A},   {"C128B", BarcodeKind::Code128B},
    {"C128C", BarcodeKind::Code128C},    {"EAN13", BarcodeKind::Ean13},      {"UPC-A", BarcodeKind::UpcA},
    {"MAXICODE", BarcodeKind::MaxiCode}, {"QRCODE", BarcodeKind::QrCode},    {"PDF417", BarcodeKind::Pdf417},
    {"AZTEC", BarcodeKind::Aztec},       {"DATAMATRIX", BarcodeKind::DataMatrix}, {"EAN8", BarcodeKind::Ean8},
    {"I-2/5", BarcodeKind::Interleaved25}, {"CODABAR", BarcodeKind::Codabar}, {"UCC-128", BarcodeKind::Ucc128},
};

bool isTwoD(BarcodeKind k) {
    return k == BarcodeKind::MaxiCode || k == BarcodeKind::QrCode || k == BarcodeKind::Pdf417 ||
           k == BarcodeKind::Aztec || k == BarcodeKind::DataMatrix;
}

class Parser {
public:
    Parser(int dpi, const ModelMetrics& m, const FontFinder& findFont, const NoteSink& note)
        : dpi_(dpi), m_(m), findFont_(findFont), note_(note) {
        scale_.columnsPerInch = m.charScaleCpiDefault;
        scale_.rowsPerInch = m.charScaleLpiDefault;
    }

    LabelModel run(const std::vector<FormLine>& lines) {
        for (const FormLine& l : lines) {
            line_ = l.line;
            onLine(trim(l.text));
        }
        if (block_ != Block::None) noteHere("element block without STOP at the end of the form");
        if (pendingBarcode_) noteHere("barcode without data line, skipped");
        return std::move(model_);
    }

private:
    void noteHere(const std::string& text) {
        if (note_) note_(line_, text);
    }

    void add(Element e) {
        if (model_.elements.size() >= m_.maxElementsPerLabel) {
            if (!model_.truncated) noteHere("more than " + std::to_string(m_.maxElementsPerLabel) + " elements; the rest is dropped");
            model_.truncated = true;
            return;
        }
        model_.elements.push_back(std::move(e));
    }

    // Units into dots, rounded to the nearest dot.
    long long rowDots(long long v) const { return llround(static_cast<double>(v) * dpi_ / scale_.rowsPerInch); }
    long long colDots(long long v) const { return llround(static_cast<double>(v) * dpi_ / scale_.columnsPerInch); }
    long long milsDots(double mils) const { return llround(mils * dpi_ / 1000.0); }
    // Thickness of a line growing down (rows) or right (columns).
    long long thickRows(long long t) const {
        const double per = scale_.dot ? scale_.rowsPerInch : m_.charScaleThicknessRows;
        return std::max(1LL, llround(static_cast<double>(t) * dpi_ / per));
    }
    long long thickCols(long long t) const {
        const double per = scale_.dot ? scale_.columnsPerInch : m_.charScaleThicknessColumns;
        return std::max(1LL, llround(static_cast<double>(t) * dpi_ / per));
    }

    void onLine(const std::string& line) {
        if (line.empty()) return;
        const std::string word = upper(line);
        if (word == "STOP") {
            if (block_ == Block::None) noteHere("STOP without an element block");
            if (pendingBarcode_) noteHere("barcode without data line, skipped");
            pendingBarcode_ = false;
            block_ = Block::None;
            return;
        }
        if (block_ != Block::None) {
            onBlockLine(line);
            return;
        }
        static const struct { const char* word; Block block; } kBlocks[] = {
            {"ALPHA", Block::Alpha}, {"TWOBYTE", Block::TwoByte}, {"BARCODE", Block::Barcode},
            {"BOX", Block::Box},     {"HORZ", Block::Horz},       {"VERT", Block::Vert},
            {"DIAG", Block::Diag},   {"LOGO", Block::Logo},
        };
        for (const auto& b : kBlocks) {
            if (word == b.word) {
                block_ = b.block;
                return;
            }
        }
        if (startsWith(word, "RFWTAG;")) return startRfid(line, true);
        if (startsWith(word, "RFRTAG;")) return startRfid(line, false);
        if (startsWith(word, "VERIFY;")) {
            const auto f = split(line, ';');
            add(RfidElement{"RFID verify " + (f.size() > 1 ? f[1] : std::string("?"))});
            return;
        }
        if (startsWith(word, "FONT;") || word == "FONT") return onFont(line);
        if (startsWith(word, "SCALE;")) return onScale(word);
        if (startsWith(word, "ISET;")) return;  // character set for the host's text; the text arrives as UTF-8
        noteHere("unknown statement, skipped: " + line.substr(0, 60));
    }

    void onBlockLine(const std::string& line) {
        switch (block_) {
        case Block::Alpha: return onText(line, false);
        case Block::TwoByte: return onText(line, true);
        case Block::Barcode: return onBarcodeLine(line);
        case Block::Box:
        case Block::Horz:
        case Block::Vert:
        case Block::Diag: return onRule(line);
        case Block::Logo: return onLogo(line);
        case Block::RfidWrite:
        case Block::RfidRead: return onRfidField(line);
        case Block::None: return;
        }
    }

    void onScale(const std::string& word) {
        const auto f = split(word, ';');
        Scale s;
        long long a = 0, b = 0;
        const bool hasA = f.size() > 2 && !trim(f[2]).empty();
        const bool hasB = f.size() > 3 && !trim(f[3]).empty();
        if ((hasA && !parseInt(f[2], a)) || (hasB && !parseInt(f[3], b)) || f.size() > 4) {
            noteHere("malformed SCALE statement, skipped");
            return;
        }
        if (trim(f[1]) == "DOT") {
            s.dot = true;
            s.columnsPerInch = hasA ? a : m_.dotScaleColumnsDefault;
            s.rowsPerInch = hasB ? b : m_.dotScaleRowsDefault;
        } else if (trim(f[1]) == "CHAR") {
            s.rowsPerInch = hasA ? a : m_.charScaleLpiDefault;
            s.columnsPerInch = hasB ? b : m_.charScaleCpiDefault;
        } else {
            noteHere("unknown SCALE kind, skipped");
            return;
        }
        if (s.columnsPerInch < 1 || s.rowsPerInch < 1 || s.columnsPerInch > 100000 || s.rowsPerInch > 100000) {
            noteHere("SCALE values out of range (1 to 100000), skipped");
            return;
        }
        scale_ = s;
    }

    void onFont(const std::string& line) {
        const auto parts = split(line, ';');
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string p = trim(parts[i]);
            if (p.empty()) continue;
            const std::size_t sp = p.find(' ');
            const std::string key = upper(p.substr(0, sp));
            std::string value = sp == std::string::npos ? std::string() : trim(p.substr(sp + 1));
            if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') value = value.substr(1, value.size() - 2);
            const std::string v = upper(value);
            if (key == "NAME" || key == "FACE") {
                font_.file = findFont_ ? findFont_(value) : std::string();
                if (font_.file.empty()) noteHere("font " + value + " is not installed; the default font is used");
            } else if (key == "BOLD" && (v == "ON" || v == "OFF")) {
                font_.bold = v == "ON";
            } else if (key == "SLANT" && (v == "RIGHT" || v == "R" || v == "LEFT" || v == "L")) {
                font_.slant = (v == "RIGHT" || v == "R") ? 1 : -1;
            } else if (key == "SYMSET" && (v == "0" || v == "ASCII")) {
                font_.symset = Symset::Ascii;
            } else if (key == "SYMSET" && v == "1100") {
                font_.symset = Symset::Gb;
            } else if (key == "SYMSET" && v == "1101") {
                font_.symset = Symset::Big5;
            } else if (key == "SYMSET" && v == "1102") {
                font_.symset = Symset::Ksc;
            } else if (key == "SYMSET" && v == "1103") {
                font_.symset = Symset::Sjis;
            } else if (key == "SYMSET" && (v == "UTF8" || v == "UTF-8")) {
                font_.symset = Symset::Utf8;
            } else {
                noteHere("FONT part not understood, skipped: " + p.substr(0, 40));
            }
        }
    }

    void onText(const std::string& line, bool twoByte) {
        TextElement t;
        t.twoByte = twoByte;
        t.font = font_;
        bool expanded = false, point = false;
        long long cpi = 0;
        long long nums[4];
        int count = 0;
        std::size_t pos = 0;
        while (count < 4) {
            const std::size_t semi = line.find(';', pos);
            if (semi == std::string::npos) {
                noteHere("text element needs SR;SC;VE;HE; and delimited text, skipped");
                return;
            }
            const std::string tok = upper(trim(line.substr(pos, semi - pos)));
            pos = semi + 1;
            if (count == 0 && tok == "R") t.reverse = true;
            else if (count == 0 && tok == "E") expanded = true;
            else if (count == 0 && tok == "CW") t.rotation = 90;
            else if (count == 0 && tok == "INV") t.rotation = 180;
            else if (count == 0 && tok == "CCW") t.rotation = 270;
            else if (count == 0 && tok == "POINT") point = true;
            else if (count == 0 && tok.size() > 1 && tok[0] == 'C' && parseInt(tok.substr(1), cpi) && cpi > 0) continue;
            else if (parseInt(tok, nums[count])) ++count;
            else {
                noteHere("text option not understood, skipped: " + tok.substr(0, 20));
                return;
            }
        }
        std::string raw;
        if (!delimited(line.substr(pos), raw)) {
            noteHere("text without its closing delimiter, skipped");
            return;
        }
        long long ve = nums[2], he = nums[3];
        const long long maxVe = point ? m_.maxExpansion * 72LL / 10 : m_.maxExpansion;
        if (ve < 0 || he < 0 || ve > maxVe || he > maxVe) {
            noteHere("text expansion out of range (0 to " + std::to_string(maxVe) + "), skipped");
            return;
        }
        ve = std::max(ve, 1LL);
        he = std::max(he, 1LL);
        if (point) {
            t.cellH = llround(static_cast<double>(ve) * dpi_ / m_.pointsPerInch);
            t.cellW = llround(static_cast<double>(he) * dpi_ / m_.pointsPerInch);
        } else {
            t.cellH = milsDots(static_cast<double>(m_.cellHeightMils) * ve);
            const double widthMils = cpi > 0 ? 1000.0 / cpi : m_.cellWidthMils;
            t.cellW = milsDots(widthMils * he);
        }
        if (expanded) t.cellH *= m_.expandedHeightFactor;
        t.cellH = std::clamp(t.cellH, 1LL, static_cast<long long>(m_.maxCellDots));
        t.cellW = std::clamp(t.cellW, 1LL, static_cast<long long>(m_.maxCellDots));
        t.row = rowDots(nums[0]);
        t.col = colDots(nums[1]);
        t.text = decodeText(raw, t.font.symset);
        add(std::move(t));
    }

    void onRule(const std::string& line) {
        const auto f = split(line, ';');
        const std::size_t want = block_ == Block::Horz || block_ == Block::Vert ? 4 : 5;
        long long v[5] = {0, 0, 0, 0, 0};
        bool ok = f.size() == want;
        for (std::size_t i = 0; ok && i < want; ++i) ok = parseInt(f[i], v[i]);
        if (!ok) {
            noteHere("line element needs " + std::to_string(want) + " numbers, skipped");
            return;
        }
        if (v[0] < 0) {
            noteHere("negative line thickness, skipped");
            return;
        }
        const long long tr = thickRows(v[0]), tc = thickCols(v[0]);
        if (block_ == Block::Horz) {
            const long long y = rowDots(v[1]), x1 = colDots(std::min(v[2], v[3])), x2 = colDots(std::max(v[2], v[3]));
            add(RuleElement{x1, y, std::max(1LL, x2 - x1), tr});
        } else if (block_ == Block::Vert) {
            const long long x = colDots(v[1]), y1 = rowDots(std::min(v[2], v[3])), y2 = rowDots(std::max(v[2], v[3]));
            add(RuleElement{x, y1, tc, std::max(1LL, y2 - y1)});
        } else if (block_ == Block::Box) {
            const long long y1 = rowDots(std::min(v[1], v[3])), y2 = rowDots(std::max(v[1], v[3]));
            const long long x1 = colDots(std::min(v[2], v[4])), x2 = colDots(std::max(v[2], v[4]));
            // The sides grow down and right from the corners' rows and
            // columns; the horizontal sides reach over the right side's
            // thickness so that the corners close.
            add(RuleElement{x1, y1, x2 - x1 + tc, tr});
            add(RuleElement{x1, y2, x2 - x1 + tc, tr});
            add(RuleElement{x1, y1, tc, y2 - y1 + tr});
            add(RuleElement{x2, y1, tc, y2 - y1 + tr});
        } else {
            DiagonalElement d;
            d.y1 = static_cast<double>(rowDots(v[1]));
            d.x1 = static_cast<double>(colDots(v[2]));
            d.y2 = static_cast<double>(rowDots(v[3]));
            d.x2 = static_cast<double>(colDots(v[4]));
            d.thickness = static_cast<double>(tr);
            add(d);
        }
    }

    void onLogo(const std::string& line) {
        const std::size_t a = line.find(';');
        const std::size_t b = a == std::string::npos ? a : line.find(';', a + 1);
        long long r = 0, c = 0;
        if (b == std::string::npos || !parseInt(line.substr(0, a), r) || !parseInt(line.substr(a + 1, b - a - 1), c)) {
            noteHere("logo element needs row;column;name, skipped");
            return;
        }
        add(LogoElement{rowDots(r), colDots(c), line.substr(b + 1)});
    }

    void onBarcodeLine(const std::string& line) {
        const std::string word = upper(line);
        if (pendingBarcode_) {
            std::string data;
            if (!delimited(line, data)) {
                noteHere("barcode data line needs delimited data, barcode skipped");
                pendingBarcode_ = false;
                return;
            }
            barcode_.data = data;
            add(barcode_);
            lastWasBarcode_ = true;
            pendingBarcode_ = false;
            return;
        }
        if ((word == "PDF" || word == "PDF;A" || word == "PDF;B") && lastWasBarcode_) {
            auto* b = std::get_if<BarcodeElement>(&model_.elements.back());
            if (b) b->humanReadable = word == "PDF;A" ? 2 : 1;
            return;
        }
        lastWasBarcode_ = false;
        startBarcode(line);
    }

    void startBarcode(const std::string& line) {
        const auto f = split(line, ';');
        BarcodeElement b;
        b.font = font_;
        const std::string kind = upper(trim(f[0]));
        bool known = false;
        for (const auto& k : kKinds) {
            if (kind == k.name) {
                b.kind = k.kind;
                b.kindName = k.name;
                known = true;
            }
        }
        if (!known) {
            noteHere("unknown barcode kind, skipped: " + kind.substr(0, 20));
            return;
        }
        long long r = 0, c = 0;
        if (f.size() < 3 || !parseInt(f[f.size() - 2], r) || !parseInt(f[f.size() - 1], c)) {
            noteHere("barcode needs its row and column last, skipped");
            return;
        }
        const bool twoD = isTwoD(b.kind);
        b.module = static_cast<int>(std::max(1L, std::lround(static_cast<double>(m_.moduleDotsAt203) * dpi_ / m_.barcodeReferenceDpi)));
        b.barHeight = milsDots(b.kind == BarcodeKind::UpcA ? m_.upcaBarHeightMils : m_.barHeightMils);
        int modules = 0;
        for (std::size_t i = 1; i + 2 < f.size(); ++i) {
            const std::string o = upper(trim(f[i]));
            const std::string arg = o.size() > 1 ? o.substr(1) : std::string();
            long long n = 0;
            auto ignored = [&] { noteHere("option " + o.substr(0, 12) + " has no use for " + b.kindName + ", ignored"); };
            if (o == "CW") b.rotation = 90;
            else if (o == "INV") b.rotation = 180;
            else if (o == "CCW") b.rotation = 270;
            else if (o.empty()) continue;
            else if (o[0] == 'X' && parseInt(arg, n) && n >= 1 && n <= m_.maxModuleDots) {
                if (modules++ == 0) b.module = static_cast<int>(n);
                else noteHere("second X option ignored (wide elements keep the symbology's ratio)");
            } else if (o[0] == 'H' && !arg.empty()) {
                const std::size_t dot = arg.find('.');
                long long tenths = 0, dots = 0;
                if (!parseInt(arg.substr(0, dot), tenths) || tenths < 0 ||
                    (dot != std::string::npos && (!parseInt(arg.substr(dot + 1), dots) || dots < 0))) {
                    noteHere("bar height not understood, default kept: " + o.substr(0, 12));
                } else if (twoD) {
                    ignored();
                } else {
                    b.barHeight = std::min<long long>(milsDots(100.0 * tenths) + dots, m_.maxBarHeightDots);
                }
            } else if (o[0] == 'Y' && parseInt(arg, n) && n >= 1 && n <= m_.maxModuleDots * 10) {
                if (b.kind == BarcodeKind::Pdf417) b.rowHeight = static_cast<int>(n);
                else ignored();
            } else if (o[0] == 'T' && parseInt(arg, n) && n >= 0 && n <= 99) {
                // T: the QR model, or the MaxiCode mode (which M gives too).
                if (b.kind == BarcodeKind::QrCode) b.model = static_cast<int>(n);
                else if (b.kind == BarcodeKind::MaxiCode) b.mask = static_cast<int>(n);
                else ignored();
            } else if (o[0] == 'E' && parseInt(arg, n) && n >= 0 && n <= 99) {
                if (b.kind == BarcodeKind::QrCode || b.kind == BarcodeKind::Pdf417 || b.kind == BarcodeKind::Aztec)
                    b.ecc = static_cast<int>(n);
                else ignored();
            } else if (o[0] == 'M' && parseInt(arg, n) && n >= 0 && n <= 99) {
                if (b.kind == BarcodeKind::QrCode || b.kind == BarcodeKind::MaxiCode) b.mask = static_cast<int>(n);
                else ignored();
            } else {
                noteHere("barcode option not understood, ignored: " + o.substr(0, 12));
            }
        }
        b.row = rowDots(r);
        b.col = colDots(c);
        barcode_ = b;
        pendingBarcode_ = true;
    }

    void startRfid(const std::string& line, bool write) {
        const auto f = split(line, ';');
        std::string summary = write ? "RFID write" : "RFID read";
        for (std::size_t i = 1; i < f.size(); ++i) {
            long long n = 0;
            if (parseInt(f[i], n)) {
                summary += " " + std::to_string(n) + " bits";
                break;
            }
        }
        rfid_ = summary;
        rfidFields_ = 0;
        block_ = write ? Block::RfidWrite : Block::RfidRead;
        add(RfidElement{summary});
        rfidIndex_ = model_.elements.size() - 1;
    }

    void onRfidField(const std::string& line) {
        if (rfidIndex_ >= model_.elements.size()) return;
        auto* r = std::get_if<RfidElement>(&model_.elements[rfidIndex_]);
        if (!r || rfidFields_ >= 16) return;
        ++rfidFields_;
        const std::size_t star = line.find('*');
        std::string data;
        if (star != std::string::npos && delimited(line.substr(star), data)) r->summary += (rfidFields_ == 1 ? ": " : ", ") + data.substr(0, 40);
        else r->summary += (rfidFields_ == 1 ? ": " : ", ") + line.substr(0, 40);
    }

    int dpi_;
    const ModelMetrics& m_;
    const FontFinder& findFont_;
    const NoteSink& note_;
    long long line_ = 0;
    Scale scale_;
    FontChoice font_;
    Block block_ = Block::None;
    BarcodeElement barcode_;
    bool pendingBarcode_ = false;
    bool lastWasBarcode_ = false;
    std::string rfid_;
    int rfidFields_ = 0;
    std::size_t rfidIndex_ = 0;
    LabelModel model_;
};

}  // namespace

LabelModel parseForm(const std::vector<FormLine>& lines, int dpi, const ModelMetrics& metrics,
                     const FontFinder& findFont, const NoteSink& note) {
    return Parser(dpi, metrics, findFont, note).run(lines);
}

}  // namespace qovrender
