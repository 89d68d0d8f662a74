// One-call formatters: the text each builds, what goes on the wire, and
// their result buffers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "formatters_test_support.h"

namespace {

using fmt_test::Link;
using qov::sim::WriteKind;

struct Case {
    const char* name;
    std::function<char*()> call;
    std::string text;
};

std::vector<Case> everyFormatter() {
    alignas(unsigned int) static char binaryText[8] = "Ab\xC4";
    return {
        {"download_format", [] { return download_format("LBL"); }, "~CREATE;LBL;X"},
        {"download_format_define", [] { return download_format_define("!", "LBL"); },
         "!CREATE;LBL;X"},
        {"printer_label", [] { return printer_label("F", 2); }, "END\r\n~EXECUTE;F;2\r\n~NORMAL"},
        {"printer_label_define", [] { return printer_label_define("^", "F", 3); },
         "END\r\n^EXECUTE;F;3\r\n^NORMAL"},
        {"printer_dpi", [] { return printer_dpi(300); }, "SCALE;DOT;300;300"},
        {"printer_codepage", [] { return printer_codepage("UTF8"); }, "ISET;'UTF8'"},
        {"printer_external_font", [] { return printer_external_font("Arial", "ASCII"); },
         "FONT;NAME Arial;SYMSET 'ASCII'"},
        {"printer_internal_font",
         [] { return printer_internal_font("93779", "1", "0", "UTF8"); },
         "FONT;FACE 93779;BOLD 1;SLANT 0;SYMSET 'UTF8'"},
        {"printer_font", [] { return printer_font(1, 2, 3, 4, "Hi"); },
         "ALPHA\r\n1;2;3;4;*Hi*\r\nSTOP"},
        {"printer_font_binary",
         [] { return printer_font_binary(5, 6, 7, 8, reinterpret_cast<unsigned int*>(binaryText)); },
         "ALPHA\r\n5;6;7;8;*Ab\xC4*\r\nSTOP"},
        {"printer_font_twobyte", [] { return printer_font_twobyte(9, 8, 7, 6, "\xA4\xA4"); },
         "TWOBYTE\r\n9;8;7;6;*\xA4\xA4*\r\nSTOP"},
        {"printer_font_twobyte_binary",
         [] { return printer_font_twobyte_binary(1, 1, 2, 2, "\xB0\xA1"); },
         "TWOBYTE\r\n1;1;2;2;*\xB0\xA1*\r\nSTOP"},
        {"printer_barcode", [] { return printer_barcode("C3/9", "10", "2", 4, 5, "123"); },
         "BARCODE\r\nC3/9;10;2;4;5;*123*\r\nSTOP"},
        {"printer_barcode_humanredable",
         [] { return printer_barcode_humanredable("C128A", "XRD1:1:1:1", "H8", 40, 12, "AB"); },
         "BARCODE\r\nC128A;XRD1:1:1:1;H8;40;12;*AB*\r\nPDF\r\nSTOP"},
        {"printer_box", [] { return printer_box(1, 2, 30, 40, 5); }, "BOX\r\n1;2;30;40;5\r\nSTOP"},
        {"printer_diagonal", [] { return printer_diagonal(6, 7, 8, 9, 10); },
         "DIAG\r\n6;7;8;9;10\r\nSTOP"},
        {"printer_horizontal", [] { return printer_horizontal(3, 10, 4, 50, 0); },
         "HORZ\r\n3;10;4;50;0\r\nSTOP"},
        {"printer_vertical", [] { return printer_vertical(3, 10, 4, 50, 1); },
         "VERT\r\n3;10;4;50;1\r\nSTOP"},
        {"printer_RFID_write", [] { return printer_RFID_write(96, "H", 1234); },
         "RFWTAG;96,EPC\r\n96;H;*1234*\r\nSTOP"},
    };
}

TEST(FormattersCommands, EachBuildsItsTextAndSendsItWithLineEnd) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    std::size_t seen = 0;
    for (const Case& c : everyFormatter()) {
        SCOPED_TRACE(c.name);
        const char* result = c.call();
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(std::string(result), c.text);
        const auto writes = sim->writesTo(fmt_test::kPrinter);
        ASSERT_EQ(writes.size(), seen + 2);
        EXPECT_EQ(writes[seen].kind, WriteKind::WritePrinter);
        EXPECT_EQ(writes[seen].bytes, c.text);
        EXPECT_EQ(writes[seen + 1].bytes, "\r\n");
        seen = writes.size();
    }
}

