#include "forms/keyword_tables.h"

#include "forms/form_workspace.h"

namespace qov {

namespace {

const char* const kKindTexts[kBarcodeKinds] = {
    "C3/9;",  "C128A;",  "C128B;",  "C128C;",      "EAN13;", "UPC-A;", "MAXICODE;", "QRCODE;",
    "PDF417;", "AZTEC;", "DATAMATRIX;", "EAN8;", "I-2/5;", "CODABAR;", "UCC-128;",
};

const char* const kCodePageNames[kCodePages] = {"ASCII", "GB", "BIG5", "KSC", "SJIS", "UTF8"};

const char* const kSymbolSets[kCodePages] = {
    ";SYMSET 0", ";SYMSET 1100", ";SYMSET 1101", ";SYMSET 1102", ";SYMSET 1103", ";SYMSET 'UTF8'",
};

}  // namespace

const char* barcodeKindText(int kind) { return kKindTexts[kind]; }
const char* codePageName(int n) { return kCodePageNames[n]; }
const char* symbolSetText(int n) { return kSymbolSets[n]; }

}  // namespace qov
