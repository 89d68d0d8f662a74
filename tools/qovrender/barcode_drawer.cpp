#include "barcode_drawer.h"

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "text_codec.h"

namespace qovrender {

namespace {

struct SymbolDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

bool isLinear(BarcodeKind k) {
    return !(k == BarcodeKind::MaxiCode || k == BarcodeKind::QrCode || k == BarcodeKind::Pdf417 ||
             k == BarcodeKind::Aztec || k == BarcodeKind::DataMatrix);
}

// zint keeps each row's modules as bits, least significant first.
bool moduleSet(const zint_symbol* s, int row, int col) {
    return (s->encoded_data[row][col >> 3] >> (col & 7)) & 1;
}

int symbologyOf(BarcodeKind k) {
    switch (k) {
    case BarcodeKind::Code39: return BARCODE_CODE39;
    case BarcodeKind::Code128B: return BARCODE_CODE128B;
    // Code sets A and C: the symbol carries the same data; zint picks the
    // shortest code set sequence, which a reader decodes identically.
    case BarcodeKind::Code128A:
    case BarcodeKind::Code128C: return BARCODE_CODE128;
    case BarcodeKind::Ean13:
    case BarcodeKind::Ean8: return BARCODE_EANX;
    case BarcodeKind::UpcA: return BARCODE_UPCA;
    case BarcodeKind::MaxiCode: return BARCODE_MAXICODE;
    case BarcodeKind::QrCode: return BARCODE_QRCODE;
    case BarcodeKind::Pdf417: return BARCODE_PDF417;
    case BarcodeKind::Aztec: return BARCODE_AZTEC;
    case BarcodeKind::DataMatrix: return BARCODE_DATAMATRIX;
    case BarcodeKind::Interleaved25: return BARCODE_C25INTER;
    case BarcodeKind::Codabar: return BARCODE_CODABAR;
    case BarcodeKind::Ucc128: return BARCODE_GS1_128;
    case BarcodeKind::Code93: return BARCODE_CODE93;
    case BarcodeKind::Itf14: return BARCODE_ITF14;
    case BarcodeKind::Msi: return BARCODE_MSI_PLESSEY;
    case BarcodeKind::UpcE: return BARCODE_UPCE;
    case BarcodeKind::Fim: return BARCODE_FIM;
    case BarcodeKind::Leitcode: return BARCODE_DPLEIT;
    }
    return BARCODE_CODE128;
}

// Code 128 in-data controls: SO (0x0E) and the character after it stand for
// a function character. The CODE switches leave nothing in the data (the
// encoder picks its own subsets, which read back the same); others are
// dropped and noted.
std::string code128Data(const std::string& in, BarcodeKind kind, std::string& remark) {
    std::string out;
    std::size_t i = 0;
    if (kind == BarcodeKind::Code128C && !in.empty() && in[0] == '\'') i = 1;  // a bare ' starts subset C
    for (; i < in.size(); ++i) {
        if (in[i] != '\x0e') {
            out += in[i];
            continue;
        }
        if (i + 1 >= in.size()) {
            remark = "SO at the end of the data dropped";
            break;
        }
        const char c = in[++i];
        if (c != '%' && c != '&' && c != '\'') remark = std::string("Code 128 control SO ") + c + " dropped";
    }
    return out;
}

// The check digit of UPC/EAN data: a given one is recomputed.
std::string upcEanData(const std::string& in, std::size_t digits, std::string& remark) {
    if (in.size() != digits + 1) return in;
    for (char c : in) {
        if (c < '0' || c > '9') return in;
    }
    int sum = 0;
    for (std::size_t i = 0; i < digits; ++i) sum += (in[digits - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
    const char check = static_cast<char>('0' + (10 - sum % 10) % 10);
    if (in.back() != check) remark = std::string("check digit ") + in.back() + " is wrong; " + check + " printed";
    return in.substr(0, digits);
}

bool isCodabarEnd(char c) { return (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd'); }

// MaxiCode's hexagons come from zint's own raster, scaled to the nominal
// symbol width (about 1.1 inch) at the printer's resolution.
Raster maxiCodePicture(zint_symbol* s, int dpi) {
    s->scale = 1.0f;
    if (ZBarcode_Buffer(s, 0) >= ZINT_ERROR || !s->bitmap || s->bitmap_width <= 0) return Raster();
    const int target = std::max(1, static_cast<int>(std::lround(1.11 * dpi)));
    const double f = static_cast<double>(target) / s->bitmap_width;
    const int w = target, h = std::max(1, static_cast<int>(std::lround(s->bitmap_height * f)));
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(s->bitmap_width - 1, static_cast<int>(x / f));
            const int sy = std::min(s->bitmap_height - 1, static_cast<int>(y / f));
            const unsigned char* p = s->bitmap + (static_cast<std::size_t>(sy) * s->bitmap_width + sx) * 3;
            if (p[0] + p[1] + p[2] < 3 * 128) r.set(x, y);
        }
    return r;
}

// The UPC/EAN guard patterns' modules (start, centre, end), which descend
// into the digits; none for a symbol of another width (an add-on).
std::vector<int> guardModules(BarcodeKind k, int width) {
    std::vector<std::pair<int, int>> ranges;
    if ((k == BarcodeKind::Ean13 || k == BarcodeKind::UpcA) && width == 95) ranges = {{0, 3}, {45, 50}, {92, 95}};
    else if (k == BarcodeKind::Ean8 && width == 67) ranges = {{0, 3}, {31, 36}, {64, 67}};
    else if (k == BarcodeKind::UpcE && width == 51) ranges = {{0, 3}, {45, 51}};
    std::vector<int> out;
    for (const auto& r : ranges)
        for (int c = r.first; c < r.second; ++c) out.push_back(c);
    return out;
}

long long pdf417RowHeight(const BarcodeElement& b, int dpi, const ModelMetrics& m) {
    return b.rowHeight > 0 ? b.rowHeight : std::max(1L, std::lround(static_cast<double>(m.pdf417RowDots72) * dpi / 72));
}

// PDF417 without R or C: of the column counts 1 to 30, the one whose symbol
// is tallest within H, or widest within W (the smallest when none fits), or
// else whose height:width comes nearest the ASPECT ratio.
int pdf417Columns(zint_symbol* s, const std::string& data, const BarcodeElement& b, long long rowHeight) {
    int best = 0;
    double bestScore = 0;
    const double ratio = static_cast<double>(b.aspectHeight) / std::max(1, b.aspectWidth);
    for (int c = 1; c <= 30; ++c) {
        ZBarcode_Clear(s);
        s->option_2 = c;
        if (ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) >= ZINT_ERROR)
            continue;
        const double w = static_cast<double>(s->width) * b.module, h = static_cast<double>(s->rows) * rowHeight;
        double score;
        if (b.fitHeight > 0) score = h <= b.fitHeight ? b.fitHeight - h : 1e12 + h;
        else if (b.fitWidth > 0) score = w <= b.fitWidth ? b.fitWidth - w : 1e12 + w;
        else score = std::fabs(std::log(h / w / ratio));
        if (best == 0 || score < bestScore) {
            best = c;
            bestScore = score;
        }
        if (s->rows <= 3) break;  // more columns only widen a symbol of the fewest rows
    }
    return best;
}

// The human-readable line as a text run in the element's font: capitals
// 0.6 of the band, each character a standard cell or narrower, so that the
// line fits the symbol's width.
TextRun readableRun(const std::string& readable, const BarcodeElement& b, long long band, long long symbolWidth, int dpi,
                    const ModelMetrics& m) {
    TextRun run;
    decodeUtf8(readable, run.text) || (run.text = decodeLegacy(readable, b.font.symset), true);
    run.font = b.font;
    run.cellH = std::max(1LL, band * 6 / 10);
    const long long chars = std::max<long long>(1, static_cast<long long>(run.text.size()));
    run.cellW = std::max(1LL, std::min<long long>(std::lround(m.cellWidthMils * dpi / 1000.0), symbolWidth / chars));
    return run;
}

}  // namespace

bool drawBarcode(const BarcodeElement& b, int dpi, const ModelMetrics& m, GlyphDrawer& glyphs, DrawnBarcode& out,
                 std::string& error) {
    std::unique_ptr<zint_symbol, SymbolDeleter> sym(ZBarcode_Create());
    if (!sym) {
        error = "zint could not start";
        return false;
    }
    zint_symbol* s = sym.get();
    s->symbology = symbologyOf(b.kind);
    s->show_hrt = 1;
    std::string data = b.data;
    std::u32string unused;
    const bool utf8 = decodeUtf8(data, unused);
    s->input_mode = isLinear(b.kind) ? DATA_MODE : (utf8 ? UNICODE_MODE : DATA_MODE);
    switch (b.kind) {
    case BarcodeKind::QrCode:
        if (b.ecc >= 0) s->option_1 = std::min(b.ecc, 3) + 1;  // 0..3 = L, M, Q, H
        if (b.mask >= 0 && b.mask <= 7) s->option_3 = (b.mask + 1) << 8;
        if (b.model == 1) out.note = "QR model 1 drawn as model 2";
        break;
    case BarcodeKind::Pdf417:
        if (b.ecc >= 0) s->option_1 = std::min(b.ecc, 8);
        if (b.cols > 0) s->option_2 = std::min(b.cols, 30);
        if (b.rows > 0) s->option_3 = std::clamp(b.rows, 3, 90);
        break;
    case BarcodeKind::Aztec:
        // A percentage of error correction: the nearest of zint's four levels.
        if (b.ecc >= 0) s->option_1 = b.ecc <= 10 ? 1 : b.ecc <= 23 ? 2 : b.ecc <= 36 ? 3 : 4;
        break;
    case BarcodeKind::MaxiCode:
        s->option_1 = b.mask >= 2 && b.mask <= 6 ? b.mask : 4;
        break;
    case BarcodeKind::Codabar:
        // Codabar needs start and stop characters; data without them gets A.
        if (data.size() < 2 || !isCodabarEnd(data.front()) || !isCodabarEnd(data.back())) data = "A" + data + "A";
        break;
    case BarcodeKind::Ucc128:
        // GS1 element strings: application identifiers in parentheses or
        // square brackets. Without any, the data goes out as plain Code 128.
        if (data.find('(') != std::string::npos) {
            s->input_mode = GS1_MODE | GS1PARENS_MODE;
        } else if (data.find('[') != std::string::npos) {
            s->input_mode = GS1_MODE;
        } else {
            s->symbology = BARCODE_CODE128;
            out.note = "UCC-128 data without application identifiers drawn as Code 128";
        }
        break;
    case BarcodeKind::Code128A:
    case BarcodeKind::Code128B:
    case BarcodeKind::Code128C:
        data = code128Data(data, b.kind, out.note);
        break;
    case BarcodeKind::Code39:
        for (char& c : data) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
                out.note = "Code 39 lower case printed as capitals";
            }
        }
        if (b.checkDigit) s->option_2 = 1;
        break;
    case BarcodeKind::Ean13: data = upcEanData(data, 12, out.note); break;
    case BarcodeKind::Ean8: data = upcEanData(data, 7, out.note); break;
    case BarcodeKind::UpcA: data = upcEanData(data, 11, out.note); break;
    case BarcodeKind::Interleaved25:
        if (data.size() % 2) data = "0" + data;
        break;
    case BarcodeKind::Msi: s->option_2 = 1; break;
    case BarcodeKind::DataMatrix: {
        static const int kSquare[] = {10, 12, 14, 16, 18, 20, 22, 24, 26, 32, 36, 40, 44, 48, 52, 64, 72, 80, 88, 96, 104, 120, 132, 144};
        if (b.rows > 0 && b.rows == b.cols) {
            for (int k = 0; k < 24; ++k) {
                if (kSquare[k] == b.rows) s->option_2 = k + 1;
            }
        }
        if ((b.rows || b.cols) && s->option_2 == 0) out.note = "Data Matrix size " + std::to_string(b.rows) + " x " + std::to_string(b.cols) + " not an ECC 200 size; automatic size";
        break;
    }
    default:
        break;
    }
    if (data.size() > 4096) {
        error = "barcode data longer than 4096 bytes";
        return false;
    }
    if (b.kind == BarcodeKind::Pdf417 && b.rows <= 0 && b.cols <= 0) {
        s->option_2 = pdf417Columns(s, data, b, pdf417RowHeight(b, dpi, m));
        ZBarcode_Clear(s);
    }
    int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    if (rc >= ZINT_ERROR && b.kind == BarcodeKind::DataMatrix && s->option_2 != 0) {
        // The data does not fit the size asked for: the automatic size.
        ZBarcode_Clear(s);
        s->option_2 = 0;
        out.note = "Data Matrix data does not fit " + std::to_string(b.rows) + " x " + std::to_string(b.cols) + "; automatic size";
        rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    }
    if (rc >= ZINT_ERROR) {
        error = std::string(s->errtxt);
        return false;
    }
    out.readable = reinterpret_cast<const char*>(s->text);
    if (b.kind == BarcodeKind::Code39 && out.readable.size() >= 2 && out.readable.front() == '*' && out.readable.back() == '*')
        out.readable = out.readable.substr(1, out.readable.size() - 2);
    if (out.readable.empty()) out.readable = b.data;

