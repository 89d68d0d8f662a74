// Barcodes: the symbology comes from the kind, every option from the kind's
// row of the barcode settings table as it stands at this call.
#include <cstring>

#include "export_guard.h"
#include "forms/element_text.h"
#include "forms/form_workspace.h"
#include "forms/keyword_tables.h"
#include "qovlib.h"

namespace {

const char* rotationKeyword(const std::string& text) {
    if (text == "90") return "CW;";
    if (text == "180") return "INV;";
    if (text == "270") return "CCW;";
    return "";
}

}  // namespace

int QOVA_PrintBarcode(int form, int kind, int f1, int f2, const char* data) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (kind < 0 || kind >= qov::kBarcodeKinds || data == nullptr) return 1;
        const auto& row = qov::formWorkspace().barcode[kind];
        auto given = [&](int column) { return row[column].given == 1; };

        qov::ElementText e;
        e << "BARCODE\r\n" << qov::barcodeKindText(kind);
        if (given(2)) e << rotationKeyword(row[2].text);
        // The printer reads the options in this order; columns 3 and 5 both
        // carry the letter X.
        static const int columns[] = {3, 1, 5, 6, 7, 8, 9};
        static const char* const letters[] = {"X", "H", "X", "Y", "T", "E", "M"};
        for (std::size_t i = 0; i < sizeof columns / sizeof columns[0]; ++i) {
            if (given(columns[i])) e << letters[i] << row[columns[i]].text << ";";
        }
        e << f1 << ";" << f2 << "\r\n*" << data << "*\r\n";
        if (given(4)) e << "PDF\r\n";  // human-readable line; the cell text is not used
        e << "STOP\r\n";
        return qov::appendToForm(form, e.str()) ? 0 : 1;
    });
}
