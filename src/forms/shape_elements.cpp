// Boxes and straight lines. Numbers pass through unchanged; the points of a
// line are written in the order given, never sorted.
#include "export_guard.h"
#include "forms/element_text.h"
#include "qovlib.h"

int QOVA_DrawBox(int form, int b1, int b2, int b3, int b4, int b5) {
    return qov::noThrow(1, [&] {
        qov::ElementText e;
        e << "BOX\r\n" << b1 << ";" << b2 << ";" << b3 << ";" << b4 << ";" << b5 << "\r\nSTOP\r\n";
        return qov::appendToForm(form, e.str()) ? 0 : 1;
    });
}

int QOVA_DrawLine(int form, int k, int r1, int c1, int r2, int c2) {
    return qov::noThrow(1, [&] {
        qov::ElementText e;
        // Equal rows win over equal columns, so a single point is a HORZ line.
        if (r1 == r2)
            e << "HORZ\r\n" << k << ";" << r1 << ";" << c1 << ";" << c2;
        else if (c1 == c2)
            e << "VERT\r\n" << k << ";" << c1 << ";" << r1 << ";" << r2;
        else
            e << "DIAG\r\n" << k << ";" << r1 << ";" << c1 << ";" << r2 << ";" << c2;
        e << "\r\nSTOP\r\n";
        return qov::appendToForm(form, e.str()) ? 0 : 1;
    });
}
