// The byte reader: chunks of any size, line ends, forms stored and executed,
// copies, notes with line numbers, blocks that never end, and the caps.
#include <gtest/gtest.h>

#include "test_support.h"

using qovtest::form;
using qovtest::inkBox;
using qovtest::render;

namespace {

const std::string kLabel =
    "~NORMAL\r\n~PAPER;SIZE 2000,0\r\n~PAPER;SIZE 0,1000\r\n~CREATE;F;X;300\r\nFONT;BOLD ON;SYMSET 0\r\n"
    "SCALE;DOT;203;203\r\nBOX\r\n2;10;10;150;350\r\nSTOP\r\nALPHA\r\n60;30;2;2;*Label*\r\nSTOP\r\n"
    "BARCODE\r\nC128B;X2;H5;80;30\r\n*QOV-1*\r\nPDF\r\nSTOP\r\nEND\r\n~EXECUTE;F;3\r\n~NORMAL\r\n";

}  // namespace

TEST(Input, ChunkSizeDoesNotChangeTheLabel) {
    const auto whole = render(kLabel);
    ASSERT_EQ(whole.labels.size(), 1u);
    // The number after X is ignored, and one picture stands for the copies.
    ASSERT_EQ(whole.notes.size(), 2u);
    EXPECT_EQ(whole.notes[0].line, 4);
    EXPECT_EQ(whole.notes[1].line, 19);
    EXPECT_EQ(whole.labels[0].copies, 3);
    EXPECT_EQ(whole.labels[0].form, "F");
    EXPECT_EQ(whole.labels[0].line, 19);
    EXPECT_EQ(whole.labels[0].summary, "1 text, 4 lines, barcode C128B QOV-1");
    for (std::size_t chunk : {1u, 2u, 5u, 13u}) {
        const auto parts = render(kLabel, 203, chunk);
        ASSERT_EQ(parts.labels.size(), 1u);
        EXPECT_EQ(parts.labels[0].picture, whole.labels[0].picture) << chunk;
    }
    // LF alone and CR alone end lines too.
    std::string lf = kLabel, cr = kLabel;
    for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
    for (std::size_t p; (p = cr.find("\r\n")) != std::string::npos;) cr.erase(p + 1, 1);
    EXPECT_EQ(render(lf).labels.at(0).picture, whole.labels[0].picture);
    EXPECT_EQ(render(cr).labels.at(0).picture, whole.labels[0].picture);
}

TEST(Input, FormsAreStoredAndExecutedByNameInPrintOrder) {
    const std::string input = "~CREATE;A;X\r\nHORZ\r\n1;1;1;2\r\nSTOP\r\nEND\r\n~CREATE;B;X\r\nEND\r\n"
                              "~EXECUTE;B\r\n~EXECUTE;A;2\r\n~EXECUTE;C\r\n~EXECUTE;A;0\r\n~EXECUTE;A;x\r\n~EXECUTE;A";
    const auto out = render(input);
    ASSERT_EQ(out.labels.size(), 3u);
    EXPECT_EQ(out.labels[0].form, "B");
    EXPECT_EQ(out.labels[1].form, "A");
    EXPECT_EQ(out.labels[1].copies, 2);
    EXPECT_EQ(out.labels[2].line, 13);  // the last line has no line end
    ASSERT_EQ(out.notes.size(), 4u);
    EXPECT_EQ(out.notes[0].line, 9);  // one picture for 2 copies
    EXPECT_EQ(out.notes[1].line, 10);
    EXPECT_NE(out.notes[1].text.find("form C is not stored"), std::string::npos);
    EXPECT_EQ(out.notes[2].line, 11);
    EXPECT_EQ(out.notes[3].line, 12);
}

TEST(Input, UnknownStatementsAreNotedWithTheirLineAndSkipped) {
    const std::string input = "~NORMAL\r\n~BOGUS\r\n~CREATE;F;X\r\nALPHA\r\n10;10;1;1;*ok*\r\nSTOP\r\nWHAT\r\n"
                              "ALPHA\r\n10;10;1;1;*no end\r\nQ;1;1;1;1;*x*\r\nSTOP\r\nBARCODE\r\nNOPE;1;1\r\n*x*\r\nSTOP\r\n"
                              "END\r\n~PAPER;FOO 1\r\n~EXECUTE;F\r\n";
    const auto out = render(input);
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_EQ(out.labels[0].summary, "1 text, 0 lines");
    std::vector<long long> lines;
    for (const auto& n : out.notes) lines.push_back(n.line);
    EXPECT_EQ(lines, (std::vector<long long>{2, 7, 9, 10, 13, 14, 17}));
}