    const bool linear = isLinear(b.kind);
    const long long band = b.humanReadable ? std::max(1L, std::lround(m.humanReadableMils * dpi / 1000.0)) : 0;
    Raster symbol;
    if (b.kind == BarcodeKind::MaxiCode) {
        symbol = maxiCodePicture(s, dpi);
        if (symbol.empty()) {
            error = "MaxiCode could not be drawn";
            return false;
        }
    } else {
        const long long x = b.module;
        const long long width = static_cast<long long>(s->width) * x;
        long long height = 0;
        std::vector<long long> rowHeights(static_cast<std::size_t>(s->rows));
        for (int r = 0; r < s->rows; ++r) {
            long long h;
            if (linear) h = std::max(1LL, b.barHeight / std::max(1, s->rows));
            else if (b.kind == BarcodeKind::Pdf417) h = pdf417RowHeight(b, dpi, m);
            else h = x;
            rowHeights[static_cast<std::size_t>(r)] = h;
            height += h;
        }
        if (width > m.maxRasterRows || height > m.maxRasterRows || width * height > m.maxSymbolDots) {
            error = "symbol larger than the label";
            return false;
        }
        symbol = Raster(static_cast<int>(width), static_cast<int>(height));
        long long y = 0;
        for (int r = 0; r < s->rows; ++r) {
            const long long h = rowHeights[static_cast<std::size_t>(r)];
            // A module row is one dot row drawn and copied down: a tall
            // symbol would otherwise fill every bar once per dot row.
            for (int c = 0; c < s->width; ++c)
                if (moduleSet(s, r, c)) symbol.fillRect(c * x, y, x, 1);
            symbol.repeatRow(static_cast<int>(y), static_cast<int>(h - 1));
            y += h;
        }
    }
    if (linear && b.guard > 0) {
        // H holds the guard bands: blank above and below, inside the box.
        Raster boxed(symbol.width(), static_cast<int>(symbol.height() + 2 * b.guard + (b.humanReadable == 2 ? band : 0)));
        boxed.blit(symbol, 0, b.humanReadable == 2 ? band + b.guard : b.guard);
        symbol = std::move(boxed);
    }
    if (!b.humanReadable) {
        out.picture = std::move(symbol);
        return true;
    }
    if (linear && b.guard > 0) {
        // The readable line sits between the bars and the lower guard band
        // (or the upper one, above the bars).
        const TextRun run = readableRun(out.readable, b, band, symbol.width(), dpi, m);
        const long long textWidth = glyphs.width(run);
        const int width = static_cast<int>(std::max<long long>(symbol.width(), textWidth));
        Raster all(width, symbol.height() + static_cast<int>(b.humanReadable == 2 ? 0 : band));
        all.blit(symbol, (width - symbol.width()) / 2, 0);
        const long long bandTop = b.humanReadable == 2 ? b.guard : b.guard + b.barHeight;
        if (b.descender > 0) {
            for (int c : guardModules(b.kind, s->width)) {
                if (moduleSet(s, 0, c)) all.fillRect((width - symbol.width()) / 2 + c * b.module, bandTop, b.module, b.descender);
            }
        }
        Orientation o;
        o.originX = (width - textWidth) / 2;
        o.originY = bandTop + band * 85 / 100;
        glyphs.draw(all, o, run, true);
        out.picture = std::move(all);
        return true;
    }
    // The human-readable line in the element's font, centred in its band.
    const TextRun run = readableRun(out.readable, b, band, symbol.width(), dpi, m);
    const long long textWidth = glyphs.width(run);
    const int width = static_cast<int>(std::max<long long>(symbol.width(), textWidth));
    Raster all(width, static_cast<int>(symbol.height() + band));
    const long long symbolTop = b.humanReadable == 2 ? band : 0;
    all.blit(symbol, (width - symbol.width()) / 2, symbolTop);
    const long long bandTop = b.humanReadable == 2 ? 0 : symbol.height();
    Orientation o;
    o.originX = (width - textWidth) / 2;
    o.originY = bandTop + band * 85 / 100;  // a gap above the capitals, room for descenders
    glyphs.draw(all, o, run, true);
    out.picture = std::move(all);
    return true;
}

}  // namespace qovrender
