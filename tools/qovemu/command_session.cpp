#include "command_session.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace qovemu {

namespace {

constexpr char kRasterEnd[] = "~RASTEREND";
constexpr std::size_t kRasterEndLength = sizeof(kRasterEnd) - 1;
constexpr std::uint64_t kMaxCopies = 1000000;

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// Splits "A;B;C" at every ';' (empty fields kept).
std::vector<std::string> fields(const std::string& s) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == ';') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

// A line as the log shows it: control bytes escaped, long lines shortened.
std::string printable(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && out.size() < 80; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (out.size() >= 80) out += "...";
    return out;
}

bool parseCount(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value >= 1 && value <= kMaxCopies;
}

bool parseInt(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    long v = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    value = static_cast<int>(text[0] == '-' ? -v : v);
    return true;
}

std::string trimLeft(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

}  // namespace

CommandSession::CommandSession(PrinterState& printer, LogSink log)
    : printer_(printer), log_(std::move(log)) {}

void CommandSession::log(const std::string& text) const {
    if (log_) log_(text);
}

std::string CommandSession::feed(const char* data, std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        if (mode_ == Mode::Raster) onRasterByte(data[i], out);
        else onByte(data[i], out);
    }
    return out;
}

void CommandSession::onByte(char c, std::string& out) {
    if (c == '\n' || c == '\r') {
        const bool pairedLF = c == '\n' && lastWasCR_ && line_.empty() && !lineCut_;
        lastWasCR_ = c == '\r';
        if (!pairedLF) onLine(out);
        return;
    }
    lastWasCR_ = false;
    if (line_.size() >= printer_.limits().maxLine) {
        lineCut_ = true;  // the rest of an overlong line is dropped
        return;
    }
    line_ += c;
    // The status request comes without a line end, so it is taken as soon as
    // its last byte is in, whatever the chunks it arrived in.
    if (line_ == "~STATUS" && !lineCut_) {
        line_.clear();
        answerStatus(out);
    }
}

void CommandSession::onRasterByte(char c, std::string& out) {
    (void)out;
    if (rasterSkipLF_) {
        rasterSkipLF_ = false;
        if (c == '\n') return;
    }
    if (c == kRasterEnd[rasterMatch_]) {
        if (++rasterMatch_ == kRasterEndLength) {
            rasterMatch_ = 0;
            finishLogo();
        }
        return;
    }
    // A partial match was image data after all. '~' occurs only at the start
    // of the marker, so a mismatch can only restart the match at this byte.
    if (rasterMatch_ > 0) appendBody(std::string(kRasterEnd, rasterMatch_));
    rasterMatch_ = c == kRasterEnd[0] ? 1 : 0;
    if (rasterMatch_ == 0) appendBody(std::string(1, c));
}

void CommandSession::appendBody(const std::string& bytes) {
    if (bodyOver_) return;
    const std::size_t cap = mode_ == Mode::FormBody ? printer_.limits().maxFormBytes
                                                    : printer_.limits().maxLogoBytes;
    if (body_.size() + bytes.size() > cap) {
        bodyOver_ = true;
        body_.clear();
        body_.shrink_to_fit();
        return;
    }
    body_ += bytes;
}

void CommandSession::onLine(std::string& out) {
    std::string line;
    line.swap(line_);
    if (lineCut_) {
        lineCut_ = false;
        printer_.countError();
        log("line longer than " + std::to_string(printer_.limits().maxLine) +
            " bytes, cut: " + printable(line));
    }
    if (line.empty()) return;
    if (mode_ == Mode::Command) {
        onCommand(line, out);
        return;
    }
    // A new command inside a block means the block never got its end line.
    if (line[0] == '~' || line[0] == '\x1b' || startsWith(line, "!QOV_SETUP")) {
        abandonBlock("not ended");
        onCommand(line, out);
        return;
    }
    onBlockLine(line, out);
}

void CommandSession::startBlock(Mode mode, std::string name) {
    mode_ = mode;
    blockName_ = std::move(name);
    body_.clear();
    bodyOver_ = false;
    elements_ = 0;
    calibrate_ = false;
    setupLines_ = 0;
    rasterMatch_ = 0;
}

