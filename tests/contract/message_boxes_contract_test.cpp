// Message boxes and standard output: a box returns once shown, with its
// caption and text as given (wide texts as their UTF-8), and writeStdout
// writes the text as it is.
#include "contract_backends.h"

namespace qov::contract {
namespace {

template <class Rig>
class MessageBoxesContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();
};
TYPED_TEST_SUITE(MessageBoxesContract, ContractRigs);

TYPED_TEST(MessageBoxesContract, BoxesReturnAndShowCaptionAndText) {
    Platform& p = this->p;
    this->rig.captureUi();
    p.messageBox("Can't Find Printer Driver, Please check Driver Name", "Error Message",
                 Icon::Warning);
    p.messageBoxWide(u"caf\u00E9", u"Version", Icon::Information);
    EXPECT_EQ(this->rig.shownBoxes(),
              "Error Message: Can't Find Printer Driver, Please check Driver Name\n"
              "Version: caf\xC3\xA9\n");
}

TYPED_TEST(MessageBoxesContract, StandardOutputGetsTheTextAsItIs) {
    this->rig.captureUi();
    this->p.writeStdout("Connection Closed.\n");
    this->p.writeStdout("");
    EXPECT_EQ(this->rig.stdoutText(), "Connection Closed.\n");
}

}  // namespace
}  // namespace qov::contract
