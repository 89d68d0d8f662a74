// The emulator's command language: what it answers, stores and counts, fed
// as a host would send it, in chunks of any size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_session.h"

namespace qovemu {
namespace {

const std::string kStatusRequest = "~NORMAL\r\n~STATUS";
const std::string kCodePageLF = std::string("~!I\n OUT \"\x02\"\n", 13);
const std::string kCodePageLFCR = std::string("~!I\n\rOUT \"\x02\"\n\r", 14);

struct Emulator {
    explicit Emulator(Limits limits = Limits(), int codePage = 1252)
        : printer(limits, codePage), session(printer, [this](const std::string& l) { log.push_back(l); }) {}
    PrinterState printer;
    std::vector<std::string> log;
    CommandSession session;
    std::string feed(const std::string& s) { return session.feed(s); }
    // The same bytes split into pieces of `step` bytes.
    std::string feedInPieces(const std::string& s, std::size_t step) {
        std::string out;
        for (std::size_t i = 0; i < s.size(); i += step) out += session.feed(s.substr(i, step));
        return out;
    }
};

std::string form(const std::string& name, int elements) {
    std::string s = "~NORMAL\r\n~PAPER;SIZE 400,0\r\n~CREATE;" + name + ";X;300\r\nFONT;BOLD ON\r\n";
    for (int i = 0; i < elements; ++i) s += "BOX\r\n2;10;20;110;220\r\nSTOP\r\n";
    return s + "END\r\n";
}

TEST(EmulatorStatus, AnsweredWithoutLineEndInAnySplit) {
    for (std::size_t step : {1u, 2u, 3u, 7u, 100u}) {
        Emulator e;
        const std::string answer = e.feedInPieces(kStatusRequest, step);
        EXPECT_EQ(answer, e.printer.statusReport()) << "pieces of " << step;
        ASSERT_GE(answer.size(), 5u);
        EXPECT_EQ(answer.substr(answer.size() - 5), "END\r\n");
        // The report holds END only at its end, so a reader stops there.
        EXPECT_EQ(answer.find("END\r\n"), answer.size() - 5);
    }
}

TEST(EmulatorStatus, AnsweredOncePerRequestAndNotForLookAlikes) {
    Emulator e;
    EXPECT_EQ(e.feed("~STATUSX\r\n"), e.printer.statusReport());  // taken at its seventh byte
    EXPECT_EQ(e.feed("\r\n"), "");                                 // its line end is nothing new
    EXPECT_EQ(e.feed("~STATU\r\nS\r\n X~STATUS\r\n"), "");
    const std::string two = e.feed(kStatusRequest + kStatusRequest);
    EXPECT_EQ(two, e.printer.statusReport() + e.printer.statusReport());
}

TEST(EmulatorStatus, ReportCountsLabelsFormsLogosErrors) {
    Emulator e;
    e.feed(form("A", 2) + "~EXECUTE;A;3\r\n~EXECUTE;A\r\n~EXECUTE;NOPE\r\n~NORMAL\r\n");
    e.feed("~LOGO;L1;2;16;\n1;9-12\n2;1\nEND\r\n");
    const std::string report = e.feed(kStatusRequest);
    EXPECT_NE(report.find("LABELS PRINTED;4\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("FORMS STORED;1\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("LOGOS STORED;1\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("ERRORS;1\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("CODEPAGE;1252\r\n"), std::string::npos) << report;
}

TEST(EmulatorStatus, HostTextCannotEndTheReportEarly) {
    Emulator e;
    e.feed("!QOV_SETUP\r\nCONFIG-SETMENU;END;mediasensor\r\nQOV_END\r\n");
    e.feed("~CONFIG\r\nSNOOP;STATUS;END\r\nEND\r\n");
    const std::string report = e.feed(kStatusRequest);
    EXPECT_EQ(report.find("END\r\n"), report.size() - 5) << report;
    EXPECT_NE(report.find("MENU;\"mediasensor\";\"END\""), std::string::npos) << report;
    EXPECT_NE(report.find("SNOOP;\"STATUS;END\""), std::string::npos) << report;
}

TEST(EmulatorCodePage, BothQueryFormsAnswerCodePageThenSTX) {
    for (const std::string& query : {kCodePageLF, kCodePageLFCR}) {
        for (std::size_t step : {1u, 5u, 64u}) {
            Emulator e(Limits(), 850);
            EXPECT_EQ(e.feedInPieces(query, step), std::string("CODEPAGE 850\r\n\x02", 15));
        }
    }
}

TEST(EmulatorCodePage, QueryIsAnsweredOnceAndLeavesNoStateBehind) {
    Emulator e;
    EXPECT_EQ(e.feed(kCodePageLF + kCodePageLFCR), std::string("CODEPAGE 1252\r\n\x02", 16) +
                                                       std::string("CODEPAGE 1252\r\n\x02", 16));
    // A plain OUT echoes its text; without ~!I no code page comes first.
    EXPECT_EQ(e.feed("OUT \"ok\"\r\n"), "ok");
    // ~!I followed by another command still reports, before that command's answer.
    EXPECT_EQ(e.feed("~!I\r\n" + kStatusRequest), "CODEPAGE 1252\r\n" + e.printer.statusReport());
}

TEST(EmulatorSetup, RfidCalibrationAnsweredAtBlockEnd) {
    Emulator e;
    const std::string block = "!QOV_SETUP\r\nRFID-RFID_CAL;\r\n";
    EXPECT_EQ(e.feed(block), "");  // nothing before the block is complete
    const std::string answer = e.feed("QOV_END\r\n");
    ASSERT_GE(answer.size(), 9u);
    EXPECT_EQ(answer.substr(answer.size() - 9), "QOV_END\r\n");
    EXPECT_EQ(answer.find("QOV_END\r\n"), answer.size() - 9);
    EXPECT_EQ(e.printer.calibrations(), 1u);
    // A block without the calibration answers nothing.
    EXPECT_EQ(e.feed("!QOV_SETUP\r\nCONFIG-RESET;\r\nQOV_END\r\n"), "");
}

TEST(EmulatorSetup, MenuSettingsStoredResetAndMalformedCounted) {
    Emulator e;
    e.feed("!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nCONFIG-SETMENU;0;runcalibrate\r\nQOV_END\r\n");
    ASSERT_EQ(e.printer.menu().size(), 2u);
    EXPECT_EQ(e.printer.menu().at("mediasensor"), "2");
    EXPECT_EQ(e.printer.menu().at("runcalibrate"), "0");
    e.feed("!QOV_SETUP\nCONFIG-SETMENU;-1;mediasensor\nQOV_END\n");  // LF-only lines too
    EXPECT_EQ(e.printer.menu().at("mediasensor"), "-1");
    EXPECT_EQ(e.printer.errors(), 0u);
    // An unknown command counts one error and skips the rest of its block.
    e.feed("!QOV_SETUP\r\nCONFIG-SETMENU;3\r\nCONFIG-RESET;\r\nBOGUS\r\nCONFIG-SETMENU;1;x\r\nQOV_END\r\n");
    EXPECT_TRUE(e.printer.menu().empty());
    EXPECT_EQ(e.printer.errors(), 2u);
}

TEST(EmulatorForms, StoreAndExecuteCounting) {
    Emulator e;
    e.feedInPieces(form("LABEL1", 3), 4);
    const StoredForm* f = e.printer.form("LABEL1");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->elements, 3u);
    EXPECT_EQ(f->body.substr(0, 14), "FONT;BOLD ON\r\n");
    EXPECT_EQ(e.printer.labelsPrinted(), 0u);  // storing prints nothing

    e.feed("~EXECUTE;LABEL1\r\n");
    EXPECT_EQ(e.printer.labelsPrinted(), 1u);
    e.feed("~EXECUTE;LABEL1;5\r\n");
    EXPECT_EQ(e.printer.labelsPrinted(), 6u);
    for (const char* bad : {"~EXECUTE;LABEL1;0\r\n", "~EXECUTE;LABEL1;x\r\n", "~EXECUTE;LABEL1;-2\r\n",
                            "~EXECUTE;LABEL1;99999999999\r\n", "~EXECUTE;label1\r\n"})
        e.feed(bad);
    EXPECT_EQ(e.printer.labelsPrinted(), 6u);
    EXPECT_EQ(e.printer.errors(), 5u);
}

TEST(EmulatorForms, RedefinitionReplacesAndUnendedFormIsDiscarded) {
    Emulator e;
    e.feed(form("F", 1));
    e.feed(form("F", 4));
    EXPECT_EQ(e.printer.formCount(), 1u);
    EXPECT_EQ(e.printer.form("F")->elements, 4u);
    // A form cut off by the next command is not stored, and the command is still carried out.
    e.feed("~CREATE;G;X\r\nBOX\r\n1;2;3;4;5\r\nSTOP\r\n~EXECUTE;F\r\n");
    EXPECT_EQ(e.printer.form("G"), nullptr);
    EXPECT_EQ(e.printer.labelsPrinted(), 1u);
    EXPECT_EQ(e.printer.errors(), 1u);
    EXPECT_EQ(e.session.mode(), CommandSession::Mode::Command);
}

TEST(EmulatorLogos, DefinitionAndImageDownloadStored) {
    Emulator e;
    e.feed("~LOGO;A;2;16;\n1;9-12\n2;1\nEND\r\n");
    const StoredLogo* a = e.printer.logo("A");
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->raster);
    EXPECT_EQ(a->height, 2);
    EXPECT_EQ(a->width, 16);
    EXPECT_EQ(a->data, "1;9-12\n2;1\n");

    // Image bytes may hold anything, line ends, NUL, '~' and a partial end mark.
    const std::string image("\x0a\x05\r\n\0~RASTER~~RASTEREN\xff", 23);
    const std::string download = "~LOGO;PIC;PCX;DISK\r\n" + image + "~RASTEREND\r\nEND\r\n";
    for (std::size_t step : {1u, 3u, 1000u}) {
        Emulator d;
        EXPECT_EQ(d.feedInPieces(download + "~EXECUTE;NONE\r\n", step), "");
        const StoredLogo* pic = d.printer.logo("PIC");
        ASSERT_NE(pic, nullptr) << step;
        EXPECT_TRUE(pic->raster);
        EXPECT_EQ(pic->data, image) << "pieces of " << step;
        // The END after the image is its own; the next command is read as usual.
        EXPECT_EQ(d.printer.errors(), 1u);
        EXPECT_EQ(d.session.mode(), CommandSession::Mode::Command);
    }
}

TEST(EmulatorRestart, EscRForgetsFormsAndLogosWithLFOrCR) {
    Emulator e;
    for (const char* restart : {"\x1b!R\n", "\x1b!R\r"}) {
        e.feed(form("A", 1) + "~LOGO;L;1;8;\n1;1\nEND\r\n~EXECUTE;A\r\n");
        ASSERT_EQ(e.printer.formCount(), 1u);
        ASSERT_EQ(e.printer.logoCount(), 1u);
        e.feed(restart);
        EXPECT_EQ(e.printer.formCount(), 0u);
        EXPECT_EQ(e.printer.logoCount(), 0u);
    }
    EXPECT_EQ(e.printer.restarts(), 2u);
    EXPECT_EQ(e.printer.labelsPrinted(), 2u);  // what was printed stays printed
    e.feed("~EXECUTE;A\r\n");
    EXPECT_EQ(e.printer.errors(), 1u);
}

TEST(EmulatorBounds, OverlongLineCutAndCounted) {
    Limits limits;
    limits.maxLine = 64;
    Emulator e(limits);
    e.feed(std::string(1 << 20, 'x'));
    EXPECT_LE(e.session.heldBytes(), 64u);
    e.feed("\r\n");
    EXPECT_EQ(e.printer.errors(), 1u);
    EXPECT_EQ(e.session.heldBytes(), 0u);
    // The next line is read whole again.
    EXPECT_EQ(e.feed(kStatusRequest), e.printer.statusReport());
}

TEST(EmulatorBounds, FormAndLogoSizeAndCountCaps) {
    Limits limits;
    limits.maxFormBytes = 200;
    limits.maxForms = 2;
    limits.maxLogoBytes = 100;
    limits.maxLogos = 1;
    Emulator e(limits);
    e.feed(form("BIG", 20));  // 20 boxes are far over 200 bytes
    EXPECT_EQ(e.printer.form("BIG"), nullptr);
    EXPECT_LE(e.session.heldBytes(), 200u);
    e.feed(form("A", 1) + form("B", 1) + form("C", 1));
    EXPECT_EQ(e.printer.formCount(), 2u);
    EXPECT_EQ(e.printer.form("C"), nullptr);
    e.feed(form("A", 2));  // replacing a stored name is not a new form
    EXPECT_EQ(e.printer.form("A")->elements, 2u);

    e.feed("~LOGO;P;PCX;DISK\r\n" + std::string(100000, '\x55') + "~RASTEREND\r\nEND\r\n");
    EXPECT_EQ(e.printer.logo("P"), nullptr);
    e.feed("~LOGO;Q;1;8;\n1;1\nEND\r\n~LOGO;R;1;8;\n1;1\nEND\r\n");
    EXPECT_NE(e.printer.logo("Q"), nullptr);
    EXPECT_EQ(e.printer.logo("R"), nullptr);
    EXPECT_EQ(e.printer.errors(), 4u);  // BIG, C, P, R
}

TEST(EmulatorBounds, EndlessImageDownloadHoldsAtMostTheCap) {
    Limits limits;
    limits.maxLogoBytes = 4096;
    Emulator e(limits);
    e.feed("~LOGO;P;PCX;DISK\r\n");
    const std::string chunk(65536, '~');  // every byte a possible start of the end mark
    for (int i = 0; i < 64; ++i) e.feed(chunk);
    EXPECT_LE(e.session.heldBytes(), 4096u);
    EXPECT_EQ(e.session.mode(), CommandSession::Mode::Raster);
}

TEST(EmulatorLog, SaysWhatItUnderstood) {
    Emulator e;
    e.feed(form("LABEL1", 2) + "~EXECUTE;LABEL1;2\r\n");
    ASSERT_GE(e.log.size(), 2u);
    bool stored = false, printed = false;
    for (const auto& l : e.log) {
        stored |= l == "form LABEL1 stored: 2 elements, " + std::to_string(e.printer.form("LABEL1")->body.size()) + " bytes";
        printed |= l.rfind("printed 2 x form LABEL1", 0) == 0;
    }
    EXPECT_TRUE(stored);
    EXPECT_TRUE(printed);
    e.log.clear();
    e.feed(std::string("~BOGUS\x01\r\n"));
    ASSERT_EQ(e.log.size(), 1u);
    EXPECT_EQ(e.log[0], "line 13: statement not understood, skipped: BOGUS\\x01");
    EXPECT_EQ(e.printer.errors(), 1u);
}

// Copies of an RFID form: each answering copy runs a tag of its own (the
// TID carries its label number); a form that never answers prints its
// copies at once (a fuzz input executed such a form 30,300 times a line).
TEST(EmulatorForms, RfidCopiesAnswerPerLabelOrPrintAtOnce) {
    Emulator e;
    e.feed("~CREATE;W;X\r\nRFWTAG;96;EPC\r\n96;H;*30340A6C1E00F2C000000461*\r\nSTOP\r\nEND\r\n");
    e.feed("~CREATE;R;X\r\nRFRTAG;64;TID\r\n64;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;*<*;*>*\r\nEND\r\n");
    EXPECT_EQ(e.feed("~EXECUTE;W;30000\r\n"), "");
    EXPECT_EQ(e.printer.labelsPrinted(), 30000u);
    EXPECT_EQ(e.feed("~EXECUTE;R;3\r\n"), "<E200000000007531><E200000000007532><E200000000007533>");
    EXPECT_EQ(e.printer.labelsPrinted(), 30003u);
    // Tags that read no TID answer alike, once a copy up to the bound.
    e.feed("~CREATE;E;X\r\nRFWTAG;96;EPC\r\n96;H;*30340A6C1E00F2C000000461*\r\nSTOP\r\n"
           "RFRTAG;64;EPC\r\n64;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;*<*;*>*\r\nEND\r\n");
    EXPECT_EQ(e.feed("~EXECUTE;E;2\r\n"), "<30340A6C1E00F2C0><30340A6C1E00F2C0>");
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "<30340A6C1E00F2C0>";
    EXPECT_EQ(e.feed("~EXECUTE;E;10002\r\n"), many);
    EXPECT_EQ(e.printer.labelsPrinted(), 40007u);
    EXPECT_EQ(e.printer.errors(), 0u);
}

// A page's answers are bounded like an output buffer: a short line asking
// for many copies of a form with long answers cannot build megabytes.
TEST(EmulatorForms, RfidAnswersOfOnePageStopAtTheBound) {
    Limits limits;
    limits.maxPageAnswerBytes = 40;  // two answers of 18 bytes
    Emulator e(limits);
    e.feed("~CREATE;E;X\r\nRFWTAG;96;EPC\r\n96;H;*30340A6C1E00F2C000000461*\r\nSTOP\r\n"
           "RFRTAG;64;EPC\r\n64;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;*<*;*>*\r\nEND\r\n");
    e.feed("~CREATE;R;X\r\nRFRTAG;64;TID\r\n64;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;*<*;*>*\r\nEND\r\n");
    e.log.clear();
    EXPECT_EQ(e.feed("~EXECUTE;E;5\r\n"), "<30340A6C1E00F2C0><30340A6C1E00F2C0>");
    ASSERT_EQ(e.log.size(), 2u);
    EXPECT_EQ(e.log[0], "RFID answers of 3 x form E not sent: one page answers at most 10000 copies and 40 bytes");
    EXPECT_EQ(e.feed("~EXECUTE;R;4\r\n"), "<E200000000000006><E200000000000007>");
    // Each page has the whole bound again; every copy is printed.
    EXPECT_EQ(e.feed("~EXECUTE;E;1\r\n"), "<30340A6C1E00F2C0>");
    EXPECT_EQ(e.printer.labelsPrinted(), 10u);
    EXPECT_EQ(e.printer.errors(), 0u);
}

}  // namespace
}  // namespace qovemu