void CommandSession::abandonBlock(const char* why) {
    const char* what = mode_ == Mode::FormBody     ? "form"
                       : mode_ == Mode::LogoRows   ? "logo"
                       : mode_ == Mode::Raster     ? "logo image"
                       : mode_ == Mode::SetupBlock ? "setup block"
                                                   : "config block";
    printer_.countError();
    log(std::string(what) + " " + printable(blockName_) + " " + why + ", discarded");
    mode_ = Mode::Command;
    body_.clear();
    body_.shrink_to_fit();
}

void CommandSession::flushInfo(std::string& out) {
    if (!infoPending_) return;
    infoPending_ = false;
    out += "CODEPAGE " + std::to_string(printer_.codePage()) + "\r\n";
}

void CommandSession::answerStatus(std::string& out) {
    if (mode_ != Mode::Command) abandonBlock("interrupted by a status request");
    flushInfo(out);
    rasterTrailer_ = false;
    out += printer_.statusReport();
    log("status requested: " + std::to_string(printer_.labelsPrinted()) + " labels, " +
        std::to_string(printer_.formCount()) + " forms, " +
        std::to_string(printer_.logoCount()) + " logos, " + std::to_string(printer_.errors()) +
        " errors");
}

void CommandSession::onCommand(const std::string& raw, std::string& out) {
    const std::string line = trimLeft(raw);
    if (line.empty()) return;

    if (infoPending_) {
        if (startsWith(line, "OUT")) {
            flushInfo(out);
            log("code page " + std::to_string(printer_.codePage()) + " reported");
        } else {
            flushInfo(out);
        }
    }
    if (rasterTrailer_) {
        rasterTrailer_ = false;
        if (line == "END") return;
    }

    if (line[0] == '\x1b') {
        if (startsWith(line, "\x1b!R")) {
            printer_.restart();
            log("restart " + std::to_string(printer_.restarts()) + ": forms and logos cleared");
        } else {
            log("ignored escape sequence " + printable(line));
        }
        return;
    }
    if (startsWith(line, "OUT")) {
        const std::size_t first = line.find('"');
        const std::size_t last = line.rfind('"');
        if (first != std::string::npos && last > first) {
            out += line.substr(first + 1, last - first - 1);
        } else {
            printer_.countError();
            log("OUT without quoted text: " + printable(line));
        }
        return;
    }
    if (line == "~!I") {
        infoPending_ = true;
        return;
    }
    if (line == "~NORMAL") return;  // the command language's mode switch; nothing to keep
    if (startsWith(line, "~PAPER;")) {
        log("paper " + printable(line.substr(7)));
        return;
    }
    if (startsWith(line, "~CREATE;")) {
        const auto f = fields(line);
        startBlock(Mode::FormBody, f.size() > 1 ? f[1] : std::string());
        return;
    }
    if (startsWith(line, "~EXECUTE;")) {
        const auto f = fields(line);
        const std::string name = f.size() > 1 ? f[1] : std::string();
        std::uint64_t copies = 1;
        if (f.size() > 2 && !parseCount(f[2], copies)) {
            printer_.countError();
            log("execute " + printable(name) + ": bad count " + printable(f[2]));
            return;
        }
        if (printer_.execute(name, copies)) {
            log("printed " + std::to_string(copies) + " x form " + printable(name) +
                " (labels printed in all: " + std::to_string(printer_.labelsPrinted()) + ")");
        } else {
            log("execute of unknown form " + printable(name));
        }
        return;
    }
    if (startsWith(line, "~LOGO;")) {
        const auto f = fields(line);
        const std::string name = f.size() > 1 ? f[1] : std::string();
        if (f.size() > 2 && f[2] == "PCX") {
            startBlock(Mode::Raster, name);
            // The header's CR LF is one line end; the LF is not image data.
            rasterSkipLF_ = lastWasCR_;
            return;
        }
        int height = 0, width = 0;
        if (f.size() < 4 || !parseInt(f[2], height) || !parseInt(f[3], width)) {
            printer_.countError();
            log("logo header without height and width: " + printable(line));
            return;
        }
        startBlock(Mode::LogoRows, name);
        logoHeight_ = height;
        logoWidth_ = width;
        return;
    }
    if (line == "~CONFIG") {
        startBlock(Mode::ConfigBlock, "~CONFIG");
        return;
    }
    if (line == "!QOV_SETUP") {
        startBlock(Mode::SetupBlock, "!QOV_SETUP");
        return;
    }
    if (line == kRasterEnd) {
        log("image end without an image download");
        return;
    }
    log("ignored " + printable(line));
}

