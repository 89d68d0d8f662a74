// USB enumeration: the present printers' device paths in the form the
// library's vendor filter reads, in the OS's order, and the paths open.
#include <string>
#include <vector>

#include "contract_backends.h"

namespace qov::contract {
namespace {

template <class Rig>
class UsbContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();
};
TYPED_TEST_SUITE(UsbContract, ContractRigs);

TYPED_TEST(UsbContract, NoPrinterIsAnEmptyListNotAFailure) {
    std::vector<std::string> paths{"stale"};
    EXPECT_TRUE(this->p.enumUsbDevicePaths(paths));
    EXPECT_TRUE(paths.empty());
}

TYPED_TEST(UsbContract, PresentPrintersAreListedInOrderWithInterfacePaths) {
    this->rig.addUsbPrinter("1d0b", "0001", "a1");
    this->rig.addUsbPrinter("1d0b", "0002", "b2");
    std::vector<std::string> paths;
    ASSERT_TRUE(this->p.enumUsbDevicePaths(paths));
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], usbPath("1d0b", "0001", "a1"));
    EXPECT_EQ(paths[1], usbPath("1d0b", "0002", "b2"));
    // The vendor filter reads characters 8 to 15.
    EXPECT_EQ(paths[1].substr(8, 8), "vid_1d0b");
}

TYPED_TEST(UsbContract, AListedPathOpensItsPrinter) {
    Platform& p = this->p;
    this->rig.addUsbPrinter("1d0b", "0001", "a1");
    this->rig.addUsbPrinter("1d0b", "0002", "b2");
    std::vector<std::string> paths;
    ASSERT_TRUE(p.enumUsbDevicePaths(paths));
    ASSERT_EQ(paths.size(), 2u);
    Handle h = p.createFile(paths[1].c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, 0);
    ASSERT_NE(h, kInvalidHandle);
    std::uint32_t n = 0;
    EXPECT_TRUE(p.writeFile(h, "\x1b!R\r", 4, &n, nullptr));
    EXPECT_EQ(n, 4u);
    EXPECT_TRUE(p.closeHandle(h));
    EXPECT_EQ(this->rig.usbWritten(1), "\x1b!R\r");
    EXPECT_EQ(this->rig.usbWritten(0), "");
}

TYPED_TEST(UsbContract, APathNoPresentPrinterHasOpensNothing) {
    Platform& p = this->p;
    this->rig.addUsbPrinter("1d0b", "0001", "a1");
    std::string gone = usbPath("1d0b", "0009", "zz");
    EXPECT_EQ(p.createFile(gone.c_str(), kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace qov::contract
