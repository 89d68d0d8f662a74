// Barcode elements: kind texts, the cells grammar of line 2, rotation, the
// PDF line, and the kind check.
#include "forms_test_support.h"

namespace {

using forms_test::appendedBy;
using forms_test::entry;

class FormsBarcode : public forms_test::FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        ASSERT_EQ(QOVA_CreateForm("F"), 0);
    }
    static std::string barcode(int kind, int f1, int f2, const char* data) {
        return appendedBy(0, [&] { EXPECT_EQ(QOVA_PrintBarcode(0, kind, f1, f2, data), 0); });
    }
};

TEST_F(FormsBarcode, QrCodeExampleWithAndWithoutThePdfLine) {
    ASSERT_EQ(QOVA_SetBarcode(7, 2, "90"), 0);
    ASSERT_EQ(QOVA_SetBarcode(7, 3, "4"), 0);
    EXPECT_EQ(barcode(7, 100, 200, "ABC"), "BARCODE\r\nQRCODE;CW;X4;100;200\r\n*ABC*\r\nSTOP\r\n");
    ASSERT_EQ(QOVA_SetBarcode(7, 4, "ignored"), 0);
    EXPECT_EQ(barcode(7, 100, 200, "ABC"),
              "BARCODE\r\nQRCODE;CW;X4;100;200\r\n*ABC*\r\nPDF\r\nSTOP\r\n");
}

TEST_F(FormsBarcode, EveryKindWritesItsSymbologyText) {
    const char* const texts[] = {"C3/9;",   "C128A;", "C128B;",      "C128C;", "EAN13;",
                                 "UPC-A;",  "MAXICODE;", "QRCODE;",  "PDF417;", "AZTEC;",
                                 "DATAMATRIX;", "EAN8;", "I-2/5;",   "CODABAR;", "UCC-128;"};
    for (int kind = 0; kind < 15; ++kind) {
        EXPECT_EQ(barcode(kind, 5, 6, "d"), std::string("BARCODE\r\n") + texts[kind] + "5;6\r\n*d*\r\nSTOP\r\n");
    }
}

TEST_F(FormsBarcode, CellsComeInTheirFixedOrderWhateverTheOrderOfSetting) {
    for (int column = 9; column >= 1; --column) {
        const std::string text = "c" + std::to_string(column);
        ASSERT_EQ(QOVA_SetBarcode(10, column, column == 2 ? "270" : text.c_str()), 0);
    }
    EXPECT_EQ(barcode(10, -1, -2, "*;"),
              "BARCODE\r\nDATAMATRIX;CCW;Xc3;Hc1;Xc5;Yc6;Tc7;Ec8;Mc9;-1;-2\r\n**;*\r\nPDF\r\nSTOP\r\n");
}

TEST_F(FormsBarcode, TwoXOptionsAreSeparatedByTheHOption) {
    QOVA_SetBarcode(2, 5, "b");
    QOVA_SetBarcode(2, 3, "a");
    EXPECT_EQ(barcode(2, 1, 2, "D"), "BARCODE\r\nC128B;Xa;Xb;1;2\r\n*D*\r\nSTOP\r\n");
    QOVA_SetBarcode(2, 1, "h");
    EXPECT_EQ(barcode(2, 1, 2, "D"), "BARCODE\r\nC128B;Xa;Hh;Xb;1;2\r\n*D*\r\nSTOP\r\n");
}

TEST_F(FormsBarcode, EmptyCellTextsStillCount) {
    QOVA_SetBarcode(0, 1, "");
    QOVA_SetBarcode(0, 4, "");
    QOVA_SetBarcode(0, 9, "");
    EXPECT_EQ(barcode(0, 1, 2, ""), "BARCODE\r\nC3/9;H;M;1;2\r\n**\r\nPDF\r\nSTOP\r\n");
}

TEST_F(FormsBarcode, RotationNeedsTheExactText) {
    const struct {
        const char* text;
        const char* keyword;
    } cases[] = {{"90", "CW;"}, {"180", "INV;"}, {"270", "CCW;"}, {"0", ""},   {"45", ""},
                 {"090", ""},   {"-90", ""},     {"90 ", ""},     {"", ""},    {"1800", ""}};
    for (const auto& c : cases) {
        QOVA_SetBarcode(1, 2, c.text);
        EXPECT_EQ(barcode(1, 3, 4, "D"), std::string("BARCODE\r\nC128A;") + c.keyword + "3;4\r\n*D*\r\nSTOP\r\n")
            << '"' << c.text << '"';
    }
}

TEST_F(FormsBarcode, SettingsBelongToTheirKindAndResetClearsThem) {
    QOVA_SetBarcode(3, 6, "y");
    QOVA_SetBarcode(3, 4, "");
    EXPECT_EQ(barcode(4, 1, 2, "D"), "BARCODE\r\nEAN13;1;2\r\n*D*\r\nSTOP\r\n");
    EXPECT_EQ(barcode(3, 1, 2, "D"), "BARCODE\r\nC128C;Yy;1;2\r\n*D*\r\nPDF\r\nSTOP\r\n");
    // Printing does not consume the settings.
    EXPECT_EQ(barcode(3, 1, 2, "D"), "BARCODE\r\nC128C;Yy;1;2\r\n*D*\r\nPDF\r\nSTOP\r\n");
    QOVA_SetBarcode(3, 0, "");
    EXPECT_EQ(barcode(3, 1, 2, "D"), "BARCODE\r\nC128C;1;2\r\n*D*\r\nSTOP\r\n");
}

TEST_F(FormsBarcode, KindsOutsideTheTableAreRejected) {
    QOVA_SetBarcode(14, 3, "2");
    EXPECT_EQ(QOVA_PrintBarcode(0, 15, 1, 2, "D"), 1);
    EXPECT_EQ(QOVA_PrintBarcode(0, -1, 1, 2, "D"), 1);
    EXPECT_EQ(QOVA_PrintBarcode(0, INT32_MIN, 1, 2, "D"), 1);
    EXPECT_EQ(entry(0), "~CREATE;F;X\r\n");
    EXPECT_EQ(barcode(14, 1, 2, "D"), "BARCODE\r\nUCC-128;X2;1;2\r\n*D*\r\nSTOP\r\n");
}

}  // namespace
