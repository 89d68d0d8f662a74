// The program itself: files in, PNG files and one line per label out,
// notes with line numbers, exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "png_io.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

// Outside the anonymous namespace: the tests derive from it.
class PreviewProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qovpreview-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    Outcome run(const std::string& args) {
        Outcome r;
        const std::string cmd = std::string(QOVPREVIEW_PROGRAM) + " " + args + " >" + dir_ + "/stdout 2>" + dir_ + "/stderr";
        const int rc = std::system(cmd.c_str());
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = slurp(dir_ + "/stdout");
        r.err = slurp(dir_ + "/stderr");
        return r;
    }

    std::string dir_;
};

namespace {

const char kForms[] =
    "~CREATE;A;X\r\nSCALE;DOT;300;300\r\nBOX\r\n2;10;10;100;200\r\nSTOP\r\nEND\r\n"
    "~CREATE;B/2;X\r\nALPHA\r\n1;1;1;1;*B*\r\nSTOP\r\nBOGUS;1\r\nEND\r\n"
    "~EXECUTE;B/2;4\r\n~EXECUTE;A\r\n";

}  // namespace

TEST_F(PreviewProgram, WritesOnePngPerLabelInPrintOrder) {
    const std::string in = write("capture.bin", kForms);
    const Outcome r = run("--dpi 300 --paper 2000x1.0 --out " + dir_ + "/png " + in);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, in + ": " + dir_ + "/png/001-B_2.png 600x300 dots: 1 text, 0 lines; copies 4\n" + in + ": " + dir_ +
                         "/png/002-A.png 600x300 dots: 0 text, 4 lines; copies 1\n");
    // One picture stands for the copies of a page, and says so.
    EXPECT_EQ(r.err, in + ":11: unknown statement, skipped: BOGUS;1\n" + in + ":13: form B/2: one picture for 4 copies\n");
    std::vector<std::uint8_t> png;
    std::string error;
    qovrender::Raster picture;
    ASSERT_TRUE(qovrender::readFile(dir_ + "/png/002-A.png", png, error));
    ASSERT_TRUE(qovrender::decodePng(png, picture, error));
    EXPECT_EQ(picture.width(), 600);
    EXPECT_TRUE(picture.get(10, 10));
    EXPECT_TRUE(picture.get(201, 101));
    EXPECT_FALSE(picture.get(50, 50));
}

TEST_F(PreviewProgram, FilesAreOneStreamAndUnreadableFilesFail) {
    const std::string forms = write("forms.txt", "~CREATE;F;X\r\nHORZ\r\n1;1;1;2\r\nSTOP\r\nEND\r\n");
    const std::string print = write("print.txt", "~EXECUTE;F;2\r\n");
    const Outcome r = run("--out " + dir_ + " " + forms + " " + dir_ + "/missing.bin " + print);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read " + dir_ + "/missing.bin"), std::string::npos);
    EXPECT_EQ(r.out, print + ": " + dir_ + "/001-F.png 812x1218 dots: 0 text, 1 lines; copies 2\n");
}

TEST_F(PreviewProgram, UsageErrorsExitWithTwo) {
    EXPECT_EQ(run("").status, 2);
    const Outcome bad = run("--dpi 72 x");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("usage: qovpreview"), std::string::npos);
    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("NNN-<form name>.png"), std::string::npos);
}