TEST(Input, StatusRequestsSetupBlocksAndRfidDrawNothing) {
    const std::string input = "~NORMAL\r\n~STATUS~CREATE;R;X\r\nRFWTAG;96;USR\r\n32;D;*1234*\r\n64;I;H;STEP+1;*00AA*\r\n"
                              "STOP\r\nRFRTAG;64;USR\r\n64;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;**;*\\r\\n*\r\nEND\r\n"
                              "!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nQOV_END\r\n~EXECUTE;R\r\n";
    const auto out = render(input);
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.notes.empty()) << out.notes[0].text;
    EXPECT_EQ(out.labels[0].picture.inkCount(), 0);
    EXPECT_EQ(out.labels[0].summary,
              "0 text, 0 lines, RFID write 96 bits USR 1234 00AA, RFID read 64 bits USR, RFID verify DF1");
}

TEST(Input, BlocksThatNeverEndAreNotedAndDiscarded) {
    auto out = render("~CREATE;A;X\r\nHORZ\r\n1;1;1;2\r\n~EXECUTE;A\r\n");
    EXPECT_TRUE(out.noted("form A not ended"));
    EXPECT_TRUE(out.noted("form A is not stored"));
    out = render("~CREATE;A;X\r\nALPHA\r\n1;1;1;1;*x*\r\nEND\r\n~EXECUTE;A\r\n");
    EXPECT_TRUE(out.noted("element block without STOP"));
    EXPECT_EQ(out.labels.size(), 1u);
    out = render("~LOGO;P;PCX;DISK\r\n\x0A\x05");
    EXPECT_TRUE(out.noted("without ~RASTEREND"));
    out = render("~CREATE;Z;X\r\nHORZ\r\n");
    EXPECT_TRUE(out.noted("not ended before the end of the input"));
}

TEST(Input, LinesFormsAndElementsAreCapped) {
    qovrender::RenderOptions options;
    options.metrics.maxLine = 64;
    options.metrics.maxForms = 2;
    options.metrics.maxFormBytes = 200;
    options.metrics.maxElementsPerLabel = 3;
    auto out = render("~CREATE;A;X\r\nALPHA\r\n10;10;1;1;*" + std::string(100, 'W') + "*\r\nSTOP\r\nEND\r\n~EXECUTE;A\r\n",
                      203, 0, options);
    EXPECT_TRUE(out.noted("line longer than 64 bytes"));
    EXPECT_TRUE(out.noted("text without its closing delimiter"));
    out = render("~CREATE;A;X\r\nEND\r\n~CREATE;B;X\r\nEND\r\n~CREATE;C;X\r\nEND\r\n~CREATE;A;X\r\nEND\r\n", 203, 0, options);
    EXPECT_TRUE(out.noted("form C refused"));
    EXPECT_FALSE(out.noted("form A refused"));
    std::string big = "~CREATE;BIG;X\r\n";
    for (int i = 0; i < 30; ++i) big += "HORZ\r\n1;1;1;2\r\nSTOP\r\n";
    out = render(big + "END\r\n~EXECUTE;BIG\r\n", 203, 0, options);
    EXPECT_TRUE(out.noted("larger than 200 bytes"));
    EXPECT_TRUE(out.labels.empty());
    options.metrics.maxFormBytes = 4096;
    out = render(big + "END\r\n~EXECUTE;BIG\r\n", 203, 0, options);
    EXPECT_TRUE(out.noted("more than 3 elements"));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_EQ(out.labels[0].summary, "0 text, 3 lines");
}

TEST(Input, HugeSymbolsAndHugeTextsStayBounded) {
    const auto qr = render(form("Q", {"BARCODE", "QRCODE;X100;1;1", "*" + std::string(2000, '7') + "*", "STOP"}));
    ASSERT_EQ(qr.labels.size(), 1u);
    EXPECT_TRUE(qr.noted("symbol larger than the label"));
    // 3,000 characters two inches tall: the ones past the label are not drawn.
    const auto text = render(form("T", {"ALPHA", "20;1;20;20;*" + std::string(3000, 'W') + "*", "STOP"}));
    ASSERT_EQ(text.labels.size(), 1u);
    EXPECT_GT(text.labels[0].picture.inkCount(), 0);
    EXPECT_TRUE(render(form("T", {"ALPHA", "1;1;140;1;*W*", "STOP"})).noted("text size above 139"));
}

TEST(Input, HdupAndVdupAreNotedAndTheElementsAfterThemDrawOnce) {
    const std::vector<std::string> plain = {"SCALE;DOT;203;203", "ALPHA", "50;20;1;1;*ONCE*", "STOP",
                                            "BOX", "2;80;20;150;300", "STOP"};
    std::vector<std::string> dup = plain;
    dup.insert(dup.begin() + 1, "HDUP;3;200");
    dup.insert(dup.begin() + 5, "VDUP;2;80");
    const auto once = qovtest::render(qovtest::form("D", plain));
    const auto out = qovtest::render(qovtest::form("D", dup));
    ASSERT_EQ(out.labels.size(), 1u);
    EXPECT_TRUE(out.noted("HDUP and VDUP are not drawn"));
    EXPECT_EQ(out.notes.size(), 2u);
    EXPECT_EQ(out.labels[0].picture, once.labels.at(0).picture);
    EXPECT_GT(once.labels[0].picture.inkCount(), 0);
}
