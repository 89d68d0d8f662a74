// The workbench's parts on their own: the gallery's bounds, the printer
// options and the fault lines.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "faults.h"
#include "gallery.h"
#include "printer_spec.h"
#include "printer_state.h"

namespace qovemu {
namespace {

GalleryEntry entryOf(std::size_t pngBytes, std::size_t jobBytes, const std::string& text) {
    GalleryEntry e;
    e.png.assign(pngBytes, 'p');
    e.job.assign(jobBytes, 'j');
    e.texts = {text};
    return e;
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

TEST(Gallery, DropsTheOldestPastItsCountAndBytesAndNeverReusesIds) {
    Gallery g(3, 1000);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(g.add(entryOf(100, 50, std::to_string(i))), static_cast<std::uint64_t>(i));
    EXPECT_EQ(g.count(), 3u);
    EXPECT_EQ(g.bytes(), 450u);
    EXPECT_EQ(g.find(2), nullptr);
    ASSERT_NE(g.find(3), nullptr);
    EXPECT_EQ(g.find(3)->texts[0], "3");
    const auto list = g.list(3, 10);  // newest first, above 3
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->id, 5u);
    EXPECT_EQ(list[1]->id, 4u);
    EXPECT_EQ(g.list(0, 1).size(), 1u);
    // Bytes: a large label pushes out all but itself.
    g.add(entryOf(900, 50, "big"));
    EXPECT_EQ(g.count(), 1u);
    EXPECT_EQ(g.newest(), 6u);
    // Larger than the whole bound alone: still kept, as the newest.
    g.add(entryOf(5000, 0, "huge"));
    EXPECT_EQ(g.count(), 1u);
    EXPECT_EQ(g.find(7)->png.size(), 5000u);
    g.clear();
    EXPECT_EQ(g.count(), 0u);
    EXPECT_EQ(g.bytes(), 0u);
    EXPECT_EQ(g.add(entryOf(1, 1, "after")), 8u);
}

TEST(Gallery, OnDiskFilesFollowWhatIsKept) {
    char pattern[] = "/tmp/qovemu-gallery-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    {
        Gallery g(2, 1 << 20, dir);
        std::string error;
        for (int i = 0; i < 3; ++i) g.add(entryOf(10, 5, "x"), &error);
        EXPECT_EQ(error, "");
        EXPECT_FALSE(exists(dir + "/1.png"));
        EXPECT_FALSE(exists(dir + "/1.txt"));
        EXPECT_TRUE(exists(dir + "/2.png"));
        EXPECT_TRUE(exists(dir + "/3.txt"));
        g.clear();
        EXPECT_FALSE(exists(dir + "/3.png"));
    }
    EXPECT_EQ(rmdir(dir.c_str()), 0);  // nothing left behind
}

TEST(PrinterSpec, ReadsEveryPartAndRefusesWhatIsWrong) {
    PrinterSpec s;
    std::string error;
    ASSERT_TRUE(parsePrinterSpec("dock-2:9102:serial:dpi=600:paper=2000x1500", s, error)) << error;
    EXPECT_EQ(s.name, "dock-2");
    EXPECT_EQ(s.port, 9102);
    EXPECT_TRUE(s.serial);
    EXPECT_EQ(s.dpi, 600);
    EXPECT_EQ(s.paperWidthMils, 2000);
    EXPECT_EQ(s.paperLengthMils, 1500);
    ASSERT_TRUE(parsePrinterSpec("a:0", s, error));
    EXPECT_EQ(s.dpi, 203);
    EXPECT_FALSE(s.serial);
    for (const char* bad : {"", "a", ":9100", "a b:9100", "a:65536", "a:-1", "a:9100:dpi=250", "a:9100:paper=4000",
                            "a:9100:paper=4000x0", "a:9100:usb", "abcdefghijklmnopqrstuvwxyz0123456:1",
                            "a/b:9100"}) {
        error.clear();
        EXPECT_FALSE(parsePrinterSpec(bad, s, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(PrinterFaults, HoldCountedLabelsUntilTheLastClears) {
    PrinterState p;
    p.countLabels(2);
    p.setFault(Fault::Offline, true);
    p.setFault(Fault::PaperOut, true);
    p.countLabels(3);
    EXPECT_EQ(p.labelsPrinted(), 2u);
    EXPECT_EQ(p.labelsWaiting(), 3u);
    EXPECT_EQ(p.statusReport().substr(0, 60),
              std::string("STATUS;FAULT\r\nFAULT;PAPER OUT\r\nFAULT;OFFLINE\r\nLABELS PRINTED;2\r\n").substr(0, 60));
    p.setFault(Fault::PaperOut, false);
    EXPECT_EQ(p.labelsPrinted(), 2u);  // offline still
    p.setFault(Fault::Offline, false);
    EXPECT_EQ(p.labelsPrinted(), 5u);
    EXPECT_EQ(p.labelsWaiting(), 0u);
    EXPECT_EQ(p.statusReport().substr(0, 32), "STATUS;READY\r\nLABELS PRINTED;5\r\n");
}

}  // namespace
}  // namespace qovemu
