// The reader by family of the language: line ends, the control character,
// pages and copies, form lengths, the setup block, RFID answers and caps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job_reader.h"
#include "rfid_tag.h"

namespace {

struct Recorder : qovread::ReaderSink {
    struct Note {
        long long line;
        std::string text;
        bool error;
    };
    std::vector<Note> notes;
    std::vector<qovread::LabelJob> labels;
    std::vector<qovread::TextPage> pages;
    std::string replies;
    void note(long long line, const std::string& text, bool error) override { notes.push_back({line, text, error}); }
    void label(const qovread::LabelJob& job) override { labels.push_back(job); }
    void textPage(const qovread::TextPage& page) override { pages.push_back(page); }
    void status() override { replies += "<status>"; }
    void setupEnd(bool calibrate) override { replies += calibrate ? "<cal>" : "<setup>"; }
    std::vector<long long> noteLines() const {
        std::vector<long long> out;
        for (const Note& n : notes) out.push_back(n.line);
        return out;
    }
    int errors() const {
        int n = 0;
        for (const Note& x : notes) n += x.error;
        return n;
    }
};

struct Read {
    Recorder sink;
    qovread::JobReader reader{sink};
    explicit Read(const std::string& bytes, std::size_t chunk = 0) {
        if (chunk == 0) reader.feed(bytes);
        for (std::size_t i = 0; chunk && i < bytes.size(); i += chunk) reader.feed(bytes.substr(i, chunk));
        reader.finish();
    }
};

const std::string kForm = "~CREATE;F;144\r\nALPHA\r\nAF1;8;10;10;0;0\r\nSTOP\r\nEND\r\n";

}  // namespace

TEST(ReaderLines, PairsAreTakenGreedilyAndAFormFeedKeepsTheLine) {
    // CR LF CR LF is two line ends; LF CR one; a lone CR one; the end of the
    // input ends the last line.
    EXPECT_EQ(Read("~X1\r\n\r\n~X2").sink.noteLines(), (std::vector<long long>{1, 3}));
    EXPECT_EQ(Read("~X1\n\r~X2\n\r~X3").sink.noteLines(), (std::vector<long long>{1, 2, 3}));
    EXPECT_EQ(Read("~X1\r~X2\n~X3\r\n").sink.noteLines(), (std::vector<long long>{1, 2, 3}));
    EXPECT_EQ(Read("~X1\f~X2\n~X3").sink.noteLines(), (std::vector<long long>{1, 1, 2}));
    // Blanks and TABs around a statement are stripped.
    EXPECT_TRUE(Read("  ~NORMAL\t\t \r\n").sink.notes.empty());
}

TEST(ReaderControl, ANewCharacterIsTakenOnlyBeforeAModeKeyword) {
    Read caret("^NORMAL\r\n^CREATE;F;X\r\nEND\r\n^EXECUTE;F\r\n^NORMAL\r\n");
    EXPECT_EQ(caret.reader.controlChar(), '^');
    ASSERT_EQ(caret.sink.notes.size(), 1u);  // the change is noted once
    EXPECT_EQ(caret.sink.notes[0].line, 1);
    EXPECT_EQ(caret.sink.labels.size(), 1u);
    // A '~' inside text switches nothing, nor does a byte before a word that
    // is no mode keyword, nor a letter, nor '/'.
    for (const char* text : {"PRICE ~NORMAL\r\n", "#HELLO WORLD\r\n", "/NORMAL\r\n", "*NORMAL*\r\n"}) {
        Read r(text);
        EXPECT_EQ(r.reader.controlChar(), '~') << text;
        EXPECT_EQ(r.sink.pages.size(), 1u) << text;  // printed as plain text
    }
    // Inside a form only the current character starts a statement.
    Read inForm("~CREATE;F;X\r\n^NORMAL\r\nEND\r\n");
    EXPECT_EQ(inForm.reader.controlChar(), '~');
    EXPECT_EQ(inForm.sink.errors(), 1);
    // A data line's text may hold the control character.
    Read data(kForm + "~EXECUTE;F\r\nAF1;\"~NORMAL\"\r\n~NORMAL\r\n");
    ASSERT_EQ(data.sink.labels.size(), 1u);
    EXPECT_EQ(data.sink.labels[0].data.at("AF1"), "~NORMAL");
    // SFCC sets it outright.
    EXPECT_EQ(Read("~SFCC;@\r\n@NORMAL\r\n").reader.controlChar(), '@');
    EXPECT_EQ(Read("~SFCC;35\r\n").reader.controlChar(), '#');
}

