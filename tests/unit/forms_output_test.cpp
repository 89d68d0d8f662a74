// Form output: the closing lines, the second form setting read at output,
// fresh blocks per call, and forms that do not exist.
#include "forms/form_output.h"
#include "forms_test_support.h"

namespace {

using forms_test::entry;
using forms_test::formData;

class FormsOutput : public forms_test::FormsFixture {};

TEST_F(FormsOutput, EmptyFormF1) {
    const int form = QOVA_CreateForm("F1");
    EXPECT_EQ(formData(form), "~CREATE;F1;X\r\nEND\r\n~EXECUTE;F1\r\n~NORMAL\r\n");
}

TEST_F(FormsOutput, SecondFormSettingIsReadAtOutputTime) {
    const int form = QOVA_CreateForm("F1");
    ASSERT_EQ(QOVA_FormSetup(2, 3), 0);
    EXPECT_EQ(formData(form), "~CREATE;F1;X\r\nEND\r\n~EXECUTE;F1;3\r\n~NORMAL\r\n");
    ASSERT_EQ(QOVA_FormSetup(2, 12), 0);
    EXPECT_EQ(formData(form), "~CREATE;F1;X\r\nEND\r\n~EXECUTE;F1;12\r\n~NORMAL\r\n");
}

TEST_F(FormsOutput, EachCallReturnsAFreshBlockAndLeavesTheFormAsItWas) {
    const int form = QOVA_CreateForm("F");
    QOVA_PrintTextEng(form, 1, 2, 3, 4, "A");
    char* first = QOVA_GetFormData(form);
    char* second = QOVA_GetFormData(form);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_STREQ(first, second);
    first[0] = '#';  // the caller's block is its own
    EXPECT_EQ(entry(form), "~CREATE;F;X\r\nALPHA\r\n1;2;3;4;*A*\r\nSTOP\r\n");
    std::free(first);
    std::free(second);
}

TEST_F(FormsOutput, ElementsAddedAfterAnOutputGoOutWithTheNext) {
    const int form = QOVA_CreateForm("F");
    QOVA_DrawBox(form, 1, 2, 3, 4, 5);
    EXPECT_EQ(formData(form), "~CREATE;F;X\r\nBOX\r\n1;2;3;4;5\r\nSTOP\r\nEND\r\n~EXECUTE;F\r\n~NORMAL\r\n");
    QOVA_PrintImage(form, 1, 2, "L");
    EXPECT_EQ(formData(form),
              "~CREATE;F;X\r\nBOX\r\n1;2;3;4;5\r\nSTOP\r\nLOGO\r\n1;2;L\r\nSTOP\r\n"
              "END\r\n~EXECUTE;F\r\n~NORMAL\r\n");
}

TEST_F(FormsOutput, EachFormHasItsOwnNameAndElements) {
    QOVA_FormSetup(1, 4);
    const int a = QOVA_CreateForm("SAME");
    const int b = QOVA_CreateForm("SAME");
    QOVA_PrintTextEng(b, 1, 1, 1, 1, "B");
    const int c = QOVA_CreateForm("C");
    QOVA_PrintTextEng(c, 2, 2, 2, 2, "C");
    EXPECT_EQ(formData(a), "~CREATE;SAME;X;4\r\nEND\r\n~EXECUTE;SAME\r\n~NORMAL\r\n");
    EXPECT_EQ(formData(b), "~CREATE;SAME;X;4\r\nALPHA\r\n1;1;1;1;*B*\r\nSTOP\r\nEND\r\n~EXECUTE;SAME\r\n~NORMAL\r\n");
    EXPECT_EQ(formData(c), "~CREATE;C;X;4\r\nALPHA\r\n2;2;2;2;*C*\r\nSTOP\r\nEND\r\n~EXECUTE;C\r\n~NORMAL\r\n");
}

TEST_F(FormsOutput, FormsThatDoNotExistGiveNull) {
    EXPECT_EQ(QOVA_GetFormData(0), nullptr);
    QOVA_CreateForm("F");
    EXPECT_EQ(QOVA_GetFormData(1), nullptr);
    EXPECT_EQ(QOVA_GetFormData(-1), nullptr);
    EXPECT_EQ(QOVA_GetFormData(INT32_MIN), nullptr);
}

TEST_F(FormsOutput, TextEndsAtAnEmbeddedNul) {
    // No export can put a NUL into a form; the text is still measured as one.
    const int form = QOVA_CreateForm("F");
    qov::formWorkspace().forms[0].text.append(std::string("AB\0CD", 5));
    EXPECT_EQ(qov::completeFormText(form), "~CREATE;F;X\r\nAB");
    EXPECT_EQ(formData(form), "~CREATE;F;X\r\nAB");
}

}  // namespace
