// The form header: line order, conditional lines, and that each form takes
// the settings of the moment it is created.
#include "forms_test_support.h"

namespace {

using forms_test::entry;

class FormsHeader : public forms_test::FormsFixture {};

TEST_F(FormsHeader, SevenLineExample) {
    ASSERT_EQ(QOVA_JobSetup(1, 400), 0);
    ASSERT_EQ(QOVA_JobSetup(3, 6), 0);
    ASSERT_EQ(QOVA_JobSetup(7, 90), 0);
    ASSERT_EQ(QOVA_FormSetup(1, 300), 0);
    ASSERT_EQ(QOVA_FontSetup(1, "ON"), 0);
    ASSERT_EQ(QOVA_FontSetup(3, "ASCII"), 0);
    ASSERT_EQ(QOVA_Scale(203, 203), 0);
    const int form = QOVA_CreateForm("LABEL1");
    ASSERT_EQ(form, 0);
    EXPECT_EQ(entry(form),
              "~NORMAL\r\n"
              "~PAPER;SIZE 400,0\r\n"
              "~PAPER;SPEED IPS 6\r\n"
              "~PAPER;ROTATE 90\r\n"
              "~CREATE;LABEL1;X;300\r\n"
              "FONT;BOLD ON;SYMSET 0\r\n"
              "SCALE;DOT;203;203\r\n");
}

TEST_F(FormsHeader, EveryLineTogetherInItsFixedOrder) {
    // Set in the reverse of the order the lines come out.
    QOVA_Scale(1, 2);
    QOVA_FontSetup(3, "SJIS");
    QOVA_FontSetup(1, "OFF");
    QOVA_FontSetup(2, "R");
    QOVA_FontSetup(0, "Courier");
    QOVA_FormSetup(1, 5);
    for (int type = 7; type >= 1; --type) {
        const int values[] = {0, 800, 1200, 3, -3, 1, 4, 180};
        ASSERT_EQ(QOVA_JobSetup(type, values[type]), 0);
    }
    EXPECT_EQ(entry(QOVA_CreateForm("N")),
              "~NORMAL\r\n"
              "~PAPER;SIZE 800,0\r\n"
              "~PAPER;SIZE 0,1200\r\n"
              "~PAPER;SPEED IPS 3\r\n"
              "~PAPER;INTENSITY -3\r\n"
              "~PAPER;LABELS 1\r\n"
              "~PAPER;MEDIA 4\r\n"
              "~PAPER;ROTATE 180\r\n"
              "~CREATE;N;X;5\r\n"
              "FONT;NAME Courier;SLANT RIGHT;BOLD OFF;SYMSET 1103\r\n"
              "SCALE;DOT;1;2\r\n");
}

TEST_F(FormsHeader, WithoutSettingsOnlyTheCreateLine) {
    EXPECT_EQ(QOVA_CreateForm("F1"), 0);
    EXPECT_EQ(entry(0), "~CREATE;F1;X\r\n");
}

TEST_F(FormsHeader, SingleSettingsGiveTheirOwnLinesOnly) {
    QOVA_JobSetup(2, 500);
    EXPECT_EQ(entry(QOVA_CreateForm("A")), "~NORMAL\r\n~PAPER;SIZE 0,500\r\n~CREATE;A;X\r\n");
    QOVA_JobSetup(0, 0);
    QOVA_FontSetup(2, "L");
    EXPECT_EQ(entry(QOVA_CreateForm("B")), "~CREATE;B;X\r\nFONT;SLANT LEFT\r\n");
    QOVA_FontSetup(2, "x");
    QOVA_FontSetup(0, "Mono");
    EXPECT_EQ(entry(QOVA_CreateForm("C")), "~CREATE;C;X\r\nFONT;NAME Mono\r\n");
}

TEST_F(FormsHeader, LaterSetupChangesOnlyLaterForms) {
    QOVA_JobSetup(4, -3);
    QOVA_FormSetup(1, 2);
    const int first = QOVA_CreateForm("A");
    QOVA_JobSetup(0, 0);
    QOVA_FormSetup(1, 3);
    const int second = QOVA_CreateForm("B");
    const int third = QOVA_CreateForm("C");
    EXPECT_EQ(entry(first), "~NORMAL\r\n~PAPER;INTENSITY -3\r\n~CREATE;A;X;2\r\n");
    EXPECT_EQ(entry(second), "~CREATE;B;X;3\r\n");
    // Settings are not consumed by a form.
    EXPECT_EQ(entry(third), "~CREATE;C;X;3\r\n");
}

TEST_F(FormsHeader, FormNumbersCountFromZeroAgainAfterInit) {
    EXPECT_EQ(QOVA_CreateForm("A"), 0);
    EXPECT_EQ(QOVA_CreateForm("A"), 1);
    EXPECT_EQ(QOVA_CreateForm("A"), 2);
    EXPECT_EQ(qov::formWorkspace().formCounter, 2);
    QOVA_DLLinit();
    EXPECT_EQ(QOVA_CreateForm("B"), 0);
    EXPECT_EQ(qov::formWorkspace().forms.size(), 1u);
}

TEST_F(FormsHeader, NamesAreWrittenUnchecked) {
    EXPECT_EQ(entry(QOVA_CreateForm("")), "~CREATE;;X\r\n");
    EXPECT_EQ(entry(QOVA_CreateForm("a;b*\xE9")), "~CREATE;a;b*\xE9;X\r\n");
    const std::string longName(100000, 'n');
    EXPECT_EQ(entry(QOVA_CreateForm(longName.c_str())), "~CREATE;" + longName + ";X\r\n");
}

TEST_F(FormsHeader, NullNameCreatesNothing) {
    EXPECT_EQ(QOVA_CreateForm(nullptr), -1);
    EXPECT_TRUE(qov::formWorkspace().forms.empty());
    EXPECT_EQ(QOVA_CreateForm("A"), 0);
}

}  // namespace
