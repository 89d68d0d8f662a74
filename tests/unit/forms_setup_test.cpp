// Setup calls: the accepted ranges, what a rejection leaves, the clearing
// words of QOVA_FontSetup, and what QOVA_DLLinit resets.
#include "forms_test_support.h"

namespace {

using forms_test::entry;
using forms_test::formData;
using forms_test::headerNow;

class FormsSetup : public forms_test::FormsFixture {};

struct JobRange {
    int type;
    int low, high;        // accepted edges
    int below, above;     // first rejected values outside them
    const char* prefix;   // the header line around the value
    const char* suffix;
};

const JobRange kJobRanges[] = {
    {1, 100, 8500, 99, 8501, "~PAPER;SIZE ", ",0\r\n"},
    {2, 100, 99000, 99, 99001, "~PAPER;SIZE 0,", "\r\n"},
    {3, 1, 10, 0, 11, "~PAPER;SPEED IPS ", "\r\n"},
    {4, -15, 15, -16, 16, "~PAPER;INTENSITY ", "\r\n"},
    {5, 0, 4, -1, 5, "~PAPER;LABELS ", "\r\n"},
    {6, 0, 4, -1, 5, "~PAPER;MEDIA ", "\r\n"},
};

std::string paperHeader(const char* prefix, int value, const char* suffix) {
    return std::string("~NORMAL\r\n") + prefix + std::to_string(value) + suffix + "~CREATE;H;X\r\n";
}

TEST_F(FormsSetup, JobSettingsAcceptTheirEdgesAndKeepTheValueOnRejection) {
    for (const auto& r : kJobRanges) {
        SCOPED_TRACE(r.type);
        QOVA_DLLinit();
        EXPECT_EQ(QOVA_JobSetup(r.type, r.low), 0);
        EXPECT_EQ(headerNow(), paperHeader(r.prefix, r.low, r.suffix));
        EXPECT_EQ(QOVA_JobSetup(r.type, r.high), 0);
        EXPECT_EQ(headerNow(), paperHeader(r.prefix, r.high, r.suffix));
        EXPECT_EQ(QOVA_JobSetup(r.type, r.below), 1);
        EXPECT_EQ(QOVA_JobSetup(r.type, r.above), 1);
        EXPECT_EQ(QOVA_JobSetup(r.type, qov::kNotSet), 1);
        EXPECT_EQ(headerNow(), paperHeader(r.prefix, r.high, r.suffix));
    }
}

TEST_F(FormsSetup, RotationTakesOnlyTheFourRightAngles) {
    for (int angle : {0, 90, 180, 270}) {
        EXPECT_EQ(QOVA_JobSetup(7, angle), 0) << angle;
        EXPECT_EQ(headerNow(), paperHeader("~PAPER;ROTATE ", angle, "\r\n"));
    }
    for (int angle : {45, 360, -90, 1, 269}) EXPECT_EQ(QOVA_JobSetup(7, angle), 1) << angle;
    EXPECT_EQ(headerNow(), paperHeader("~PAPER;ROTATE ", 270, "\r\n"));
}

TEST_F(FormsSetup, JobTypeZeroClearsEverySettingAndOtherTypesAreRejected) {
    ASSERT_EQ(QOVA_JobSetup(1, 400), 0);
    ASSERT_EQ(QOVA_JobSetup(6, 2), 0);
    EXPECT_EQ(QOVA_JobSetup(8, 1), 1);
    EXPECT_EQ(QOVA_JobSetup(-1, 1), 1);
    EXPECT_EQ(headerNow(), "~NORMAL\r\n~PAPER;SIZE 400,0\r\n~PAPER;MEDIA 2\r\n~CREATE;H;X\r\n");
    EXPECT_EQ(QOVA_JobSetup(0, 12345), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\n");
}

TEST_F(FormsSetup, FormSettingsTakeOneOrMoreAndKeepThePreviousValue) {
    EXPECT_EQ(QOVA_FormSetup(1, 1), 0);
    EXPECT_EQ(QOVA_FormSetup(2, 7), 0);
    EXPECT_EQ(QOVA_FormSetup(1, 0), 1);
    EXPECT_EQ(QOVA_FormSetup(2, -5), 1);
    EXPECT_EQ(QOVA_FormSetup(3, 10), 1);
    EXPECT_EQ(QOVA_FormSetup(0, 10), 1);
    const int form = QOVA_CreateForm("F");
    EXPECT_EQ(formData(form), "~CREATE;F;X;1\r\nEND\r\n~EXECUTE;F;7\r\n~NORMAL\r\n");
}

TEST_F(FormsSetup, ScaleIsStoredUncheckedAndOmittedWhileItsFirstValueIsNotSet) {
    EXPECT_EQ(QOVA_Scale(-1000, 5), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\n");
    EXPECT_EQ(QOVA_Scale(5, -1000), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nSCALE;DOT;5;-1000\r\n");
    EXPECT_EQ(QOVA_Scale(-7, 0), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nSCALE;DOT;-7;0\r\n");
}

TEST_F(FormsSetup, FontWordsAreMatchedWholeAndCaseSensitively) {
    EXPECT_EQ(QOVA_FontSetup(1, "ON"), 0);
    EXPECT_EQ(QOVA_FontSetup(2, "L"), 0);
    EXPECT_EQ(QOVA_FontSetup(3, "UTF8"), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nFONT;SLANT LEFT;BOLD ON;SYMSET 'UTF8'\r\n");

    // A word that is not accepted clears its item.
    EXPECT_EQ(QOVA_FontSetup(1, "on"), 1);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nFONT;SLANT LEFT;SYMSET 'UTF8'\r\n");
    EXPECT_EQ(QOVA_FontSetup(3, "utf8"), 1);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nFONT;SLANT LEFT\r\n");
    EXPECT_EQ(QOVA_FontSetup(2, "LEFT"), 1);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\n");

    EXPECT_EQ(QOVA_FontSetup(1, "OFF"), 0);
    EXPECT_EQ(QOVA_FontSetup(2, "R"), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nFONT;SLANT RIGHT;BOLD OFF\r\n");
    EXPECT_EQ(QOVA_FontSetup(1, "OFF "), 1);
    EXPECT_EQ(QOVA_FontSetup(2, ""), 1);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\n");
}

TEST_F(FormsSetup, EachCodePageNameGivesItsSymbolSet) {
    const struct {
        const char* name;
        const char* symset;
    } pages[] = {{"ASCII", ";SYMSET 0"},    {"GB", ";SYMSET 1100"},  {"BIG5", ";SYMSET 1101"},
                 {"KSC", ";SYMSET 1102"},   {"SJIS", ";SYMSET 1103"}, {"UTF8", ";SYMSET 'UTF8'"}};
    for (const auto& p : pages) {
        EXPECT_EQ(QOVA_FontSetup(3, p.name), 0) << p.name;
        EXPECT_EQ(headerNow(), std::string("~CREATE;H;X\r\nFONT") + p.symset + "\r\n");
    }
}

TEST_F(FormsSetup, FontNameIsStoredAndAnEmptyNameRemovesIt) {
    EXPECT_EQ(QOVA_FontSetup(0, "Arial Narrow"), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nFONT;NAME Arial Narrow\r\n");
    EXPECT_EQ(QOVA_FontSetup(0, ""), 0);
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\n");
}

TEST_F(FormsSetup, UnknownFontTypeAndNullTextChangeNothing) {
    ASSERT_EQ(QOVA_FontSetup(0, "N"), 0);
    ASSERT_EQ(QOVA_FontSetup(1, "ON"), 0);
    EXPECT_EQ(QOVA_FontSetup(4, "ON"), 1);
    EXPECT_EQ(QOVA_FontSetup(-1, "ON"), 1);
    for (int type : {0, 1, 2, 3, 4}) EXPECT_EQ(QOVA_FontSetup(type, nullptr), 1) << type;
    EXPECT_EQ(headerNow(), "~CREATE;H;X\r\nFONT;NAME N;BOLD ON\r\n");
}

TEST_F(FormsSetup, SetBarcodeRejectsKindsAndColumnsOutOfRange) {
    const int form = QOVA_CreateForm("F");
    EXPECT_EQ(QOVA_SetBarcode(15, 1, "7"), 1);
    EXPECT_EQ(QOVA_SetBarcode(-1, 1, "7"), 1);
    EXPECT_EQ(QOVA_SetBarcode(0, 10, "7"), 1);
    EXPECT_EQ(QOVA_SetBarcode(0, -1, "7"), 1);
    EXPECT_EQ(QOVA_SetBarcode(0, 1, nullptr), 1);
    ASSERT_EQ(QOVA_PrintBarcode(form, 0, 5, 6, "D"), 0);
    EXPECT_EQ(entry(form), "~CREATE;F;X\r\nBARCODE\r\nC3/9;5;6\r\n*D*\r\nSTOP\r\n");
}

TEST_F(FormsSetup, SetBarcodeColumnZeroResetsOnlyItsRowWithoutReadingTheText) {
    const int form = QOVA_CreateForm("F");
    ASSERT_EQ(QOVA_SetBarcode(3, 1, "2"), 0);
    ASSERT_EQ(QOVA_SetBarcode(3, 9, "8"), 0);
    ASSERT_EQ(QOVA_SetBarcode(4, 1, "3"), 0);
    EXPECT_EQ(QOVA_SetBarcode(3, 0, nullptr), 0);
    ASSERT_EQ(QOVA_PrintBarcode(form, 3, 1, 2, "A"), 0);
    ASSERT_EQ(QOVA_PrintBarcode(form, 4, 1, 2, "B"), 0);
    EXPECT_EQ(entry(form),
              "~CREATE;F;X\r\n"
              "BARCODE\r\nC128C;1;2\r\n*A*\r\nSTOP\r\n"
              "BARCODE\r\nEAN13;H3;1;2\r\n*B*\r\nSTOP\r\n");
}

TEST_F(FormsSetup, EveryRfidSetupCallAddsARecordAndNullTextsAddNone) {
    const int form = QOVA_CreateForm("F");
    EXPECT_EQ(QOVA_SetupRFID(8, 0, "H", 0, "AB"), 0);
    EXPECT_EQ(QOVA_SetupRFID(8, 0, "H", 0, "AB"), 0);
    EXPECT_EQ(QOVA_SetupRFID(8, 0, nullptr, 0, "AB"), 1);
    EXPECT_EQ(QOVA_SetupRFID(8, 0, "H", 0, nullptr), 1);
    ASSERT_EQ(QOVA_WriteRFID(form, "", "T"), 0);
    EXPECT_EQ(entry(form), "~CREATE;F;X\r\nRFWTAG;16;T\r\n8;H;*AB*\r\n8;H;*AB*\r\nSTOP\r\n");
}

TEST_F(FormsSetup, DllInitDiscardsFormsRecordsAndEverySetting) {
    ASSERT_EQ(QOVA_CreateForm("A"), 0);
    ASSERT_EQ(QOVA_CreateForm("B"), 1);
    ASSERT_EQ(QOVA_CreateForm("C"), 2);
    QOVA_JobSetup(3, 4);
    QOVA_FormSetup(1, 9);
    QOVA_FormSetup(2, 9);
    QOVA_Scale(1, 2);
    QOVA_FontSetup(0, "N");
    QOVA_FontSetup(1, "ON");
    QOVA_FontSetup(2, "R");
    QOVA_FontSetup(3, "GB");
    QOVA_SetBarcode(7, 3, "4");
    QOVA_SetupRFID(8, 1, "H", 1, "00");

    QOVA_DLLinit();
    EXPECT_EQ(QOVA_GetFormData(1), nullptr);
    const int form = QOVA_CreateForm("F");
    EXPECT_EQ(form, 0);
    EXPECT_EQ(QOVA_WriteRFID(form, "", "T"), 1);
    ASSERT_EQ(QOVA_PrintBarcode(form, 7, 1, 2, "Q"), 0);
    EXPECT_EQ(formData(form),
              "~CREATE;F;X\r\nBARCODE\r\nQRCODE;1;2\r\n*Q*\r\nSTOP\r\n"
              "END\r\n~EXECUTE;F\r\n~NORMAL\r\n");
}

TEST_F(FormsSetup, DllExitLeavesTheWorkspaceAsItWas) {
    QOVA_JobSetup(3, 4);
    const int form = QOVA_CreateForm("F");
    QOVA_DLLexit();
    EXPECT_EQ(formData(form), "~NORMAL\r\n~PAPER;SPEED IPS 4\r\n~CREATE;F;X\r\nEND\r\n~EXECUTE;F\r\n~NORMAL\r\n");
    EXPECT_EQ(QOVA_CreateForm("G"), 1);
}

// The library state as it is at load, before any QOVA_DLLinit.
TEST(FormsBeforeInit, WorkspaceStartsInItsInitialState) {
    qov::sim::SimScope sim;
    EXPECT_EQ(QOVA_GetFormData(0), nullptr);
    EXPECT_EQ(QOVA_WriteRFID(0, "", ""), 1);
    const int form = QOVA_CreateForm("F");
    EXPECT_EQ(form, 0);
    EXPECT_EQ(forms_test::formData(form), "~CREATE;F;X\r\nEND\r\n~EXECUTE;F\r\n~NORMAL\r\n");
}

}  // namespace
