// One-call commands: each export builds one statement of the command
// language into its own result buffer, sends it at once on the current
// connection (sendcommand adds the line end) and returns the text. The
// connection is not checked: without one the text is still returned.
#include "qovlib.h"

#include "export_guard.h"
#include "formatters/result_buffer.h"

using qov::ResultBuffer;
using qov::textOrEmpty;

namespace {

char* sent(char* text) {
    sendcommand(text);
    return text;
}

}  // namespace

char* download_format(const char* name) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("%s%s;%s;%s", "~", "CREATE", textOrEmpty(name), "X"));
    });
}

char* download_format_define(const char* prefix, const char* name) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(
            buffer.format("%s%s;%s;%s", textOrEmpty(prefix), "CREATE", textOrEmpty(name), "X"));
    });
}

char* printer_label(const char* name, int count) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("END%s%s;%s;%d%s%s", "\r\n", "~EXECUTE", textOrEmpty(name), count,
                                  "\r\n", "~NORMAL"));
    });
}

char* printer_label_define(const char* prefix, const char* name, int count) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        const char* p = textOrEmpty(prefix);
        return sent(buffer.format("END%s%s%s;%s;%d%s%s%s", "\r\n", p, "EXECUTE", textOrEmpty(name),
                                  count, "\r\n", p, "NORMAL"));
    });
}

char* printer_dpi(int dpi) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("SCALE;DOT;%d;%d", dpi, dpi));
    });
}

char* printer_codepage(const char* codepage) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("ISET;'%s'", textOrEmpty(codepage)));
    });
}

char* printer_external_font(const char* name, const char* symset) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(
            buffer.format("FONT;NAME %s;SYMSET '%s'", textOrEmpty(name), textOrEmpty(symset)));
    });
}

char* printer_internal_font(const char* face, const char* bold, const char* slant,
                            const char* symset) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("FONT;FACE %s;BOLD %s;SLANT %s;SYMSET '%s'", textOrEmpty(face),
                                  textOrEmpty(bold), textOrEmpty(slant), textOrEmpty(symset)));
    });
}

namespace {

char* alphaText(ResultBuffer& buffer, int p1, int p2, int p3, int p4, const char* text) {
    return qov::noThrow<char*>(nullptr, [&] {
        return sent(buffer.format("ALPHA%s%d;%d;%d;%d;*%s*%s%s", "\r\n", p1, p2, p3, p4,
                                  textOrEmpty(text), "\r\n", "STOP"));
    });
}

char* twoByteText(ResultBuffer& buffer, int p1, int p2, int p3, int p4, const char* text) {
    return qov::noThrow<char*>(nullptr, [&] {
        return sent(buffer.format("TWOBYTE%s%d;%d;%d;%d;*%s*%s%s", "\r\n", p1, p2, p3, p4,
                                  textOrEmpty(text), "\r\n", "STOP"));
    });
}

}  // namespace

char* printer_font(int p1, int p2, int p3, int p4, const char* text) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return alphaText(buffer, p1, p2, p3, p4, text);
    });
}

// The text comes as bytes ending at the first zero byte, whatever the
// pointer's type says.
char* printer_font_binary(int p1, int p2, int p3, int p4, unsigned int* text) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return alphaText(buffer, p1, p2, p3, p4, reinterpret_cast<const char*>(text));
    });
}

char* printer_font_twobyte(int p1, int p2, int p3, int p4, const char* text) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return twoByteText(buffer, p1, p2, p3, p4, text);
    });
}

char* printer_font_twobyte_binary(int p1, int p2, int p3, int p4, const char* text) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return twoByteText(buffer, p1, p2, p3, p4, text);
    });
}

char* printer_barcode(const char* p1, const char* p2, const char* p3, int p4, int p5,
                      const char* data) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("BARCODE%s%s;%s;%s;%d;%d;*%s*%s%s", "\r\n", textOrEmpty(p1),
                                  textOrEmpty(p2), textOrEmpty(p3), p4, p5, textOrEmpty(data),
                                  "\r\n", "STOP"));
    });
}

char* printer_barcode_humanredable(const char* p1, const char* p2, const char* p3, int p4, int p5,
                                   const char* data) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("BARCODE%s%s;%s;%s;%d;%d;*%s*%s%s%s%s", "\r\n", textOrEmpty(p1),
                                  textOrEmpty(p2), textOrEmpty(p3), p4, p5, textOrEmpty(data),
                                  "\r\n", "PDF", "\r\n", "STOP"));
    });
}

char* printer_box(int p1, int p2, int p3, int p4, int p5) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(
            buffer.format("BOX%s%d;%d;%d;%d;%d%s%s", "\r\n", p1, p2, p3, p4, p5, "\r\n", "STOP"));
    });
}

char* printer_diagonal(int p1, int p2, int p3, int p4, int p5) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(
            buffer.format("DIAG%s%d;%d;%d;%d;%d%s%s", "\r\n", p1, p2, p3, p4, p5, "\r\n", "STOP"));
    });
}

char* printer_horizontal(int p1, int p2, int p3, int p4, int p5) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(
            buffer.format("HORZ%s%d;%d;%d;%d;%d%s%s", "\r\n", p1, p2, p3, p4, p5, "\r\n", "STOP"));
    });
}

char* printer_vertical(int p1, int p2, int p3, int p4, int p5) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(
            buffer.format("VERT%s%d;%d;%d;%d;%d%s%s", "\r\n", p1, p2, p3, p4, p5, "\r\n", "STOP"));
    });
}

// The tag length goes after "RFWTAG;" and again at the start of the field
// line; the data is a number written between the stars.
char* printer_RFID_write(int length, const char* format, int data) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        static ResultBuffer buffer;
        return sent(buffer.format("RFWTAG;%d,EPC%s%d;%s;*%d*%s%s", length, "\r\n", length,
                                  textOrEmpty(format), data, "\r\n", "STOP"));
    });
}
