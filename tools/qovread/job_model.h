// The command language as typed values: stored forms with their elements,
// logos, plain-text pages and executed labels, each with the input line it
// came from. Positions are resolved from the form's SCALE (and `n.m`) into
// inches; sizes that the language gives in printer dots keep a `dots` flag,
// since only the consumer knows the resolution.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace qovread {

enum class Symset { Ascii, Gb, Big5, Ksc, Sjis, Utf8 };

struct FontState {
    int face = 0;           // FACE n, 0 for none
    std::string name;       // NAME file, empty for none
    long long nameLine = 0; // where NAME was given
    bool bold = false;
    int slant = 0;          // 1 right, -1 left
    Symset symset = Symset::Ascii;
    bool symsetGiven = false;
    int iset = 0;           // ISET n; -1 for 'UTF8'
};

// A length the language gives either in inches (resolved) or printer dots.
struct Size {
    double value = 0;
    bool dots = false;
    bool given = false;
};

struct TextElement {
    long long line = 0;
    bool twoByte = false;
    double row = 0, col = 0;       // inches: the baseline's start
    int rotation = 0;              // 0, 90 (CW), 180 (INV), 270 (CCW)
    bool reverse = false, elongated = false, dark = false, point = false, upper = false;
    int cpi = 0;                   // Cn
    char ocr = 0;                  // 'A' or 'B' for C10A / C10B
    long ve = 0, he = 0;
    Size letterSpace;              // HSn (1/60 in) or HSDn (dots)
    int twoByteCell = 0;           // TWOBYTE Fn: cell in printer dots
    int field = 0;                 // AFn (or IAFn)
    int fieldLength = 0;
    bool incremental = false;
    std::string stepMask;          // with its sign
    int repeat = 1, resetAfter = 0;
    std::string data;              // the bytes between the delimiters
    FontState font;
};

enum class RuleKind { Horz, Vert, Box, Corner, Reverse, Diag };

struct RuleElement {
    long long line = 0;
    RuleKind kind = RuleKind::Horz;
    // Inches. Horz: r1 row, c1..c2. Vert: c1 column, r1..r2. Box, Corner,
    // Reverse: r1,c1 to r2,c2. Diag: r1,c1 to r2,c2.
    double r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    double thickRows = 0;          // inches, for strokes that run across
    double thickCols = 0;          // inches, for strokes that run upright
    double legRows = 0, legCols = 0;  // CORNER legs
};

struct BarcodeElement {
    long long line = 0;
    std::string keyword;           // as written (C128B, QRCODE, ...)
    double row = 0, col = 0;       // inches: top-left of the symbol's box
    int rotation = 0;
    Size module;                   // Xn (n/60 in, resolved) or XnD (dots)
    std::vector<int> widths;       // XR / XRD values
    bool widthsDots = false;
    double height = -1;            // inches, the whole symbol; -1 default
    Size rowHeight;                // PDF417 Y
    int ecc = -1, model = -1, mask = -1, rows = 0, cols = 0, mode = -1;
    double width = -1;             // inches, PDF417 W; -1 none
    int aspectHeight = 0, aspectWidth = 0;  // PDF417 ASPECTh:w; 0 none
    int field = 0, fieldLength = 0;
    int readable = -1;             // -1 none given, 0 below (B), 1 above (A), 2 suppressed (S)
    char readableFont = 0;
    std::string data;
    FontState font;
};

struct LogoElement {
    long long line = 0;
    double row = 0, col = 0;
    std::string name;              // empty with a GF field
    int field = 0;                 // GFn
};

struct PageElement {
    long long line = 0;
    double row = 0, col = 0;
};

struct RfidField {
    int bits = 0;
    int field = 0;                 // DFn
    char format = 'H';
    std::string data;
    bool incremental = false;
};

enum class RfidKind { Write, Read, Verify, HostOut };

struct RfidElement {
    long long line = 0;
    RfidKind kind = RfidKind::Write;
    int size = 0;                  // bits
    std::string bank = "EPC";
    std::vector<RfidField> fields;
    int field = 0;                 // VERIFY's DFn
    char format = 'H';
    std::string header, trailer;   // VERIFY; HOSTOUT's text is the header
};

using Element = std::variant<TextElement, RuleElement, BarcodeElement, LogoElement, PageElement, RfidElement>;

struct Form {
    std::string name;
    long long line = 0;            // the CREATE line
    enum class Length { Dots, Physical, Lowest } lengthKind = Length::Physical;
    double length = 0;             // inches, with Length::Dots
    bool noMotion = false, disk = false, debug = false;
    bool counts = false;           // holds a PAGE or an incremental field
    std::vector<Element> elements;
    std::size_t bytes = 0;         // of its body as received
    std::string body;              // its lines, blanks around them stripped, each ended by CR LF
    std::size_t blocks = 0;        // element blocks (STOP-terminated or single-line)
};

struct Logo {
    std::string name;
    long long line = 0;
    enum class Kind { Dots, Pcx, Tiff } kind = Kind::Dots;
    int height = 0, width = 0;     // dot logos
    std::string rows;              // dot logos: the row lines, LF separated
    std::string image;             // PCX / TIFF bytes
    bool disk = false;
};

// Paper and configuration the pictures depend on.
struct PrinterSetup {
    int paperWidthMils = 4000;
    int paperLengthMils = 6000;
    int rotate = 0;
    bool hostFormLength = true;    // false: every FL is the physical length
    bool upcDescenders = true;
    bool uppercase = false;
    bool autoWrap = false;
};

// What the printer keeps between jobs and connections.
struct Memory {
    std::map<std::string, std::shared_ptr<const Form>> forms;
    std::map<std::string, std::shared_ptr<const Logo>> logos;
    PrinterSetup setup;
};

struct TextLine {
    long long line = 0;
    std::string bytes;             // control bytes below 0x20 other than TAB dropped
    double baseline = 0;           // inches from the top
    double cellHeight = 0.1, advance = 0.1;  // inches
};

// A page of plain text (normal mode) or the overlay text of a label.
struct TextPage {
    long long line = 0;
    std::vector<TextLine> lines;
    FontState font;
    bool blank() const;
};

// One page of data of an executed form: printed `copies` times.
struct LabelJob {
    std::shared_ptr<const Form> form;
    long long line = 0;            // the EXECUTE line
    long long copies = 1;
    long long firstPage = 1;       // PAGE n
    std::map<std::string, std::string> data;  // "AF1", "BF2", "GF1", "IAF1", ... to their bytes
    TextPage overlay;
    bool firstOfExecute = true;
};

}  // namespace qovread
