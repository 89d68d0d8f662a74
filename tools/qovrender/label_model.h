// A label as the parser understands it: elements with their geometry in
// printer dots, in the form's own frame (before the paper rotation).
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "job_model.h"

namespace qovrender {

using Symset = qovread::Symset;

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
    // POINT text: the em square is emH tall and emW wide, and each character
    // keeps the face's own advance (cellW, cellH are unused).
    bool byEm = false;
    long long emH = 0, emW = 0;
    bool halfNarrow = false;      // TWOBYTE: single-byte characters take half a cell
    long long letterSpace = 0;    // extra dots between characters
    bool dark = false;
};

// A filled rectangle: a HORZ or VERT line, or one side of a BOX.
struct RuleElement {
    long long x = 0, y = 0, w = 0, h = 0;
};

struct DiagonalElement {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0, thickness = 1;
};

enum class BarcodeKind { Code39, Code128A, Code128B, Code128C, Ean13, UpcA, MaxiCode, QrCode, Pdf417,
                         Aztec, DataMatrix, Ean8, Interleaved25, Codabar, Ucc128, Code93, Itf14, Msi, UpcE,
                         Fim, Leitcode };

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
    long long guard = 0;          // dots of blank band above and below the bars (inside the box)
    bool checkDigit = false;      // Code 39 mod 43
    long long descender = 0;      // UPC/EAN: dots the guard bars reach into the digits below
    int rows = 0, cols = 0;       // Data Matrix size or PDF417 rows/columns
    // PDF417 without R or C: the shape fits the total height or width (dots),
    // or else the height:width ratio.
    long long fitHeight = 0, fitWidth = 0;
    int aspectHeight = 1, aspectWidth = 2;
};

// An area whose dots are all inverted after everything else is drawn.
struct ReverseElement {
    long long x = 0, y = 0, w = 0, h = 0;
};

struct LogoElement {
    long long row = 0, col = 0;
    std::string name;
};

struct RfidElement {
    std::string summary;          // what the tag operation would write or verify
};

using Element = std::variant<TextElement, RuleElement, DiagonalElement, BarcodeElement, LogoElement, RfidElement,
                             ReverseElement>;

// Where a label-model element came from: the input line and the form's
// element it belongs to (a BOX is four rules of one item), for reporting
// what was drawn. `item` -1: an element of its own (overlay text).
struct ElementSource {
    long long line = 0;
    int item = -1;
    const char* kind = "";        // text, barcode, line, box, corners, reverse, logo, rfid
};

struct LabelModel {
    std::vector<Element> elements;
    std::vector<ElementSource> sources;  // one per element, in the same order
    bool truncated = false;       // elements past the cap were dropped
};

// One element as drawn, in dots of the picture: its bounding box (before
// clipping to the label), rotation and data.
struct DrawnElement {
    const char* kind = "";
    std::string symbology;        // barcodes: the keyword as written
    long long line = 0;
    long long x = 0, y = 0, width = 0, height = 0;
    int rotation = 0;
    std::string data;             // text as UTF-8, barcode data, logo name, RFID summary
};

}  // namespace qovrender
