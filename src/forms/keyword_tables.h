// The fixed words of the form language: barcode kind texts and the code
// pages of the font settings with their symbol-set texts.
#pragma once

namespace qov {

// Symbology text of barcode kind 0..14; each ends in ";".
const char* barcodeKindText(int kind);

// Number of code pages (0..kCodePages-1).
constexpr int kCodePages = 6;
// The name QOVA_FontSetup accepts for code page n, and its FONT-line text.
const char* codePageName(int n);
const char* symbolSetText(int n);

}  // namespace qov
