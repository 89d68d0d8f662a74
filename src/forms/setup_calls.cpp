// The setup calls: they only store settings, which QOVA_CreateForm,
// QOVA_PrintBarcode, QOVA_WriteRFID and the form output read later.
#include <cstring>

#include "export_guard.h"
#include "forms/element_text.h"
#include "forms/form_workspace.h"
#include "forms/keyword_tables.h"
#include "qovlib.h"

namespace {

using qov::formWorkspace;

bool jobValueAccepted(int type, int value) {
    switch (type) {
    case 1: return value >= 100 && value <= 8500;    // paper width
    case 2: return value >= 100 && value <= 99000;   // paper length
    case 3: return value >= 1 && value <= 10;        // speed
    case 4: return value >= -15 && value <= 15;      // intensity
    case 5: return value >= 0 && value <= 4;         // labels
    case 6: return value >= 0 && value <= 4;         // media
    case 7: return value == 0 || value == 90 || value == 180 || value == 270;  // rotation
    default: return false;
    }
}

// The value of a fixed word, or kNotSet when `text` is none of them.
int matchWord(const char* text, const char* const* words, const int* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(text, words[i]) == 0) return values[i];
    }
    return qov::kNotSet;
}

}  // namespace

int QOVA_JobSetup(int type, int value) {
    return qov::noThrow<int>(1, [&]() -> int {
        auto& ws = formWorkspace();
        if (type == 0) {
            for (int& job : ws.job) job = qov::kNotSet;
            return 0;
        }
        if (!jobValueAccepted(type, value)) return 1;
        ws.job[type - 1] = value;
        return 0;
    });
}

int QOVA_FormSetup(int type, int value) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (value < 1) return 1;
        auto& ws = formWorkspace();
        if (type == 1) {
            ws.formFirst = value;
            return 0;
        }
        if (type == 2) {
            ws.formSecond = value;
            return 0;
        }
        return 1;
    });
}

int QOVA_Scale(int first, int second) {
    return qov::noThrow<int>(1, [&]() -> int {
        auto& ws = formWorkspace();
        ws.scaleFirst = first;
        ws.scaleSecond = second;
        return 0;
    });
}

int QOVA_FontSetup(int type, const char* text) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (text == nullptr) return 1;
        auto& ws = formWorkspace();
        switch (type) {
        case 0:
            ws.fontName = text;
            return 0;
        case 1: {
            static const char* const words[] = {"ON", "OFF"};
            static const int values[] = {1, 0};
            ws.bold = matchWord(text, words, values, 2);
            return ws.bold == qov::kNotSet ? 1 : 0;
        }
        case 2: {
            static const char* const words[] = {"R", "L"};
            static const int values[] = {0, 1};
            ws.slant = matchWord(text, words, values, 2);
            return ws.slant == qov::kNotSet ? 1 : 0;
        }
        case 3: {
            int page = qov::kNotSet;
            for (int n = 0; n < qov::kCodePages; ++n) {
                if (std::strcmp(text, qov::codePageName(n)) == 0) page = n;
            }
            ws.codePage = page;
            return page == qov::kNotSet ? 1 : 0;
        }
        default:
            return 1;
        }
    });
}

int QOVA_SetBarcode(int kind, int column, const char* text) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (kind < 0 || kind >= qov::kBarcodeKinds || column < 0 || column >= qov::kBarcodeColumns)
            return 1;
        auto& row = formWorkspace().barcode[kind];
        if (column == 0) {
            for (auto& cell : row) cell = qov::BarcodeCell{};
            return 0;
        }
        if (text == nullptr) return 1;
        row[column].text = text;  // assigned first: a failed copy leaves the cell as it was
        row[column].given = 1;
        return 0;
    });
}

int QOVA_SetupRFID(int fieldLength, unsigned char increment, const char* format, int step,
                   const char* data) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (format == nullptr || data == nullptr) return 1;
        formWorkspace().rfid.push_back(qov::RfidField{fieldLength, format, increment, step, data});
        return 0;
    });
}
