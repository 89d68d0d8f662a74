// Boxes, lines, text and logo elements: their exact bytes, and that each
// lands in its own form only.
#include <climits>

#include "forms_test_support.h"

namespace {

using forms_test::appendedBy;
using forms_test::entry;
using forms_test::takeBlock;

class FormsElements : public forms_test::FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        ASSERT_EQ(QOVA_CreateForm("F"), 0);
    }
};

TEST_F(FormsElements, BoxWritesItsFiveValuesInOrder) {
    EXPECT_EQ(appendedBy(0, [] { EXPECT_EQ(QOVA_DrawBox(0, 2, 10, 20, 110, 220), 0); }),
              "BOX\r\n2;10;20;110;220\r\nSTOP\r\n");
    EXPECT_EQ(appendedBy(0, [] { QOVA_DrawBox(0, -5, 0, INT_MIN, INT_MAX, -1000); }),
              "BOX\r\n-5;0;-2147483648;2147483647;-1000\r\nSTOP\r\n");
}

TEST_F(FormsElements, LineKeywordFollowsWhichCoordinatesAreEqual) {
    const struct {
        int k, r1, c1, r2, c2;
        const char* block;
    } cases[] = {
        {3, 50, 10, 50, 200, "HORZ\r\n3;50;10;200\r\nSTOP\r\n"},
        {3, 10, 40, 300, 40, "VERT\r\n3;40;10;300\r\nSTOP\r\n"},
        {3, 10, 20, 30, 40, "DIAG\r\n3;10;20;30;40\r\nSTOP\r\n"},
        {1, 5, 5, 5, 5, "HORZ\r\n1;5;5;5\r\nSTOP\r\n"},          // a point: rows win
        {1, 50, 200, 50, 10, "HORZ\r\n1;50;200;10\r\nSTOP\r\n"},  // columns not sorted
        {1, 300, 7, 10, 7, "VERT\r\n1;7;300;10\r\nSTOP\r\n"},     // rows not sorted
        {-2, -1, -3, -4, -5, "DIAG\r\n-2;-1;-3;-4;-5\r\nSTOP\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(appendedBy(0, [&] { EXPECT_EQ(QOVA_DrawLine(0, c.k, c.r1, c.c1, c.r2, c.c2), 0); }),
                  c.block);
    }
}

TEST_F(FormsElements, TextElementExamples) {
    EXPECT_EQ(appendedBy(0, [] { EXPECT_EQ(QOVA_PrintTextEng(0, 10, 20, 1, 1, "ABC"), 0); }),
              "ALPHA\r\n10;20;1;1;*ABC*\r\nSTOP\r\n");
    EXPECT_EQ(appendedBy(0, [] { EXPECT_EQ(QOVA_PrintTextCH(0, 10, 20, 1, 1, "ABC"), 0); }),
              "TWOBYTE\r\n10;20;1;1;*ABC*\r\nSTOP\r\n");
    EXPECT_EQ(appendedBy(0, [] { QOVA_PrintTextEng(0, -5, 0, 2, 3, "X"); }),
              "ALPHA\r\n-5;0;2;3;*X*\r\nSTOP\r\n");
    EXPECT_EQ(appendedBy(0, [] { QOVA_PrintTextEng(0, -1000, 1, 2, 3, ""); }),
              "ALPHA\r\n-1000;1;2;3;**\r\nSTOP\r\n");
}

TEST_F(FormsElements, TextIsCopiedByteForByte) {
    EXPECT_EQ(appendedBy(0, [] { QOVA_PrintTextCH(0, 1, 2, 3, 4, "a*b;c\r\nd\xE9\xFF"); }),
              "TWOBYTE\r\n1;2;3;4;*a*b;c\r\nd\xE9\xFF*\r\nSTOP\r\n");
    const std::string big(1 << 20, 'x');
    EXPECT_EQ(appendedBy(0, [&] { EXPECT_EQ(QOVA_PrintTextEng(0, 1, 2, 3, 4, big.c_str()), 0); }),
              "ALPHA\r\n1;2;3;4;*" + big + "*\r\nSTOP\r\n");
}

TEST_F(FormsElements, RepeatedCallsAppendInCallOrder) {
    QOVA_PrintTextEng(0, 1, 1, 1, 1, "A");
    QOVA_DrawBox(0, 1, 2, 3, 4, 5);
    QOVA_PrintTextEng(0, 1, 1, 1, 1, "A");
    EXPECT_EQ(entry(0),
              "~CREATE;F;X\r\n"
              "ALPHA\r\n1;1;1;1;*A*\r\nSTOP\r\n"
              "BOX\r\n1;2;3;4;5\r\nSTOP\r\n"
              "ALPHA\r\n1;1;1;1;*A*\r\nSTOP\r\n");
}

