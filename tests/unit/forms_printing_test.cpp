// Form printing over the simulated spooler: the UTF-8 text and then the
// line end as a second write, and the unconverted text returned.
#include "forms_test_support.h"

namespace {

using forms_test::takeBlock;
using qov::sim::WriteKind;

class FormsPrinting : public forms_test::FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        sim->addPrinter("LP-1", "USB001");
        ASSERT_EQ(QOVA_CreateForm("F"), 0);
        ASSERT_EQ(QOVA_PrintTextEng(0, 10, 20, 1, 1, "Caf\xE9"), 0);
    }
    static constexpr const char* kComposed =
        "~CREATE;F;X\r\nALPHA\r\n10;20;1;1;*Caf\xE9*\r\nSTOP\r\nEND\r\n~EXECUTE;F\r\n~NORMAL\r\n";
    static constexpr const char* kOnTheWire =
        "~CREATE;F;X\r\nALPHA\r\n10;20;1;1;*Caf\xC3\xA9*\r\nSTOP\r\nEND\r\n~EXECUTE;F\r\n~NORMAL\r\n";
};

TEST_F(FormsPrinting, SpoolerGetsTheUtf8TextThenTheLineEnd) {
    ASSERT_EQ(openport("LP-1"), 0);
    const std::size_t before = sim->writesTo("LP-1").size();
    EXPECT_EQ(takeBlock(QOVA_PrintForm(0)), kComposed);
    const auto writes = sim->writesTo("LP-1");
    ASSERT_EQ(writes.size(), before + 2);
    EXPECT_EQ(writes[before].kind, WriteKind::WritePrinter);
    EXPECT_EQ(writes[before].bytes, kOnTheWire);
    EXPECT_EQ(writes[before + 1].kind, WriteKind::WritePrinter);
    EXPECT_EQ(writes[before + 1].bytes, "\r\n");
}

TEST_F(FormsPrinting, PrintingTwiceSendsTheSameTextTwiceAndKeepsTheForm) {
    ASSERT_EQ(openport("LP-1"), 0);
    const std::string start = sim->bytesTo("LP-1");
    EXPECT_EQ(takeBlock(QOVA_PrintForm(0)), kComposed);
    EXPECT_EQ(takeBlock(QOVA_PrintForm(0)), kComposed);
    EXPECT_EQ(sim->bytesTo("LP-1"), start + kOnTheWire + "\r\n" + kOnTheWire + "\r\n");
    EXPECT_EQ(forms_test::formData(0), kComposed);
}

TEST_F(FormsPrinting, WithoutAConnectionTheTextStillComesBack) {
    EXPECT_EQ(takeBlock(QOVA_PrintForm(0)), kComposed);
    EXPECT_TRUE(sim->writes.empty());
}

TEST_F(FormsPrinting, FormThatDoesNotExistSendsNothing) {
    ASSERT_EQ(openport("LP-1"), 0);
    const std::size_t before = sim->writes.size();
    EXPECT_EQ(QOVA_PrintForm(1), nullptr);
    EXPECT_EQ(QOVA_PrintForm(-1), nullptr);
    EXPECT_EQ(QOVA_PrintForm_Mult(1, 1), nullptr);
    EXPECT_EQ(sim->writes.size(), before);
}

TEST_F(FormsPrinting, SlotOneReachesTheSpoolerAndOtherSlotsSendNothing) {
    ASSERT_EQ(openport("LP-1"), 0);
    const std::size_t before = sim->writes.size();
    for (int slot : {0, 6, -1, 2}) EXPECT_EQ(takeBlock(QOVA_PrintForm_Mult(slot, 0)), kComposed) << slot;
    EXPECT_EQ(sim->writes.size(), before);

    EXPECT_EQ(takeBlock(QOVA_PrintForm_Mult(1, 0)), kComposed);
    const auto writes = sim->writesTo("LP-1");
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 2].bytes, kOnTheWire);
    EXPECT_EQ(writes.back().bytes, "\r\n");
    EXPECT_EQ(sim->writes.size(), before + 2);
}

}  // namespace
