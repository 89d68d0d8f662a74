// RFID elements: the tag-write lines built from the setup list and the
// tag-read element with its ten-character tail.
#include <climits>

#include "forms_test_support.h"

namespace {

using forms_test::appendedBy;
using forms_test::entry;

class FormsRfid : public forms_test::FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        ASSERT_EQ(QOVA_CreateForm("F"), 0);
    }
    static std::string writeTag(const char* lock, const char* header) {
        return appendedBy(0, [&] { EXPECT_EQ(QOVA_WriteRFID(0, lock, header), 0); });
    }
};

TEST_F(FormsRfid, WriteTagExample) {
    QOVA_SetupRFID(32, 0, "", 0, "1234");
    QOVA_SetupRFID(64, 1, "H", 1, "00AA");
    EXPECT_EQ(writeTag("", "T"), "RFWTAG;96;T\r\n32;D;*1234*\r\n64;I;H;STEP+1;*00AA*\r\nSTOP\r\n");
}

TEST_F(FormsRfid, ReadTagExampleEndsInTheTenCharacterTail) {
    const std::string added =
        appendedBy(0, [] { EXPECT_EQ(QOVA_VerifyRFID(0, "", "T", 96, "H"), 0); });
    EXPECT_EQ(added, "RFRTAG;96;T\r\n96;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;**;*\\r\\n*\r\n");
    const std::string tail = "\x3B\x2A\x2A\x3B\x2A\x5C\x72\x5C\x6E\x2A\r\n";
    ASSERT_GE(added.size(), tail.size());
    EXPECT_EQ(added.substr(added.size() - tail.size()), tail);
    EXPECT_EQ(added.substr(added.size() - tail.size() - 12, 12), "VERIFY;DF1;H");
}

TEST_F(FormsRfid, EmptySetupListIsRejected) {
    EXPECT_EQ(QOVA_WriteRFID(0, "", "T"), 1);
    EXPECT_EQ(QOVA_WriteRFID(0, "K", ""), 1);
    EXPECT_EQ(entry(0), "~CREATE;F;X\r\n");
}

TEST_F(FormsRfid, TotalIsTheSumOfTheFieldLengths) {
    QOVA_SetupRFID(96, 0, "H", 0, "A");
    EXPECT_EQ(writeTag("", "T"), "RFWTAG;96;T\r\n96;H;*A*\r\nSTOP\r\n");
    QOVA_DLLinit();
    QOVA_CreateForm("F");
    QOVA_SetupRFID(32, 0, "H", 0, "A");
    QOVA_SetupRFID(64, 0, "H", 0, "B");
    QOVA_SetupRFID(-8, 0, "H", 0, "C");
    EXPECT_EQ(writeTag("", "T"), "RFWTAG;88;T\r\n32;H;*A*\r\n64;H;*B*\r\n-8;H;*C*\r\nSTOP\r\n");
}

TEST_F(FormsRfid, TotalWrapsAt32Bits) {
    QOVA_SetupRFID(INT_MAX, 0, "H", 0, "A");
    QOVA_SetupRFID(1, 0, "H", 0, "B");
    EXPECT_EQ(writeTag("", ""),
              "RFWTAG;-2147483648;\r\n2147483647;H;*A*\r\n1;H;*B*\r\nSTOP\r\n");
}

TEST_F(FormsRfid, IncrementFlagDecidesAboutIAndStep) {
    QOVA_SetupRFID(8, 0, "H", 99, "a");    // no increment: the step is not written
    QOVA_SetupRFID(8, 1, "H", 5, "b");
    QOVA_SetupRFID(8, 1, "H", 0, "c");
    QOVA_SetupRFID(8, 0x80, "", -5, "d");  // any non-zero flag counts
    QOVA_SetupRFID(8, 1, "A", INT_MIN, "");
    EXPECT_EQ(writeTag("", "T"),
              "RFWTAG;40;T\r\n"
              "8;H;*a*\r\n"
              "8;I;H;STEP+5;*b*\r\n"
              "8;I;H;STEP0;*c*\r\n"
              "8;I;D;STEP-5;*d*\r\n"
              "8;I;A;STEP-2147483648;**\r\n"
              "STOP\r\n");
}

TEST_F(FormsRfid, LockAndUnlockPartsOnlyWhenGiven) {
    QOVA_SetupRFID(16, 0, "H", 0, "AB");
    EXPECT_EQ(writeTag("PW1", "T"), "RFWTAG;LOCKPW1;16;T\r\n16;H;*AB*\r\nSTOP\r\n");
    EXPECT_EQ(appendedBy(0, [] { QOVA_VerifyRFID(0, "PW2", "T", 16, "H"); }),
              "RFRTAG;UNLOCKPW2;16;T\r\n16;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;**;*\\r\\n*\r\n");
}

TEST_F(FormsRfid, EmptyFormatInTheReadElementLeavesItsPlacesEmpty) {
    EXPECT_EQ(appendedBy(0, [] { QOVA_VerifyRFID(0, "", "", -4, ""); }),
              "RFRTAG;-4;\r\n-4;DF1;\r\nSTOP\r\nVERIFY;DF1;;**;*\\r\\n*\r\n");
}

TEST_F(FormsRfid, WriteTagRereadsTheWholeListEachTime) {
    QOVA_SetupRFID(8, 0, "H", 0, "A");
    const std::string first = writeTag("", "T");
    EXPECT_EQ(writeTag("", "T"), first);
    QOVA_SetupRFID(4, 0, "", 0, "B");
    EXPECT_EQ(writeTag("", "T"), "RFWTAG;12;T\r\n8;H;*A*\r\n4;D;*B*\r\nSTOP\r\n");
    EXPECT_EQ(entry(0), "~CREATE;F;X\r\n" + first + first +
                            "RFWTAG;12;T\r\n8;H;*A*\r\n4;D;*B*\r\nSTOP\r\n");
}

TEST_F(FormsRfid, ReadTagNeitherNeedsNorChangesTheSetupList) {
    EXPECT_EQ(QOVA_VerifyRFID(0, "", "T", 8, "H"), 0);
    EXPECT_TRUE(qov::formWorkspace().rfid.empty());
    EXPECT_EQ(QOVA_WriteRFID(0, "", "T"), 1);
}

}  // namespace