void CommandSession::onBlockLine(const std::string& line, std::string& out) {
    switch (mode_) {
    case Mode::FormBody:
        if (line == "END") {
            finishForm();
            return;
        }
        if (line == "STOP") ++elements_;
        appendBody(line + "\r\n");
        return;
    case Mode::LogoRows:
        if (line == "END") {
            finishLogo();
            return;
        }
        appendBody(line + "\n");
        return;
    case Mode::ConfigBlock:
        if (line == "END") {
            mode_ = Mode::Command;
            return;
        }
        if (startsWith(line, "SNOOP;")) {
            printer_.setSnoop(line.substr(6));
            log("status reports " + printable(line.substr(6)));
        } else {
            log("ignored config line " + printable(line));
        }
        return;
    case Mode::SetupBlock: {
        if (line == "QOV_END") {
            finishSetup(out);
            return;
        }
        ++setupLines_;
        if (startsWith(line, "CONFIG-SETMENU;")) {
            const auto f = fields(line);
            if (f.size() != 3 || f[1].empty() || f[2].empty()) {
                printer_.countError();
                log("malformed menu setting " + printable(line));
            } else if (!printer_.setMenu(f[2], f[1])) {
                printer_.countError();
                log("menu table full, " + printable(f[2]) + " not stored");
            } else {
                log("menu " + printable(f[2]) + " = " + printable(f[1]));
            }
        } else if (line == "CONFIG-RESET;") {
            printer_.resetMenu();
            log("configuration reset");
        } else if (line == "RFID-RFID_CAL;") {
            calibrate_ = true;
        } else {
            printer_.countError();
            log("unknown setup command " + printable(line));
        }
        return;
    }
    case Mode::Command:
    case Mode::Raster:
        return;
    }
}

void CommandSession::finishForm() {
    mode_ = Mode::Command;
    if (bodyOver_) {
        printer_.countError();
        log("form " + printable(blockName_) + " over " +
            std::to_string(printer_.limits().maxFormBytes) + " bytes, discarded");
        return;
    }
    StoredForm form;
    form.elements = elements_;
    form.body = std::move(body_);
    body_.clear();
    const std::size_t bytes = form.body.size();
    switch (printer_.storeForm(blockName_, std::move(form))) {
    case StoreResult::Stored:
    case StoreResult::Replaced:
        log("form " + printable(blockName_) + " stored: " + std::to_string(elements_) +
            " elements, " + std::to_string(bytes) + " bytes");
        return;
    case StoreResult::TooMany:
        printer_.countError();
        log("form " + printable(blockName_) + " refused: " +
            std::to_string(printer_.limits().maxForms) + " forms stored already");
        return;
    case StoreResult::TooLarge:
        printer_.countError();
        log("form " + printable(blockName_) + " too large, discarded");
        return;
    }
}

void CommandSession::finishLogo() {
    const bool raster = mode_ == Mode::Raster;
    mode_ = Mode::Command;
    if (raster) rasterTrailer_ = true;
    if (bodyOver_) {
        printer_.countError();
        log("logo " + printable(blockName_) + " over " +
            std::to_string(printer_.limits().maxLogoBytes) + " bytes, discarded");
        return;
    }
    StoredLogo logo;
    logo.raster = raster;
    logo.height = raster ? 0 : logoHeight_;
    logo.width = raster ? 0 : logoWidth_;
    logo.data = std::move(body_);
    body_.clear();
    const std::size_t bytes = logo.data.size();
    switch (printer_.storeLogo(blockName_, std::move(logo))) {
    case StoreResult::Stored:
    case StoreResult::Replaced:
        log(std::string(raster ? "image logo " : "logo ") + printable(blockName_) + " stored: " +
            std::to_string(bytes) + " bytes");
        return;
    case StoreResult::TooMany:
        printer_.countError();
        log("logo " + printable(blockName_) + " refused: " +
            std::to_string(printer_.limits().maxLogos) + " logos stored already");
        return;
    case StoreResult::TooLarge:
        printer_.countError();
        log("logo " + printable(blockName_) + " too large, discarded");
        return;
    }
}

void CommandSession::finishSetup(std::string& out) {
    mode_ = Mode::Command;
    if (calibrate_) {
        calibrate_ = false;
        printer_.countCalibration();
        out += "!QOV_SETUP\r\nRFID-RFID_CAL;PASS\r\nQOV_END\r\n";
        log("RFID calibration " + std::to_string(printer_.calibrations()) + " done");
    }
}

}  // namespace qovemu
