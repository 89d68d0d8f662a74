// Every number of the printing model in one place: units, paper, character
// cells, line thickness, barcode defaults, fonts and the caps on what the
// renderer keeps. A printer known to behave otherwise is one edit here.
#pragma once

#include <cstddef>

namespace qovrender {

struct ModelMetrics {
    // Resolution and paper.
    int defaultDpi = 203;
    int paperWidthMils = 4000;   // thousandths of an inch, until ~PAPER;SIZE
    int paperLengthMils = 6000;
    int maxRasterColumns = 8000;  // dots across, after rotation
    int maxRasterRows = 40000;    // dots along the paper

    // Units. SCALE;DOT;h;v with h or v missing; SCALE;CHAR;lpi;cpi defaults,
    // also the scale of a form without a SCALE statement.
    int dotScaleColumnsDefault = 60;
    int dotScaleRowsDefault = 72;
    int charScaleLpiDefault = 6;
    int charScaleCpiDefault = 10;
    // Line thickness under the character scale: 1/72 inch rows, 1/60 columns.
    int charScaleThicknessRows = 72;
    int charScaleThicknessColumns = 60;

    // Text cells. At expansion 0 or 1 a character is 0.1 inch tall (capital
    // height) and advances 0.1 inch; VE and HE multiply; POINT sizes are in
    // 1/72 inch; E doubles the height.
    int cellHeightMils = 100;
    int cellWidthMils = 100;
    int pointsPerInch = 72;
    int expandedHeightFactor = 2;
    int maxExpansion = 100;           // VE or HE above this is out of range
    int maxCellDots = 2000;           // a bigger character is clipped to this
    double reverseMarginAbove = 0.25; // of the cell height, above the capitals
    double reverseMarginBelow = 0.30; // of the cell height, under the baseline
    double slantDegrees = 12.0;
    double boldStrength = 0.06;       // outline widening, as a share of the cell height
    // Two-byte characters take this many single cells across; their em box
    // is the cell height tall (the ideograph fills the cell).
    int twoByteCellsAcross = 1;
    double twoByteEmPerCellHeight = 1.0;

    // Barcodes.
    int moduleDotsAt203 = 2;          // narrow module or cell, scaled with the resolution
    int barcodeReferenceDpi = 203;
    int barHeightMils = 900;          // 1D bars
    int upcaBarHeightMils = 1300;
    int humanReadableMils = 100;      // text band under (or above) the bars; the bars lose as much
    int pdf417RowDots72 = 2;          // PDF417 row height without Y, in 1/72 inch
    int pdf417AspectHeight = 1;       // PDF417 height:width without R, C, H, W or ASPECT
    int pdf417AspectWidth = 2;
    int maxModuleDots = 100;          // Xn above this is out of range
    int maxBarHeightDots = 20000;
    int moduleGridDpi = 60;           // Xn and XR count dots of this grid; XnD and XRD printer dots
    int upcDescenderMils = 50;        // UPC/EAN guard bars reach this far into the digits (UPC DESCENDERS;1)
    int guardBandMils = 100;          // blank band above and below the bars, inside H
    int minBarMils = 100;             // bars left after the guard bands and the readable line
    int twoDModuleGridDots = 1;       // a 2-D symbol's module without X: this many grid dots
    int pageNumberCpi = 10;           // PAGE numbers: standard text
    int columnOriginUnits = 0;        // character-scale columns counted from this unit at the edge
    int plainTextCpi = 10;            // normal-mode text pages
    int plainTextLpi = 6;

    // Fonts (Debian packages fonts-dejavu-core, fonts-urw-base35, fonts-ocr-a,
    // fonts-ocr-b, fonts-crosextra-carlito, fonts-liberation2, fonts-wqy-microhei).
    const char* singleByteFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
    const char* singleByteBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
    int pointDefaultFace = 92250;     // POINT text without FACE or NAME
    const char* twoByteFont = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
    const char* fontSearchDir = "/usr/share/fonts/truetype";  // FONT;NAME looks here

    // What the renderer keeps; past these, input is refused and noted.
    std::size_t maxLine = 4096;
    std::size_t maxFormBytes = 256 * 1024;
    std::size_t maxForms = 64;
    std::size_t maxLogoBytes = 1024 * 1024;
    std::size_t maxLogos = 64;
    long long maxLogoDots = 8LL * 1000 * 1000;  // one logo's height times width
    long long maxCopies = 1000000;
    long long maxCopyPictures = 1000;   // pictures of one page whose copies differ
    std::size_t maxElementsPerLabel = 10000;
    std::size_t maxGlyphCache = 4096;                    // glyphs kept drawn
    std::size_t maxGlyphCacheBytes = 64 * 1024 * 1024;   // and their dots
    long long maxSymbolDots = 8000LL * 8000;             // one barcode's picture
};

// Face numbers of FONT;FACE and the files that draw them.
struct FaceFile {
    int face;
    const char* regular;
    const char* bold;     // null: the regular file, thickened
};
inline constexpr FaceFile kFaceFiles[] = {
    {93777, "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"},
    {93779, "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf", nullptr},
    {93950, "/usr/share/fonts/opentype/urw-base35/NimbusMonoPS-Regular.otf", "/usr/share/fonts/opentype/urw-base35/NimbusMonoPS-Bold.otf"},
    {90993, "/usr/share/fonts/truetype/ocr-a/OCRA.ttf", nullptr},
    {91409, "/usr/share/fonts/opentype/ocr-b/OCRB.otf", nullptr},
    {92500, "/usr/share/fonts/opentype/urw-base35/NimbusRoman-Regular.otf", "/usr/share/fonts/opentype/urw-base35/NimbusRoman-Bold.otf"},
    {92248, "/usr/share/fonts/opentype/urw-base35/NimbusSans-Bold.otf", nullptr},
    {92250, "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Regular.otf", "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf"},
};

// FONT;NAME files not installed: well-known names to metric-compatible faces
// (prefix of the upper-cased name; an empty file means the two-byte font).
struct NameFallback {
    const char* prefix;
    const char* file;
};
inline constexpr NameFallback kNameFallbacks[] = {
    {"CALIBRIB", "/usr/share/fonts/truetype/crosextra/Carlito-Bold.ttf"},
    {"CALIBRI", "/usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf"},
    {"ARIAL", "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"},
    {"TIMES", "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf"},
    {"COUR", "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf"},
};

// The metrics the renderer uses unless told otherwise.
inline const ModelMetrics& defaultMetrics() {
    static const ModelMetrics metrics;
    return metrics;
}

}  // namespace qovrender