TEST(ReaderExecute, EachPageOfDataPrintsTheCount) {
    // Two pages of data, ended by a form feed and by ~NORMAL, 2 copies each;
    // data lines with or without the control character; a field cut to its length.
    Read r(kForm + "~EXECUTE;F;2\r\n~AF1;\"ONE\"\r\n\fAF1;\"TWO-TOO-LONG\"\r\n~NORMAL\r\n");
    ASSERT_EQ(r.sink.labels.size(), 2u);
    EXPECT_EQ(r.sink.labels[0].copies, 2);
    EXPECT_EQ(r.sink.labels[0].data.at("AF1"), "ONE");
    EXPECT_EQ(r.sink.labels[1].data.at("AF1"), "TWO-TOO-");
    EXPECT_EQ(r.sink.notes.back().line, 8);
    // A page without data prints only when it is the first.
    EXPECT_EQ(Read(kForm + "~EXECUTE;F;3\r\n\f\f~NORMAL\r\n").sink.labels.size(), 1u);
    EXPECT_EQ(Read(kForm + "~EXECUTE;F\r\n").sink.labels.at(0).copies, 1);
    // Overlay text is data too; an unknown form or a bad count prints nothing.
    EXPECT_EQ(Read(kForm + "~EXECUTE;F\r\n\fHELLO\r\n").sink.labels.size(), 2u);
    Read bad(kForm + "~EXECUTE;G;2\r\n~EXECUTE;F;0\r\n~EXECUTE;F;x\r\n");
    EXPECT_TRUE(bad.sink.labels.empty());
    EXPECT_EQ(bad.sink.errors(), 3);
    // PAGE n starts the numbering of the next page where the last ended.
    Read pages("~CREATE;P;X\r\nPAGE;10;10\r\nEND\r\n~EXECUTE;P;PAGE 41;3\r\nAF1;\"x\"\f AF1;\"y\"\r\n");
    ASSERT_EQ(pages.sink.labels.size(), 2u);
    EXPECT_EQ(pages.sink.labels[0].firstPage, 41);
    EXPECT_EQ(pages.sink.labels[1].firstPage, 44);
}

TEST(ReaderForms, LengthOfTheForm) {
    using L = qovread::Form::Length;
    struct Case {
        std::string create;
        L kind;
        double inches;
    } cases[] = {{"~CREATE;F;144", L::Dots, 2.0}, {"~CREATE;F;X", L::Physical, 0}, {"~CREATE;F", L::Physical, 0},
                 {"~CREATE;F;0", L::Lowest, 0},   {"~CREATE;F;X;300", L::Physical, 0}};
    for (const Case& c : cases) {
        Read r(c.create + "\r\nEND\r\n");
        const auto& f = *r.reader.memory().forms.at("F");
        EXPECT_EQ(f.lengthKind, c.kind) << c.create;
        EXPECT_DOUBLE_EQ(f.length, c.inches) << c.create;
    }
    Read lform("~CREATE;F;144\r\nLFORM8;12\r\nEND\r\n");
    EXPECT_DOUBLE_EQ(lform.reader.memory().forms.at("F")->length, 1.5);
    Read host("~CONFIG\r\nHOST FORM LENGTH;0\r\nEND\r\n~CREATE;F;144\r\nEND\r\n");
    EXPECT_EQ(host.reader.memory().forms.at("F")->lengthKind, L::Physical);
}

