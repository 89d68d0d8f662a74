#include <gtest/gtest.h>

#include "png_io.h"
#include "preview_options.h"

using qovpreview::Options;

namespace {

bool parse(std::vector<const char*> args, Options& o, std::string& error) {
    args.insert(args.begin(), "qovpreview");
    return qovpreview::parseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

}  // namespace

TEST(PreviewOptions, ResolutionPaperAndFolder) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--dpi", "300", "--paper", "4.25x2.5", "--out", "pngs", "a.bin", "b.txt"}, o, error));
    EXPECT_EQ(o.dpi, 300);
    EXPECT_EQ(o.paperWidthMils, 4250);
    EXPECT_EQ(o.paperLengthMils, 2500);
    EXPECT_EQ(o.outDir, "pngs");
    Options t;
    ASSERT_TRUE(parse({"--paper", "4000x6000", "f"}, t, error));
    EXPECT_EQ(t.paperWidthMils, 4000);
    EXPECT_EQ(t.paperLengthMils, 6000);
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.bin", "b.txt"}));
    Options d;
    ASSERT_TRUE(parse({"x"}, d, error));
    EXPECT_EQ(d.dpi, 203);
    EXPECT_EQ(d.outDir, ".");
}

TEST(PreviewOptions, WrongCommandLinesAreRefusedWithAReason) {
    Options o;
    std::string error;
    EXPECT_FALSE(parse({"--dpi", "200", "f"}, o, error));
    EXPECT_NE(error.find("203, 300 or 600"), std::string::npos);
    EXPECT_FALSE(parse({"--dpi"}, o, error));
    EXPECT_FALSE(parse({"--paper", "4", "f"}, o, error));
    EXPECT_FALSE(parse({"--paper", "4x6", "f"}, o, error));  // 4 thousandths: surely meant inches
    EXPECT_NE(error.find("thousandths of an inch"), std::string::npos);
    EXPECT_FALSE(parse({"--paper", "0x6000", "f"}, o, error));
    EXPECT_FALSE(parse({"--paper", "4x-6", "f"}, o, error));
    EXPECT_FALSE(parse({"--paper", "4x6.1.2", "f"}, o, error));
    EXPECT_FALSE(parse({"--out"}, o, error));
    EXPECT_FALSE(parse({"--colour", "f"}, o, error));
    EXPECT_NE(error.find("unknown option --colour"), std::string::npos);
    EXPECT_FALSE(parse({}, o, error));
    EXPECT_EQ(error, "no input file");
    Options h;
    EXPECT_TRUE(parse({"--help"}, h, error));
    EXPECT_TRUE(h.help);
}

TEST(PreviewOptions, FileNamesAreNumberedAndSafe) {
    EXPECT_EQ(qovrender::labelFileName(1, "DEMO"), "001-DEMO.png");
    EXPECT_EQ(qovrender::labelFileName(12, "a/b c"), "012-a_b_c.png");
    EXPECT_EQ(qovrender::labelFileName(3, ".."), "003-_..png");
    EXPECT_EQ(qovrender::labelFileName(1000, ""), "1000-label.png");
    EXPECT_EQ(qovrender::labelFileName(5, "\xE4\xB8\xAD"), "005-___.png");
}
