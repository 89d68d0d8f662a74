#include "form_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "text_fields.h"

namespace qovread {

namespace {

// Character positions for `n.m`: always 6 lpi and 10 cpi, with dots of the
// 60 x 72 grid, whatever SCALE says.
constexpr double kCellRows = 6, kCellCols = 10, kGridRows = 72, kGridCols = 60;

bool isPosition(const std::string& s) {
    long long a = 0, b = 0;
    bool d = false;
    return readPosition(s, a, b, d);
}

bool upperWord(const std::string& s) {
    for (char c : s) {
        if (std::islower(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string upperCopy(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "X12" -> 12 when s starts with `prefix` followed by digits only.
bool numberAfter(const std::string& s, const char* prefix, long long& n) {
    return startsWith(s, prefix) && s.size() > std::char_traits<char>::length(prefix) &&
           readInt(s.substr(std::char_traits<char>::length(prefix)), n) && n >= 0;
}

}  // namespace

FormReader::FormReader(Form& form, const FontState& font, const ReaderLimits& limits, NoteFn note)
    : form_(form), limits_(limits), note_(std::move(note)), font_(font) {}

void FormReader::note(const std::string& text, bool error) const {
    if (note_) note_(line_, text, error);
}

void FormReader::add(Element e) {
    if (form_.elements.size() >= limits_.maxElements) {
        if (!capNoted_) note("more than " + std::to_string(limits_.maxElements) + " elements; the rest is dropped");
        capNoted_ = true;
        return;
    }
    form_.elements.push_back(std::move(e));
}

bool FormReader::row(const std::string& s, double& out) const {
    long long n = 0, m = 0;
    bool dots = false;
    if (!readPosition(s, n, m, dots)) return false;
    out = dots ? n / kCellRows + m / kGridRows : n / scale_.rows;
    return true;
}

bool FormReader::col(const std::string& s, double& out) const {
    long long n = 0, m = 0;
    bool dots = false;
    if (!readPosition(s, n, m, dots)) return false;
    out = dots ? n / kCellCols + m / kGridCols : n / scale_.cols;
    return true;
}

void FormReader::finish(long long lineNo) {
    line_ = lineNo;
    if (block_ == Block::Barcode && bar_ == Bar::Data) note("barcode without its data line; left out", true);
    if (block_ != Block::None) note("element block without STOP before END");
    block_ = Block::None;
}

void FormReader::line(const std::string& text, long long lineNo) {
    line_ = lineNo;
    if (text == "STOP") {
        if (block_ == Block::None) note("STOP without an element block");
        if (block_ == Block::Barcode && bar_ == Bar::Data) note("barcode without its data line; left out", true);
        if (block_ == Block::RfWrite || block_ == Block::RfRead) add(rfid_);
        block_ = Block::None;
        return;
    }
    switch (block_) {
    case Block::None: return setting(text);
    case Block::Alpha: return this->text(text, false);
    case Block::TwoByte: return this->text(text, true);
    case Block::Barcode: return barcodeLine(text);
    case Block::Logo: return logo(text);
    case Block::Page: return page(text);
    case Block::RfWrite:
    case Block::RfRead: return rfidField(text);
    default: return rule(text);
    }
}

void FormReader::setting(const std::string& text) {
    static const struct {
        const char* word;
        Block block;
    } kBlocks[] = {{"ALPHA", Block::Alpha}, {"TWOBYTE", Block::TwoByte}, {"BARCODE", Block::Barcode},
                   {"HORZ", Block::Horz},   {"VERT", Block::Vert},       {"BOX", Block::Box},
                   {"CORNER", Block::Corner}, {"REVERSE", Block::Reverse}, {"DIAG", Block::Diag},
                   {"LOGO", Block::Logo},   {"PAGE", Block::Page}};
    for (const auto& b : kBlocks) {
        if (text == b.word) {
            block_ = b.block;
            bar_ = Bar::Header;
            ++form_.blocks;
            return;
        }
    }
    const std::string word = splitFields(text)[0];
    if (startsWith(text, "RFWTAG;") || startsWith(text, "RFWTAG,")) return rfidHeader(text, true);
    if (startsWith(text, "RFRTAG;")) return rfidHeader(text, false);
    if (startsWith(text, "VERIFY;")) return verify(text, false);
    if (startsWith(text, "HOSTOUT;")) return verify(text, true);
    if (startsWith(text, "PAGE;")) return page(text.substr(5));
    if (word == "FONT") return font(text);
    if (word == "SCALE") return scale(text);
    if (word == "ISET") return iset(text);
    if (word == "LFORM6" || word == "LFORM8") {
        const auto f = splitFields(text);
        long long n = 0;
        if (f.size() != 2 || !readInt(f[1], n) || n < 1 || n > 65535) return note("LFORM needs a line count; ignored", true);
        form_.lengthKind = Form::Length::Dots;
        form_.length = static_cast<double>(n) / (word == "LFORM6" ? 6.0 : 8.0);
        return;
    }
    if (startsWith(text, "HDUP") || startsWith(text, "VDUP")) {
        return note("HDUP and VDUP are not drawn; the elements after it are drawn once");
    }
    if (!upperWord(word) && !upperCopy(word).empty()) {
        return note("keyword in lower case not recognised: " + shown(text), true);
    }
    note("unknown statement, skipped: " + shown(text), true);
}

void FormReader::font(const std::string& text) {
    const auto parts = splitFields(text);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string p = trimBlanks(parts[i]);
        if (p.empty()) continue;
        const std::size_t sp = p.find(' ');
        const std::string key = p.substr(0, sp);
        std::string v = sp == std::string::npos ? std::string() : trimBlanks(p.substr(sp + 1));
        if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') v = v.substr(1, v.size() - 2);
        long long n = 0;
        if (key == "FACE" && readInt(v, n) && n > 0) {
            font_.face = static_cast<int>(n);
            font_.name.clear();
        } else if (key == "NAME" && !v.empty()) {
            font_.name = v;
            font_.face = 0;
            font_.nameLine = line_;
        } else if (key == "BOLD" && (v == "ON" || v == "1" || v == "OFF" || v == "0")) {
            font_.bold = v == "ON" || v == "1";
        } else if (key == "SLANT" && (v == "0" || v == "OFF")) {
            font_.slant = 0;
        } else if (key == "SLANT" && (v == "1" || v == "RIGHT" || v == "ON")) {
            font_.slant = 1;
        } else if (key == "SLANT" && (v == "2" || v == "LEFT")) {
            font_.slant = -1;
        } else if (key == "SYMSET") {
            font_.symsetGiven = true;
            if (v == "0" || v == "ASCII") font_.symset = Symset::Ascii;
            else if (v == "1100") font_.symset = Symset::Gb;
            else if (v == "1101") font_.symset = Symset::Big5;
            else if (v == "1102") font_.symset = Symset::Ksc;
            else if (v == "1103") font_.symset = Symset::Sjis;
            else if (v == "UTF8" || v == "UTF-8") font_.symset = Symset::Utf8;
            else note("SYMSET " + shown(v) + " not known; ASCII kept");
        } else {
            note("FONT part " + shown(p) + " ignored");
        }
    }
}

void FormReader::scale(const std::string& text) {
    const auto f = splitFields(text);
    Scale s;
    long long a = 0, b = 0;
    const bool hasA = f.size() > 2 && !trimBlanks(f[2]).empty();
    const bool hasB = f.size() > 3 && !trimBlanks(f[3]).empty();
    if (f.size() < 2 || f.size() > 4 || (hasA && (!readInt(f[2], a) || a < 1 || a > 100000)) ||
        (hasB && (!readInt(f[3], b) || b < 1 || b > 100000))) {
        return note("malformed SCALE statement, skipped", true);
    }
    if (f[1] == "DOT") {
        s.dot = true;
        s.cols = hasA ? static_cast<double>(a) : kGridCols;
        s.rows = hasB ? static_cast<double>(b) : kGridRows;
    } else if (f[1] == "CHAR") {
        s.rows = hasA ? static_cast<double>(a) : kCellRows;
        s.cols = hasB ? static_cast<double>(b) : kCellCols;
        static const int kCpi[] = {10, 12, 13, 15, 17, 20};
        if (hasB && std::find(std::begin(kCpi), std::end(kCpi), b) == std::end(kCpi)) note("SCALE;CHAR pitch is unusual");
    } else {
        return note("unknown SCALE kind, skipped", true);
    }
    scale_ = s;
}

void FormReader::iset(const std::string& text) {
    const auto f = splitFields(text);
    long long n = 0;
    if (f.size() == 2 && (f[1] == "'UTF8'" || f[1] == "'UTF-8'")) {
        font_.iset = -1;
    } else if (f.size() == 2 && readInt(f[1], n) && n >= 0 && n <= 999) {
        font_.iset = static_cast<int>(n);
    } else {
        note("ISET not understood, ignored: " + shown(text), true);
    }
}

// [I;][R;][E;][Cn;][AFn;L;][CW;|CCW;|INV;][UC;][DARK;|D;][POINT;][HSn;|HSDn;]SR;SC;VE;HE;(D)text(D)
void FormReader::text(const std::string& line, bool twoByte) {
    TextElement t;
    t.line = line_;
    t.twoByte = twoByte;
    t.font = font_;
    std::string nums[4];
    int count = 0, lastRank = -1;
    bool unusual = false;
    std::size_t pos = 0;
    auto next = [&](std::string& tok) {
        const std::size_t semi = line.find(';', pos);
        if (semi == std::string::npos) return false;
        tok = trimBlanks(line.substr(pos, semi - pos));
        pos = semi + 1;
        return true;
    };
    auto rank = [&](int r) {
        if (r < lastRank) unusual = true;
        lastRank = r;
    };
    std::string tok;
    while (count < 4) {
        if (!next(tok)) {
            if (count == 3 && (t.field > 0)) {  // AFn;L lines end after HE
                nums[3] = trimBlanks(line.substr(pos));
                pos = line.size();
                count = 4;
                break;
            }
            return note("text element needs SR;SC;VE;HE and its text; left out", true);
        }
        long long n = 0;
        if (count > 0 || isPosition(tok)) {
            if (!isPosition(tok)) return note("text position not understood: " + shown(tok) + "; left out", true);
            nums[count++] = tok;
            continue;
        }
        if (!tok.empty() && tok[0] == '#') {
            note("'#' before " + shown(tok.substr(1)) + " dropped");
            tok = tok.substr(1);
        }
        if (tok == "I") { rank(0); t.incremental = true; }
        else if (tok == "R") { rank(1); t.reverse = true; }
        else if (tok == "E") { rank(2); t.elongated = true; }
        else if (tok == "C10A" || tok == "C10B") { rank(3); t.cpi = 10; t.ocr = tok[3]; }
        else if (numberAfter(tok, "C", n) && n > 0 && n < 100) { rank(3); t.cpi = static_cast<int>(n); }
        else if (numberAfter(tok, "AF", n) || numberAfter(tok, "IAF", n)) {
            rank(4);
            std::string len;
            long long l = 0;
            if (n < 1 || n > 512 || !next(len) || !readInt(len, l) || l < 0) return note("field needs AFn;L; left out", true);
            t.field = static_cast<int>(n);
            t.fieldLength = static_cast<int>(std::min<long long>(l, static_cast<long long>(limits_.maxFieldBytes)));
        }
        else if (tok == "CW") { rank(5); t.rotation = 90; }
        else if (tok == "CCW") { rank(5); t.rotation = 270; }
        else if (tok == "INV") { rank(5); t.rotation = 180; }
        else if (tok == "UC") { rank(6); t.upper = true; }
        else if (tok == "DARK" || tok == "D") { rank(7); t.dark = true; }
        else if (tok == "POINT") { rank(8); t.point = true; }
        else if (numberAfter(tok, "HSD", n)) { rank(9); t.letterSpace = Size{static_cast<double>(n), true, true}; }
        else if (numberAfter(tok, "HS", n)) { rank(9); t.letterSpace = Size{n / kGridCols, false, true}; }
        else if (twoByte && numberAfter(tok, "F", n) && n > 0 && n <= 512) t.twoByteCell = static_cast<int>(n);
        else if (twoByte && numberAfter(tok, "P", n)) note("TWOBYTE " + tok + " ignored");
        else if (numberAfter(tok, "D", n) || numberAfter(tok, "L", n)) note("option " + shown(tok) + " from earlier versions ignored");
        else return note("text option not understood: " + shown(tok) + "; left out", true);
    }
    if (unusual) note("text options in an unusual order");
    if (!row(nums[0], t.row) || !col(nums[1], t.col)) return note("text position not understood; left out", true);
    long long ve = 0, he = 0;
    if (!readInt(nums[2], ve) || !readInt(nums[3], he) || ve < 0 || he < 0) {
        return note("text size VE;HE not understood; left out", true);
    }
    if (ve > 139 || he > 139) return note("text size above 139; left out", true);
    if ((t.elongated || t.cpi) && (ve || he) && !t.point) return note("E or Cn text needs VE and HE 0; left out", true);
    if (t.point && (t.elongated || t.cpi)) return note("POINT cannot go with E or Cn; left out", true);
    if (!t.point && (ve == 0) != (he == 0)) {
        note("VE;HE of 0 and non-zero; 0 read as 1");
        ve = std::max(ve, 1LL);
        he = std::max(he, 1LL);
    }
    t.ve = static_cast<long>(ve);
    t.he = static_cast<long>(he);
    const std::string rest = line.substr(pos);
    if (t.field > 0 && !t.incremental) {
        if (!trimBlanks(rest).empty()) note("text after a dynamic field ignored");
        return add(std::move(t));
    }
    std::string body = rest;
    if (t.incremental) {
        std::size_t semi = body.find(';');
        if (semi == std::string::npos) {
            if (t.field > 0) return add(std::move(t));
            return note("incremental field needs its step; left out", true);
        }
        t.stepMask = trimBlanks(body.substr(0, semi));
        body = body.substr(semi + 1);
        long long n = 0;
        for (;;) {
            semi = body.find(';');
            if (semi == std::string::npos) break;
            const std::string o = trimBlanks(body.substr(0, semi));
            if (numberAfter(o, "RPT", n) && n > 0) t.repeat = static_cast<int>(n);
            else if (numberAfter(o, "RST", n)) t.resetAfter = static_cast<int>(n);
            else break;
            body = body.substr(semi + 1);
        }
        if (t.field > 0 && trimBlanks(body).empty()) return add(std::move(t));
    }
    if (!readDelimited(body, t.data)) return note("text without its closing delimiter; left out", true);
    if (t.data.size() > limits_.maxFieldBytes) {
        note("text longer than " + std::to_string(limits_.maxFieldBytes) + " bytes; cut");
        t.data.resize(limits_.maxFieldBytes);
    }
    if (twoByte && !twoByteNoted_ && (t.font.symset == Symset::Ascii) && t.font.iset != -1) {
        bool high = false;
        for (char c : t.data) high |= static_cast<unsigned char>(c) >= 0x80;
        if (high) {
            note("TWOBYTE text without a two-byte SYMSET read as GBK");
            twoByteNoted_ = true;
        }
    }
    add(std::move(t));
}

void FormReader::barcodeLine(const std::string& text) {
    if (bar_ == Bar::Data) {
        if (!readDelimited(text, barcode_.data)) {
            bar_ = Bar::Header;
            return note("barcode data needs its delimiters; barcode left out", true);
        }
        bar_ = Bar::After;
        return add(barcode_);
    }
    if (bar_ == Bar::After && (text == "PDF" || startsWith(text, "PDF;"))) {
        auto* b = form_.elements.empty() ? nullptr : std::get_if<BarcodeElement>(&form_.elements.back());
        if (!b) return;
        const auto f = splitFields(text);
        b->readable = 0;
        for (std::size_t i = 1; i < f.size(); ++i) {
            const std::string o = trimBlanks(f[i]);
            if (o == "A") b->readable = 1;
            else if (o == "B") b->readable = 0;
            else if (o == "S") b->readable = 2;
            else if (o.size() == 1 && std::string("NPQRTVOX").find(o[0]) != std::string::npos) b->readableFont = o[0];
            else if (!o.empty()) note("PDF option " + shown(o) + " ignored");
        }
        bar_ = Bar::Header;
        return;
    }
    barcodeHeader(text);
}

void FormReader::barcodeHeader(const std::string& text) {
    auto f = splitFields(text);
    if (f.size() > 3 && trimBlanks(f.back()).empty()) f.pop_back();  // a trailing ';'
    BarcodeElement b;
    b.line = line_;
    b.font = font_;
    b.keyword = trimBlanks(f[0]);
    static const char* const kKinds[] = {"C3/9",   "C3/9CD", "C128A",  "C128B",    "C128C",      "UCC-128", "CODE 93",
                                         "CODE93", "CODABAR", "I-2/5", "I2/5",     "ITF14",      "I25GERMAN",
                                         "UPC-A",  "UPC-E",  "UPC-E0", "EAN8",     "EAN13",      "MSI",     "FIM",
                                         "PDF417", "QRCODE", "DATAMATRIX", "MAXICODE", "AZTEC"};
    if (std::find_if(std::begin(kKinds), std::end(kKinds), [&](const char* k) { return b.keyword == k; }) == std::end(kKinds)) {
        bar_ = Bar::Header;
        return note("unknown barcode kind " + shown(b.keyword) + "; left out", true);
    }
    if (f.size() < 3 || !isPosition(f[f.size() - 2]) || !isPosition(f[f.size() - 1]) || !row(f[f.size() - 2], b.row) ||
        !col(f[f.size() - 1], b.col)) {
        bar_ = Bar::Header;
        return note("barcode needs its row and column last; left out", true);
    }
    const bool twoD = b.keyword == "PDF417" || b.keyword == "QRCODE" || b.keyword == "DATAMATRIX" ||
                      b.keyword == "MAXICODE" || b.keyword == "AZTEC";
    bool haveX = false;
    for (std::size_t i = 1; i + 2 < f.size(); ++i) {
        const std::string o = trimBlanks(f[i]);
        long long n = 0;
        if (o.empty()) continue;
        if (o == "CW") b.rotation = 90;
        else if (o == "CCW" || o == "VSCAN") b.rotation = 270;
        else if (o == "INV") b.rotation = 180;
        else if (o == "DARK" || o == "D") continue;
        else if (startsWith(o, "XRD") || startsWith(o, "XR")) {
            const bool dots = startsWith(o, "XRD");
            std::vector<int> w;
            bool ok = true;
            for (const std::string& v : splitFields(o.substr(dots ? 3 : 2), ':')) {
                ok = ok && readInt(v, n) && n >= 1 && n <= 255;
                w.push_back(static_cast<int>(n));
            }
            if (!ok || (w.size() != 4 && w.size() != 8)) note("module widths " + shown(o) + " not understood; ignored", true);
            else if (haveX) note("second X option ignored");
            else {
                b.widths = w;
                b.widthsDots = dots;
                haveX = true;
            }
        } else if (o[0] == 'X' && o.size() > 1) {
            std::string v = o.substr(1);
            bool dots = false;
            if (v[0] == 'D') {
                dots = true;
                v = v.substr(1);
            }
            std::size_t k = 0;
            while (k < v.size() && (std::isdigit(static_cast<unsigned char>(v[k])) || v[k] == '.')) ++k;
            const std::string num = v.substr(0, k), suffix = v.substr(k);
            if (suffix == "D") dots = true;
            else if (!suffix.empty()) note("letter after " + shown(o.substr(0, 1 + k)) + " ignored");
            char* end = nullptr;
            const double x = num.empty() ? 0 : std::strtod(num.c_str(), &end);
            if (num.empty() || x <= 0 || x > 255 || (end && *end)) {
                note("module width " + shown(o) + " not understood; ignored", true);
            } else if (haveX) {
                note("second X option ignored");
            } else {
                b.module = dots ? Size{x, true, true} : Size{x / kGridCols, false, true};
                haveX = true;
            }
        } else if (o[0] == 'H' && o.size() > 1 && isPosition(o.substr(1))) {
            long long tenths = 0, dots = 0;
            bool hasDots = false;
            readPosition(o.substr(1), tenths, dots, hasDots);
            if (b.keyword == "PDF417") b.height = tenths / 10.0;
            else if (twoD) note("option " + o + " has no use for " + b.keyword);
            else b.height = tenths / 10.0 + dots / scale_.rows;
        } else if (numberAfter(o, "BF", n)) {
            if (i + 3 >= f.size() || !readInt(f[i + 1], n) || n < 0) {
                bar_ = Bar::Header;
                return note("BFn needs its length; barcode left out", true);
            }
            numberAfter(o, "BF", n);
            b.field = static_cast<int>(n);
            readInt(f[++i], n);
            b.fieldLength = static_cast<int>(std::min<long long>(n, static_cast<long long>(limits_.maxFieldBytes)));
        } else if (b.keyword == "PDF417" && o[0] == 'Y' && o.size() > 1) {
            const bool dots = o[1] == 'D';
            if (readInt(o.substr(dots ? 2 : 1), n) && n > 0 && n < 1000) b.rowHeight = Size{dots ? double(n) : n / 72.0, dots, true};
            else note("row height " + shown(o) + " ignored");
        } else if (twoD && numberAfter(o, "T", n)) {
            if (b.keyword == "MAXICODE") b.mode = static_cast<int>(n);
            else b.model = static_cast<int>(n);
        } else if (twoD && o.size() > 1 && (startsWith(o, "ECC"))) {
            if (o != "ECC200") note(o + " drawn as ECC 200");
        } else if (twoD && numberAfter(o, "E", n)) b.ecc = static_cast<int>(n);
        else if (twoD && numberAfter(o, "S", n)) b.ecc = static_cast<int>(n);
        else if (twoD && numberAfter(o, "M", n)) {
            if (b.keyword == "MAXICODE") b.mode = static_cast<int>(n);
            else b.mask = static_cast<int>(n);
        } else if (twoD && numberAfter(o, "I", n)) {
            if (n) note("QR option " + o + " ignored");
        } else if (twoD && numberAfter(o, "R", n)) b.rows = static_cast<int>(n);
        else if (twoD && numberAfter(o, "C", n)) b.cols = static_cast<int>(n);
        else if (b.keyword == "PDF417" && numberAfter(o, "W", n) && n > 0) b.width = n / 10.0;
        else if (b.keyword == "PDF417" && startsWith(o, "ASPECT")) {
            const auto hw = splitFields(o.substr(6), ':');
            long long h = 0, w = 0;
            if (hw.size() == 2 && readInt(hw[0], h) && readInt(hw[1], w) && h > 0 && w > 0 && h < 100 && w < 100) {
                b.aspectHeight = static_cast<int>(h);
                b.aspectWidth = static_cast<int>(w);
            } else {
                note("PDF417 " + shown(o) + " not understood; ignored");
            }
        }
        else if (twoD && (numberAfter(o, "W", n) || startsWith(o, "ASPECT"))) note("option " + shown(o) + " has no use for " + b.keyword);
        else if (o[0] == 'Y' || o[0] == 'T' || o[0] == 'E' || o[0] == 'M') note("option " + shown(o) + " has no use for " + b.keyword);
        else note("barcode option " + shown(o) + " not understood; ignored", true);
    }
    barcode_ = b;
    if (b.field > 0) {
        bar_ = Bar::After;
        add(barcode_);
    } else {
        bar_ = Bar::Data;
    }
}

void FormReader::rule(const std::string& text) {
    auto f = splitFields(text);
    RuleElement r;
    r.line = line_;
    if (block_ == Block::Reverse && !f.empty() && trimBlanks(f[0]) == "D") {
        note("REVERSE shade D drawn solid");
        f.erase(f.begin());
    }
    const std::size_t want = block_ == Block::Horz || block_ == Block::Vert ? 4
                             : block_ == Block::Corner                      ? 7
                             : block_ == Block::Reverse                     ? 4
                                                                            : 5;
    if (f.size() != want) return note("line element needs " + std::to_string(want) + " values; left out", true);
    for (const std::string& v : f) {
        if (!isPosition(v)) return note("line element value " + shown(v) + " not understood; left out", true);
    }
    std::size_t k = 0;
    if (block_ != Block::Reverse) {
        long long lt = 0;
        if (!readInt(f[k++], lt)) return note("line thickness not understood; left out", true);
        if (lt < 0) return note("negative line thickness; left out", true);
        r.thickRows = lt / (scale_.dot ? scale_.rows : kGridRows);
        r.thickCols = lt / (scale_.dot ? scale_.cols : kGridCols);
    }
    bool swapped = false;
    switch (block_) {
    case Block::Horz:
    case Block::Vert: {
        // LT;at;from;to: HORZ lies on a row across two columns, VERT on a
        // column across two rows.
        const bool horz = block_ == Block::Horz;
        const auto at = horz ? &FormReader::row : &FormReader::col;
        const auto along = horz ? &FormReader::col : &FormReader::row;
        r.kind = horz ? RuleKind::Horz : RuleKind::Vert;
        double& pos = horz ? r.r1 : r.c1;
        (this->*at)(f[1], pos);
        (this->*along)(f[2], horz ? r.c1 : r.r1);
        (this->*along)(f[3], horz ? r.c2 : r.r2);
        (horz ? r.r2 : r.c2) = pos;
        break;
    }
    default:
        r.kind = block_ == Block::Box      ? RuleKind::Box
                 : block_ == Block::Corner ? RuleKind::Corner
                 : block_ == Block::Diag   ? RuleKind::Diag
                                           : RuleKind::Reverse;
        row(f[k], r.r1);
        col(f[k + 1], r.c1);
        row(f[k + 2], r.r2);
        col(f[k + 3], r.c2);
        if (r.kind == RuleKind::Corner) {
            long long vl = 0, hl = 0;
            readInt(f[5], vl);
            readInt(f[6], hl);
            r.legRows = vl / scale_.rows;
            r.legCols = hl / scale_.cols;
        }
    }
    if (r.kind != RuleKind::Diag) {
        if (r.c2 < r.c1) std::swap(r.c1, r.c2), swapped = true;
        if (r.r2 < r.r1) std::swap(r.r1, r.r2), swapped = true;
        if (swapped && r.kind != RuleKind::Reverse) note("end before start; the two were exchanged");
    }
    add(r);
}

void FormReader::logo(const std::string& text) {
    const auto f = splitFields(text);
    LogoElement l;
    l.line = line_;
    if (f.size() < 3 || f.size() > 4 || !row(f[0], l.row) || !col(f[1], l.col) || trimBlanks(f[2]).empty()) {
        return note("logo element needs SR;SC;name; left out", true);
    }
    long long n = 0;
    if (numberAfter(f[2], "GF", n)) l.field = static_cast<int>(n);
    else l.name = f[2];
    add(l);
}

void FormReader::page(const std::string& text) {
    const auto f = splitFields(text);
    PageElement p;
    p.line = line_;
    if (f.size() != 2 || !row(f[0], p.row) || !col(f[1], p.col)) return note("PAGE needs SR;SC; left out", true);
    form_.counts = true;
    add(p);
}

void FormReader::rfidHeader(const std::string& text, bool write) {
    std::string t = text;
    std::replace(t.begin(), t.end(), ',', ';');
    auto f = splitFields(t);
    rfid_ = RfidElement();
    rfid_.line = line_;
    rfid_.kind = write ? RfidKind::Write : RfidKind::Read;
    block_ = write ? Block::RfWrite : Block::RfRead;
    ++form_.blocks;
    std::size_t i = 1;
    if (i < f.size() && (startsWith(f[i], "LOCK") || startsWith(f[i], "UNLOCK"))) ++i;
    long long n = 0;
    if (i >= f.size() || !readInt(f[i], n) || n < 1 || n > 4096) return note("RFID statement needs its size in bits", true);
    rfid_.size = static_cast<int>(n);
    ++i;
    if (i + 1 < f.size() && readInt(f[i], n)) {
        note("RFID word offset " + std::to_string(n) + " ignored");
        ++i;
    }
    if (i < f.size()) {
        static const char* const kBanks[] = {"EPC", "TID", "USR", "ACS", "KIL", "PC"};
        const std::string bank = trimBlanks(f[i]);
        if (std::find_if(std::begin(kBanks), std::end(kBanks), [&](const char* b) { return bank == b; }) == std::end(kBanks)) {
            note("RFID bank " + shown(bank) + " not known; EPC used");
        } else {
            rfid_.bank = bank;
        }
    }
}

void FormReader::rfidField(const std::string& text) {
    const auto f = splitFields(text);
    RfidField r;
    long long n = 0;
    if (f.empty() || !readInt(f[0], n) || n < 1 || n > 4096) return note("RFID field needs its length in bits; left out", true);
    r.bits = static_cast<int>(n);
    std::size_t i = 1;
    if (i < f.size() && trimBlanks(f[i]) == "I") {
        r.incremental = true;
        ++i;
    }
    if (i < f.size() && numberAfter(trimBlanks(f[i]), "DF", n)) {
        r.field = static_cast<int>(n);
        ++i;
    }
    if (i >= f.size() || trimBlanks(f[i]).size() != 1 || std::string("BDHA").find(trimBlanks(f[i])[0]) == std::string::npos) {
        return note("RFID field format must be B, D, H or A; left out", true);
    }
    r.format = trimBlanks(f[i])[0];
    ++i;
    if (r.incremental && i < f.size() && startsWith(trimBlanks(f[i]), "STEP")) ++i;
    if (block_ == Block::RfWrite) {
        // The data is the rest of the line after the fields read so far.
        std::size_t at = 0;
        for (std::size_t k = 0; k < i; ++k) at = text.find(';', at) + 1;
        if (!readDelimited(trimBlanks(text.substr(at)), r.data)) return note("RFID data needs its delimiters; left out", true);
    } else if (r.bits > 64) {
        note("RFID read field of " + std::to_string(r.bits) + " bits is over 64");
    }
    if (rfid_.fields.size() < 64) rfid_.fields.push_back(r);
}

void FormReader::verify(const std::string& text, bool hostOut) {
    RfidElement v;
    v.line = line_;
    v.kind = hostOut ? RfidKind::HostOut : RfidKind::Verify;
    ++form_.blocks;
    std::string rest = text.substr(hostOut ? 8 : 7);
    if (hostOut) {
        if (!readDelimited(rest, v.header)) return note("HOSTOUT needs delimited text; left out", true);
        return add(v);
    }
    const std::size_t a = rest.find(';');
    const std::size_t b = a == std::string::npos ? a : rest.find(';', a + 1);
    long long n = 0;
    if (b == std::string::npos || !numberAfter(rest.substr(0, a), "DF", n) || b != a + 2 ||
        std::string("BDHS").find(rest[a + 1]) == std::string::npos) {
        return note("VERIFY needs DFn;format;(D)header(D); left out", true);
    }
    v.field = static_cast<int>(n);
    v.format = rest[a + 1];
    rest = rest.substr(b + 1);
    std::string after;
    if (!readDelimited(rest, v.header, &after, true)) return note("VERIFY header needs its delimiters; left out", true);
    if (!after.empty() && after[0] == ';' && !readDelimited(after.substr(1), v.trailer, nullptr, true)) {
        return note("VERIFY trailer needs its delimiters; left out", true);
    }
    add(v);
}

}  // namespace qovread