TEST(ReaderForms, PositionsUnderBothScales) {
    Read r("~CREATE;F;X\r\nALPHA\r\n11.8;34.7;0;0;*A*\r\n2;3;0;0;*B*\r\nSTOP\r\nSCALE;DOT;203;203\r\nALPHA\r\n"
           "203;406;0;0;*C*\r\n1.5;1.5;0;0;*D*\r\nSTOP\r\nEND\r\n");
    const auto& e = r.reader.memory().forms.at("F")->elements;
    ASSERT_EQ(e.size(), 4u);
    auto at = [&](int i) { return std::get<qovread::TextElement>(e[static_cast<std::size_t>(i)]); };
    EXPECT_DOUBLE_EQ(at(0).row, 11 / 6.0 + 8 / 72.0);  // n.m: n cells and m dots of 72 / 60
    EXPECT_DOUBLE_EQ(at(0).col, 34 / 10.0 + 7 / 60.0);
    EXPECT_DOUBLE_EQ(at(1).row, 2 / 6.0);
    EXPECT_DOUBLE_EQ(at(2).row, 1.0);
    EXPECT_DOUBLE_EQ(at(2).col, 2.0);
    EXPECT_DOUBLE_EQ(at(3).row, 1 / 6.0 + 5 / 72.0);  // n.m ignores SCALE
}

TEST(ReaderSetup, EntriesSetThePaperAndAnUnknownOneStopsTheBlock) {
    Read r("<xpml><page quantity='1'></xpml>!QOV_SETUP\r\nENGINE-WIDTH;2483:LENGTH;1065:MIRROR;0.\r\n"
           "RFID-RFID_CAL;\r\nQOV_END\r\n");
    EXPECT_EQ(r.reader.memory().setup.paperWidthMils, 2483);
    EXPECT_EQ(r.reader.memory().setup.paperLengthMils, 1065);
    EXPECT_EQ(r.sink.replies, "<cal>");
    EXPECT_TRUE(r.sink.notes.empty());
    Read stop("!QOV_SETUP\r\nBOGUS-X;1 ENGINE-WIDTH;1000\r\nENGINE-LENGTH;2000\r\nQOV_END\r\n");
    EXPECT_EQ(stop.sink.errors(), 1);
    EXPECT_EQ(stop.reader.memory().setup.paperWidthMils, 4000);
    EXPECT_EQ(stop.reader.memory().setup.paperLengthMils, 6000);
}

TEST(ReaderRfid, ReadAfterWriteSeesTheWrittenBits) {
    Read r("~CREATE;T;NOMOTION\r\nRFWTAG;96;EPC\r\n96;H;*30340A6C1E00F2C000000461*\r\nSTOP\r\nRFRTAG;96;EPC\r\n"
           "96;DF1;H\r\nSTOP\r\nVERIFY;DF1;H;*EPC=*;*\\r\\n*\r\nHOSTOUT;*<DF1>!*\r\nEND\r\n");
    const auto& form = *r.reader.memory().forms.at("T");
    EXPECT_TRUE(form.noMotion);
    qovread::SimulatedTag tag(1);
    const auto run = tag.run(form, nullptr);
    EXPECT_EQ(run.fields.at(1), "30340A6C1E00F2C000000461");
    EXPECT_EQ(run.replies, "EPC=30340A6C1E00F2C000000461\r\n30340A6C1E00F2C000000461!");
    // A fresh tag reads zeros; the TID carries E2 and the label number.
    Read blank("~CREATE;B;X\r\nRFRTAG;64;TID\r\n64;DF2;H\r\nSTOP\r\nVERIFY;DF2;H;**\r\nEND\r\n");
    qovread::SimulatedTag other(0x2A);
    EXPECT_EQ(other.run(*blank.reader.memory().forms.at("B"), nullptr).replies, "E20000000000002A");
}

