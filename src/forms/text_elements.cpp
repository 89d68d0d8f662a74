// Text elements: ALPHA for single-byte text, TWOBYTE for the two-byte code
// pages. The font and scale are the form's (its header), not the element's.
#include "export_guard.h"
#include "forms/element_text.h"
#include "qovlib.h"

namespace {

int printText(const char* keyword, int form, int f1, int f2, int f3, int f4, const char* text) {
    if (text == nullptr) return 1;
    qov::ElementText e;
    e << keyword << "\r\n"
      << f1 << ";" << f2 << ";" << f3 << ";" << f4 << ";*" << text << "*\r\nSTOP\r\n";
    return qov::appendToForm(form, e.str()) ? 0 : 1;
}

}  // namespace

int QOVA_PrintTextEng(int form, int f1, int f2, int f3, int f4, const char* text) {
    return qov::noThrow<int>(1, [&]() -> int {
        return printText("ALPHA", form, f1, f2, f3, f4, text);
    });
}

int QOVA_PrintTextCH(int form, int f1, int f2, int f3, int f4, const char* text) {
    return qov::noThrow<int>(1, [&]() -> int {
        return printText("TWOBYTE", form, f1, f2, f3, f4, text);
    });
}
