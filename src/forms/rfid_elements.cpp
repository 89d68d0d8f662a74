// RFID tag write (fields from the RFID setup list) and tag read-and-verify
// (fields from the arguments).
#include <cstdint>

#include "export_guard.h"
#include "forms/element_text.h"
#include "forms/form_workspace.h"
#include "qovlib.h"

namespace {

void fieldLine(const qov::RfidField& field, qov::ElementText& e) {
    e << field.fieldLength << ";";
    if (field.increment != 0) e << "I;";
    if (field.format.empty())
        e << "D";
    else
        e << field.format;
    e << ";";
    if (field.increment != 0) {
        // A positive step carries its "+"; zero and negatives do not.
        e << (field.step > 0 ? "STEP+" : "STEP") << field.step << ";";
    }
    e << "*" << field.data << "*\r\n";
}

}  // namespace

int QOVA_WriteRFID(int form, const char* lock, const char* tagHeader) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (lock == nullptr || tagHeader == nullptr) return 1;
        const auto& fields = qov::formWorkspace().rfid;
        if (fields.empty()) return 1;
        qov::ElementText lines;
        // The total wraps like the printer's own 32-bit sum instead of
        // overflowing.
        std::uint32_t total = 0;
        for (const auto& field : fields) {
            fieldLine(field, lines);
            total += static_cast<std::uint32_t>(field.fieldLength);
        }
        qov::ElementText e;
        e << "RFWTAG;";
        if (*lock != '\0') e << "LOCK" << lock << ";";
        e << static_cast<int>(total) << ";" << tagHeader << "\r\n" << lines.str() << "STOP\r\n";
        return qov::appendToForm(form, e.str()) ? 0 : 1;
    });
}

int QOVA_VerifyRFID(int form, const char* unlock, const char* tagHeader, int fieldLength,
                    const char* format) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (unlock == nullptr || tagHeader == nullptr || format == nullptr) return 1;
        qov::ElementText e;
        e << "RFRTAG;";
        if (*unlock != '\0') e << "UNLOCK" << unlock << ";";
        e << fieldLength << ";" << tagHeader << "\r\n"
          << fieldLength << ";DF1;" << format << "\r\n"
          << "STOP\r\n"
          // The tail is ten characters of text: the backslash pairs are not CR LF.
          << "VERIFY;DF1;" << format << ";**;*\\r\\n*"
          << "\r\n";
        return qov::appendToForm(form, e.str()) ? 0 : 1;
    });
}
