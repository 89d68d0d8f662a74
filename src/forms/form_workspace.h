// The form workspace: job, form, scale and font settings, the barcode
// settings table, the RFID setup list, and the forms composed so far.
//
// One process-wide record. It is in its initial state from load, and
// QOVA_DLLinit returns it there; nothing else removes a form or a record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qov {

// Every integer setting that was never given holds this value.
constexpr int kNotSet = -1000;

constexpr int kJobSettings = 7;
constexpr int kBarcodeKinds = 15;
constexpr int kBarcodeColumns = 10;

struct BarcodeCell {
    int given = kNotSet;  // 1 when QOVA_SetBarcode stored the cell
    std::string text;
};

struct RfidField {
    int fieldLength = 0;
    std::string format;
    std::uint8_t increment = 0;
    int step = 0;
    std::string data;
};

// One composed form: its name and its text (header, then elements in call
// order). Each form's text grows in place, so an element append never copies
// what the form already holds.
struct Form {
    std::string name;
    std::string text;
};

struct FormWorkspace {
    int job[kJobSettings] = {kNotSet, kNotSet, kNotSet, kNotSet, kNotSet, kNotSet, kNotSet};
    int formFirst = kNotSet;   // on the ~CREATE line of later forms
    int formSecond = kNotSet;  // on the ~EXECUTE line at output
    int scaleFirst = kNotSet;
    int scaleSecond = kNotSet;

    std::string fontName;      // empty: no name
    int slant = kNotSet;       // 0 right, 1 left
    int bold = kNotSet;        // 1 on, 0 off
    int codePage = kNotSet;    // 0..5

    BarcodeCell barcode[kBarcodeKinds][kBarcodeColumns];
    std::vector<RfidField> rfid;

    // Indexed by form number; the form counter is always forms.size() - 1.
    std::vector<Form> forms;
    int formCounter = -1;
};

// The process-wide workspace, in its initial state from first use on.
FormWorkspace& formWorkspace();

// Resets the workspace to its initial state and releases its storage
// (QOVA_DLLinit, and tests between cases).
void resetFormWorkspace();

}  // namespace qov
