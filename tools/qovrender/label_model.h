// A label as the parser understands it: elements with their geometry in
// printer dots, in the form's own frame (before the paper rotation).
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace qovrender {

enum class Symset { Ascii, Gb, Big5, Ksc, Sjis, Utf8 };

struct FontChoice {
    std::string file;   // a font file found for FONT;NAME, empty for the default
    bool bold = false;
    int slant = 0;      // 1 right, -1 left, 0 upright
    Symset symset = Symset::Ascii;
};

struct TextElement {
    long long row = 0, col = 0;   // start of the baseline
    long long cellW = 0, cellH = 0;
    int rotation = 0;             // 0, 90 (CW), 180 (INV), 270 (CCW)
    bool reverse = false;         // white on black
    bool twoByte = false;         // TWOBYTE rather than ALPHA
    std::u32string text;
    FontChoice font;
};

// A filled rectangle: a HORZ or VERT line, or one side of a BOX.
struct RuleElement {
    long long x = 0, y = 0, w = 0, h = 0;
};

struct DiagonalElement {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0, thickness = 1;
};

enum class BarcodeKind { Code39, Code128A, Code128B, Code128C, Ean13, UpcA, MaxiCode, QrCode, Pdf417,
                         Aztec, DataMatrix, Ean8, Interleaved25, Codabar, Ucc128 };

struct BarcodeElement {
    BarcodeKind kind = BarcodeKind::Code39;
    std::string kindName;         // as written, for the summary
    long long row = 0, col = 0;   // top-left corner of the symbol as printed
    int rotation = 0;
    int module = 2;               // dots
    long long barHeight = 0;      // dots, 1D
    int rowHeight = 0;            // dots, PDF417 (0: from the metrics)
    int ecc = -1;                 // -1: the symbology's default
    int model = -1;               // QR model (T)
    int mask = -1;                // QR mask (M), or MaxiCode mode (M or T)
    int humanReadable = 0;        // 0 none, 1 below, 2 above
    std::string data;
    FontChoice font;
};

struct LogoElement {
    long long row = 0, col = 0;
    std::string name;
};

struct RfidElement {
    std::string summary;          // what the tag operation would write or verify
};

using Element = std::variant<TextElement, RuleElement, DiagonalElement, BarcodeElement, LogoElement, RfidElement>;

struct LabelModel {
    std::vector<Element> elements;
    bool truncated = false;       // elements past the cap were dropped
};

}  // namespace qovrender