TEST(ReaderBounds, CapsAreNotedAndANeverEndingJobYieldsWhatItDefined) {
    qovread::ReaderLimits limits;
    limits.maxLine = 32;
    limits.maxForms = 1;
    Recorder sink;
    qovread::JobReader reader(sink, nullptr, limits);
    reader.feed("~" + std::string(100000, 'X') + "\r\n");
    reader.feed("~CREATE;A;X\r\nEND\r\n~CREATE;B;X\r\nEND\r\n~EXECUTE;A\r\n~CREATE;C;X\r\nALPHA\r\n");
    reader.feed(std::string(1 << 20, '\n'));
    EXPECT_LE(reader.heldBytes(), 64u);
    reader.finish();
    EXPECT_EQ(sink.labels.size(), 1u);
    std::vector<std::string> texts;
    for (const auto& n : sink.notes) texts.push_back(n.text);
    EXPECT_NE(texts[0].find("line longer than 32 bytes"), std::string::npos);
    EXPECT_NE(texts[2].find("form B refused"), std::string::npos);
    EXPECT_NE(texts.back().find("form C not ended before the end of the input"), std::string::npos);
    EXPECT_EQ(reader.memory().forms.size(), 1u);
}

TEST(ReaderChunks, AnySplitGivesTheSameReading) {
    const std::string job = "~NORMAL\r\n~LOGO;L;PCX\r\n\x0a\x05~RASTER\r\n~RASTEREND\r\nEND\r\n" + kForm +
                            "~EXECUTE;F;2\r\nAF1;\"A\"\fAF1;\"B\"\r\n~NORMAL\r\nTEXT\r\n~X" +
                            std::string(70, 'Y') + "\r\n~STATUS";
    const Read whole(job);
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 33u, 64u}) {
        const Read parts(job, chunk);
        EXPECT_EQ(parts.sink.labels.size(), whole.sink.labels.size()) << chunk;
        EXPECT_EQ(parts.sink.pages.size(), 1u) << chunk;
        EXPECT_EQ(parts.sink.replies, "<status>") << chunk;
        EXPECT_EQ(parts.sink.noteLines(), whole.sink.noteLines()) << chunk;
        EXPECT_EQ(parts.reader.memory().logos.at("L")->image, std::string("\x0a\x05~RASTER\r\n", 11)) << chunk;
    }
}

TEST(ReaderTextPages, AutoWrapCarriesTextPastTheRightEdgeToTheNextLines) {
    // 4-inch paper at 10 cpi: 40 characters a line.
    const std::string longLine = std::string(40, 'A') + std::string(40, 'B') + "CCCCC";
    const Read wrapped("~CONFIG\r\nAUTO WRAP;1\r\nEND\r\n" + longLine + "\r\nNEXT\r\n");
    ASSERT_EQ(wrapped.sink.pages.size(), 1u);
    const auto& w = wrapped.sink.pages[0].lines;
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].bytes, std::string(40, 'A'));
    EXPECT_EQ(w[1].bytes, std::string(40, 'B'));
    EXPECT_EQ(w[2].bytes, "CCCCC");
    EXPECT_EQ(w[3].bytes, "NEXT");
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(w[i].baseline, (i + 1) / 6.0, 1e-9) << i;
    // AUTO WRAP;0 (the default): one line, clipped when drawn.
    const Read clipped("~CONFIG\r\nAUTO WRAP;0\r\nEND\r\n" + longLine + "\r\nNEXT\r\n");
    ASSERT_EQ(clipped.sink.pages.size(), 1u);
    ASSERT_EQ(clipped.sink.pages[0].lines.size(), 2u);
    EXPECT_EQ(clipped.sink.pages[0].lines[0].bytes, longLine);
    EXPECT_NEAR(clipped.sink.pages[0].lines[1].baseline, 2 / 6.0, 1e-9);
}
