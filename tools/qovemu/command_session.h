// One connection's view of the command language: it takes the bytes as they
// arrive, in chunks of any size, and returns what the printer answers.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "printer_state.h"

namespace qovemu {

class CommandSession {
public:
    using LogSink = std::function<void(const std::string&)>;

    CommandSession(PrinterState& printer, LogSink log);

    // Interprets received bytes; returns the answer bytes they caused (often
    // none). Lines end in CR, LF or CR LF; empty lines are ignored.
    std::string feed(const char* data, std::size_t size);
    std::string feed(const std::string& bytes) { return feed(bytes.data(), bytes.size()); }

    // Bytes held for lines and blocks not yet complete; bounded by the limits.
    std::size_t heldBytes() const { return line_.size() + body_.size(); }

    enum class Mode { Command, FormBody, LogoRows, ConfigBlock, SetupBlock, Raster };
    Mode mode() const { return mode_; }

private:
    void onByte(char c, std::string& out);
    void onRasterByte(char c, std::string& out);
    void onLine(std::string& out);
    void onCommand(const std::string& line, std::string& out);
    void onBlockLine(const std::string& line, std::string& out);
    void answerStatus(std::string& out);
    void flushInfo(std::string& out);
    void abandonBlock(const char* why);
    void finishForm();
    void finishLogo();
    void finishSetup(std::string& out);
    void appendBody(const std::string& bytes);
    void startBlock(Mode mode, std::string name);
    void log(const std::string& text) const;

    PrinterState& printer_;
    LogSink log_;
    Mode mode_ = Mode::Command;

    std::string line_;          // the line being received
    bool lineCut_ = false;      // bytes of this line were dropped at the cap
    bool lastWasCR_ = false;    // a CR just ended a line: the LF after it ends nothing

    std::string blockName_;     // form or logo being defined
    std::string body_;          // its bytes so far
    bool bodyOver_ = false;     // it passed its size cap: it will be discarded
    std::size_t elements_ = 0;  // STOP lines of the form being defined
    int logoHeight_ = 0;
    int logoWidth_ = 0;
    bool calibrate_ = false;    // the setup block asked for an RFID calibration
    std::size_t setupLines_ = 0;

    bool infoPending_ = false;     // "~!I" seen: the code page goes out with the next OUT
    bool rasterTrailer_ = false;   // after ~RASTEREND, the END line belongs to it
    std::size_t rasterMatch_ = 0;  // bytes of "~RASTEREND" matched so far
    bool rasterSkipLF_ = false;    // the image header ended in CR: an LF next is its line end
};

}  // namespace qovemu
