// USB printers from a fake sysfs tree: the Windows-form device paths and
// the device nodes they open.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix_test_support.h"

namespace {

using namespace qov;
using qov::posixtest::readFileText;
using qov::posixtest::ScopedEnv;
using qov::posixtest::TempDir;
using qov::posixtest::writeFileText;

const char* kGuid = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// The tree of the test, with the names the cases use.
struct FakeUsb : qov::posixtest::FakeUsbTree {
    std::string sysfs = FakeUsbTree::sysfs();
    std::string dev = FakeUsbTree::dev();
};

TEST(PosixUsb, PrintersAreListedInLpOrderWithWindowsFormPaths) {
    FakeUsb usb;
    std::string s1 = "QX200-ABC#7", s10 = "Z9";
    usb.add("usbmisc", 10, "1-4", "1D0B", "0010", &s10);
    usb.add("usbmisc", 2, "1-1.2", "1d0b", "0002", nullptr);
    usb.add("usbmisc", 0, "1-1", "1d0b", "0001", &s1);
    usb.add("usb", 1, "2-1", "04b8", "0005", &s10);  // older kernels' class folder
    // Not a printer node, and an entry whose device has no ids: both ignored.
    mkdir((usb.sysfs + "/class/usbmisc/hiddev0").c_str(), 0755);
    mkdir((usb.sysfs + "/class/usbmisc/lp7").c_str(), 0755);

    std::vector<std::string> paths;
    ASSERT_TRUE(nativePlatform().enumUsbDevicePaths(paths));
    ASSERT_EQ(paths.size(), 4u);
    // Lower case throughout; a '#' in the serial would break the path's shape.
    EXPECT_EQ(paths[0], std::string("\\\\?\\usb#vid_1d0b&pid_0001#qx200-abc_7") + kGuid);
    EXPECT_EQ(paths[1], std::string("\\\\?\\usb#vid_04b8&pid_0005#z9") + kGuid);
    // Without a serial, the device's place on the bus.
    EXPECT_EQ(paths[2], std::string("\\\\?\\usb#vid_1d0b&pid_0002#1-1.2") + kGuid);
    EXPECT_EQ(paths[3], std::string("\\\\?\\usb#vid_1d0b&pid_0010#z9") + kGuid);
    // The vendor filter reads characters 8 to 15.
    EXPECT_EQ(paths[0].substr(8, 8), "vid_1d0b");
}

TEST(PosixUsb, DevicePathsOpenTheirNodes) {
    FakeUsb usb;
    std::string serial = "A1";
    usb.add("usbmisc", 0, "1-1", "1d0b", "0001", &serial);
    usb.add("usbmisc", 1, "1-2", "1d0b", "0002", nullptr);
    Platform& p = nativePlatform();
    std::vector<std::string> paths;
    ASSERT_TRUE(p.enumUsbDevicePaths(paths));
    ASSERT_EQ(paths.size(), 2u);

    Handle h = p.createFile(paths[1].c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, 0);
    ASSERT_NE(h, kInvalidHandle);
    std::uint32_t n = 0;
    EXPECT_TRUE(p.writeFile(h, "\x1b!R\r", 4, &n, nullptr));
    EXPECT_EQ(n, 4u);
    p.closeHandle(h);
    EXPECT_EQ(readFileText(usb.dev + "/lp1"), "\x1b!R\r");
    EXPECT_EQ(readFileText(usb.dev + "/lp0"), "");

    // Device paths compare without regard to case, as Windows' do.
    std::string upper = paths[0];
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    h = p.createFile(upper.c_str(), kAccessRead | kAccessWrite, 0, Disposition::CreateAlways,
                     kFlagOverlapped | kFlagNormalAttributes);
    ASSERT_NE(h, kInvalidHandle);
    p.closeHandle(h);
    // A device path no present printer has, and an empty one, open nothing.
    std::string gone = std::string("\\\\?\\usb#vid_1d0b&pid_0009#zz") + kGuid;
    EXPECT_EQ(p.createFile(gone.c_str(), kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);
    EXPECT_EQ(p.createFile("", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
    // A printer that was unplugged (its node gone) cannot be opened either.
    unlink((usb.dev + "/lp0").c_str());
    EXPECT_EQ(p.createFile(paths[0].c_str(), kAccessRead | kAccessWrite, 0,
                           Disposition::OpenExisting, 0),
              kInvalidHandle);
}

TEST(PosixUsb, NoUsbmiscFolderMeansNoPrinters) {
    TempDir root;
    ScopedEnv sysEnv("QOVLIB_SYSFS_ROOT", root.path());
    std::vector<std::string> paths{"stale"};
    EXPECT_TRUE(nativePlatform().enumUsbDevicePaths(paths));
    EXPECT_TRUE(paths.empty());
}

}  // namespace
