// Logo elements: a reference by name to a logo already stored in the
// printer. printer_Logo builds the same element with LF line ends and hands
// the caller a copy. It lives here, not with printer_PNGLogo_NORMAL
// (formatters/logo_export.cpp), because like QOVA_PrintImage it adds an
// element to a form and sends nothing; the logo export stores a picture in
// the printer.
#include "export_guard.h"
#include "forms/element_text.h"
#include "forms/form_output.h"
#include "qovlib.h"

int QOVA_PrintImage(int form, int f1, int f2, const char* logoName) {
    return qov::noThrow<int>(1, [&]() -> int {
        if (logoName == nullptr) return 1;
        qov::ElementText e;
        e << "LOGO\r\n" << f1 << ";" << f2 << ";" << logoName << "\r\nSTOP\r\n";
        return qov::appendToForm(form, e.str()) ? 0 : 1;
    });
}

char* printer_Logo(int form, const char* logoName, int f1, int f2) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        if (logoName == nullptr) return nullptr;
        qov::ElementText e;
        e << "LOGO\n" << f1 << ";" << f2 << ";" << logoName << "\nSTOP\n";
        // The copy is made first, so a failed allocation appends nothing.
        char* copy = qov::newTextBlock(e.str());
        if (copy == nullptr) return nullptr;
        // A form number that names no form still gets its element text back.
        qov::appendToForm(form, e.str());
        return copy;
    });
}
