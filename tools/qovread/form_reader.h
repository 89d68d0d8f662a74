// The body of a form, line by line, into typed elements: the settings
// (SCALE, FONT, ISET, LFORM6/8), the element blocks up to STOP and the
// single-line statements. A faulty line is left out and noted; the rest of
// its block still counts.
#pragma once

#include <functional>
#include <string>

#include "job_model.h"
#include "reader_limits.h"

namespace qovread {

// A note from the reader: `error` for what a printer would reject (the
// emulator counts those), otherwise something skipped, guessed or ignored.
using NoteFn = std::function<void(long long line, const std::string& text, bool error)>;

class FormReader {
public:
    FormReader(Form& form, const FontState& font, const ReaderLimits& limits, NoteFn note);
    // One line of the body: blanks around it stripped, not empty, no comment.
    void line(const std::string& text, long long lineNo);
    // END: an open block is closed (and noted).
    void finish(long long lineNo);
    // The FONT and ISET settings after the lines read so far.
    const FontState& font() const { return font_; }

private:
    enum class Block { None, Alpha, TwoByte, Barcode, Horz, Vert, Box, Corner, Reverse, Diag, Logo, Page, RfWrite, RfRead };
    struct Scale {
        bool dot = false;
        double cols = 10, rows = 6;  // per inch
    };
    void note(const std::string& text, bool error = false) const;
    void add(Element e);
    bool row(const std::string& s, double& out) const;
    bool col(const std::string& s, double& out) const;
    void setting(const std::string& text);
    void font(const std::string& text);
    void scale(const std::string& text);
    void iset(const std::string& text);
    void text(const std::string& text, bool twoByte);
    void barcodeLine(const std::string& text);
    void barcodeHeader(const std::string& text);
    void rule(const std::string& text);
    void logo(const std::string& text);
    void page(const std::string& text);
    void rfidHeader(const std::string& text, bool write);
    void rfidField(const std::string& text);
    void verify(const std::string& text, bool hostOut);

    Form& form_;
    const ReaderLimits& limits_;
    NoteFn note_;
    long long line_ = 0;
    Scale scale_;
    FontState font_;
    Block block_ = Block::None;
    BarcodeElement barcode_;
    enum class Bar { Header, Data, After } bar_ = Bar::Header;
    RfidElement rfid_;
    bool twoByteNoted_ = false;
    bool capNoted_ = false;
};

}  // namespace qovread