TEST(FormattersCommands, WithoutConnectionTheTextIsReturnedAndNothingSent) {
    qov::sim::SimScope sim;
    for (const Case& c : everyFormatter()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::string(c.call()), c.text);
    }
    EXPECT_TRUE(sim->writes.empty());
}

TEST(FormattersCommands, NegativeAndExtremeIntegersKeepTheirSign) {
    qov::sim::SimScope sim;
    EXPECT_STREQ(printer_dpi(-300), "SCALE;DOT;-300;-300");
    EXPECT_STREQ(printer_box(-1, 0, -2147483647 - 1, 2147483647, -5),
                 "BOX\r\n-1;0;-2147483648;2147483647;-5\r\nSTOP");
    EXPECT_STREQ(printer_label("F", -2), "END\r\n~EXECUTE;F;-2\r\n~NORMAL");
    EXPECT_STREQ(printer_RFID_write(-8, "A", -77), "RFWTAG;-8,EPC\r\n-8;A;*-77*\r\nSTOP");
}

TEST(FormattersCommands, NullTextsAreWrittenAsEmptyTexts) {
    qov::sim::SimScope sim;
    EXPECT_STREQ(download_format(nullptr), "~CREATE;;X");
    EXPECT_STREQ(download_format_define(nullptr, nullptr), "CREATE;;X");
    EXPECT_STREQ(printer_label_define(nullptr, "F", 1), "END\r\nEXECUTE;F;1\r\nNORMAL");
    EXPECT_STREQ(printer_internal_font(nullptr, "1", nullptr, "X"),
                 "FONT;FACE ;BOLD 1;SLANT ;SYMSET 'X'");
    EXPECT_STREQ(printer_font_binary(1, 2, 3, 4, nullptr), "ALPHA\r\n1;2;3;4;**\r\nSTOP");
    EXPECT_STREQ(printer_barcode(nullptr, nullptr, nullptr, 1, 2, nullptr),
                 "BARCODE\r\n;;;1;2;**\r\nSTOP");
}

TEST(FormattersCommands, EachExportKeepsItsOwnResultBuffer) {
    qov::sim::SimScope sim;
    const char* box = printer_box(1, 1, 1, 1, 1);
    const char* vertical = printer_vertical(2, 2, 2, 2, 2);
    const char* font = printer_font(1, 1, 1, 1, "x");
    const char* binary = printer_font_binary(1, 1, 1, 1, nullptr);
    EXPECT_STREQ(box, "BOX\r\n1;1;1;1;1\r\nSTOP");
    EXPECT_STREQ(vertical, "VERT\r\n2;2;2;2;2\r\nSTOP");
    // printer_font and printer_font_binary share a format, not a buffer.
    EXPECT_STREQ(font, "ALPHA\r\n1;1;1;1;*x*\r\nSTOP");
    EXPECT_STREQ(binary, "ALPHA\r\n1;1;1;1;**\r\nSTOP");

    // The next call of the same export writes over the text in place.
    const char* again = printer_box(9, 9, 9, 9, 9);
    EXPECT_EQ(again, box);
    EXPECT_STREQ(box, "BOX\r\n9;9;9;9;9\r\nSTOP");
    EXPECT_STREQ(vertical, "VERT\r\n2;2;2;2;2\r\nSTOP");
}

TEST(FormattersCommands, LongResultsAreBuiltAndSentWhole) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    const std::string symset(1017, 'S');  // "ISET;''" + 1017 = 1024 characters
    const std::string expected = "ISET;'" + symset + "'";
    EXPECT_EQ(std::string(printer_codepage(symset.c_str())), expected);

    const std::string data(5000, 'D');
    const std::string barcode = "BARCODE\r\nQR;M2;S3;1;2;*" + data + "*\r\nSTOP";
    EXPECT_EQ(std::string(printer_barcode("QR", "M2", "S3", 1, 2, data.c_str())), barcode);

    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::kPrinter),
              (std::vector<std::string>{expected, "\r\n", barcode, "\r\n"}));

    // Afterwards a short text is again exact.
    EXPECT_STREQ(printer_codepage("8859-1"), "ISET;'8859-1'");
}

}  // namespace