TEST_F(FormsElements, ElementsGoOnlyToTheirOwnForm) {
    ASSERT_EQ(QOVA_CreateForm("G"), 1);
    QOVA_DrawLine(0, 1, 1, 1, 1, 9);
    QOVA_PrintTextEng(1, 1, 2, 3, 4, "one");
    QOVA_PrintImage(1, 5, 6, "L");
    QOVA_DrawBox(0, 1, 2, 3, 4, 5);
    EXPECT_EQ(entry(0), "~CREATE;F;X\r\nHORZ\r\n1;1;1;9\r\nSTOP\r\nBOX\r\n1;2;3;4;5\r\nSTOP\r\n");
    EXPECT_EQ(entry(1), "~CREATE;G;X\r\nALPHA\r\n1;2;3;4;*one*\r\nSTOP\r\nLOGO\r\n5;6;L\r\nSTOP\r\n");
}

TEST_F(FormsElements, LogoElementInCrLfAndLfForms) {
    EXPECT_EQ(appendedBy(0, [] { EXPECT_EQ(QOVA_PrintImage(0, 50, 60, "LOGO1"), 0); }),
              "LOGO\r\n50;60;LOGO1\r\nSTOP\r\n");
    std::string returned;
    EXPECT_EQ(appendedBy(0, [&] { returned = takeBlock(printer_Logo(0, "LOGO1", 50, 60)); }),
              "LOGO\n50;60;LOGO1\nSTOP\n");
    EXPECT_EQ(returned, "LOGO\n50;60;LOGO1\nSTOP\n");
}

TEST_F(FormsElements, LogoNamesAndFieldsPassThrough) {
    EXPECT_EQ(appendedBy(0, [] { QOVA_PrintImage(0, -1, -2, ""); }), "LOGO\r\n-1;-2;\r\nSTOP\r\n");
    EXPECT_EQ(appendedBy(0, [] { QOVA_PrintImage(0, 1, 2, "a;b*c"); }),
              "LOGO\r\n1;2;a;b*c\r\nSTOP\r\n");
    EXPECT_EQ(takeBlock(printer_Logo(0, "", -3, 0)), "LOGO\n-3;0;\nSTOP\n");
}

TEST_F(FormsElements, LogoForAFormThatDoesNotExistIsReturnedButNotAppended) {
    EXPECT_EQ(takeBlock(printer_Logo(1, "L", 1, 2)), "LOGO\n1;2;L\nSTOP\n");
    EXPECT_EQ(takeBlock(printer_Logo(-1, "L", 1, 2)), "LOGO\n1;2;L\nSTOP\n");
    EXPECT_EQ(printer_Logo(0, nullptr, 1, 2), nullptr);
    EXPECT_EQ(entry(0), "~CREATE;F;X\r\n");
    EXPECT_EQ(qov::formWorkspace().forms.size(), 1u);
}

// Calls that name no form, or pass a null text, append nothing anywhere and
// say so with 1.
TEST_F(FormsElements, RejectedCallsChangeNoForm) {
    ASSERT_EQ(QOVA_CreateForm("G"), 1);
    QOVA_SetupRFID(8, 0, "", 0, "A");
    for (int bad : {-1, 2, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(QOVA_DrawBox(bad, 1, 2, 3, 4, 5), 1);
        EXPECT_EQ(QOVA_DrawLine(bad, 1, 2, 3, 4, 5), 1);
        EXPECT_EQ(QOVA_PrintTextEng(bad, 1, 2, 3, 4, "A"), 1);
        EXPECT_EQ(QOVA_PrintTextCH(bad, 1, 2, 3, 4, "A"), 1);
        EXPECT_EQ(QOVA_PrintBarcode(bad, 0, 1, 2, "A"), 1);
        EXPECT_EQ(QOVA_PrintImage(bad, 1, 2, "A"), 1);
        EXPECT_EQ(QOVA_WriteRFID(bad, "", "T"), 1);
        EXPECT_EQ(QOVA_VerifyRFID(bad, "", "T", 8, "H"), 1);
    }
    EXPECT_EQ(QOVA_PrintTextEng(0, 1, 2, 3, 4, nullptr), 1);
    EXPECT_EQ(QOVA_PrintTextCH(1, 1, 2, 3, 4, nullptr), 1);
    EXPECT_EQ(QOVA_PrintBarcode(0, 0, 1, 2, nullptr), 1);
    EXPECT_EQ(QOVA_PrintImage(0, 1, 2, nullptr), 1);
    EXPECT_EQ(QOVA_WriteRFID(0, nullptr, "T"), 1);
    EXPECT_EQ(QOVA_WriteRFID(0, "", nullptr), 1);
    EXPECT_EQ(QOVA_VerifyRFID(0, nullptr, "T", 8, "H"), 1);
    EXPECT_EQ(QOVA_VerifyRFID(0, "", nullptr, 8, "H"), 1);
    EXPECT_EQ(QOVA_VerifyRFID(0, "", "T", 8, nullptr), 1);
    EXPECT_EQ(entry(0), "~CREATE;F;X\r\n");
    EXPECT_EQ(entry(1), "~CREATE;G;X\r\n");
    EXPECT_EQ(qov::formWorkspace().forms.size(), 2u);
}

}  // namespace
