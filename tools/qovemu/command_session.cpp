#include "command_session.h"

#include <cstdio>

#include "rfid_tag.h"
#include "text_fields.h"

namespace qovemu {

namespace {

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

qovread::ReaderLimits limitsOf(const Limits& l) {
    qovread::ReaderLimits r;
    r.maxLine = l.maxLine;
    r.maxFormBytes = l.maxFormBytes;
    r.maxForms = l.maxForms;
    r.maxLogoBytes = l.maxLogoBytes;
    r.maxLogos = l.maxLogos;
    return r;
}

// Simulated tags run per label copy; past this many in one page the rest of
// the copies print without RFID answers.
constexpr long long kMaxTagRuns = 10000;

}  // namespace

CommandSession::CommandSession(PrinterState& printer, LogSink log)
    : printer_(printer), log_(std::move(log)),
      reader_(std::make_unique<qovread::JobReader>(*this, &printer.language(), limitsOf(printer.limits()))) {}

CommandSession::~CommandSession() = default;

void CommandSession::log(const std::string& text) const {
    if (log_) log_(text);
}

std::string CommandSession::feed(const char* data, std::size_t size) {
    out_.clear();
    reader_->feed(data, size);
    return std::move(out_);
}

std::string CommandSession::finish() {
    out_.clear();
    reader_->finish();
    return std::move(out_);
}

CommandSession::Mode CommandSession::mode() const {
    switch (reader_->mode()) {
    case qovread::JobReader::Mode::Form: return Mode::FormBody;
    case qovread::JobReader::Mode::LogoRows: return Mode::LogoRows;
    case qovread::JobReader::Mode::LogoImage: return Mode::Raster;
    case qovread::JobReader::Mode::Config: return Mode::ConfigBlock;
    case qovread::JobReader::Mode::Setup: return Mode::SetupBlock;
    default: return Mode::Command;
    }
}

void CommandSession::note(long long line, const std::string& text, bool error) {
    if (error) printer_.countError();
    log("line " + std::to_string(line) + ": " + printable(text));
}

void CommandSession::textPage(const qovread::TextPage& page) {
    printer_.countLabels(1);
    log("printed a text page of " + std::to_string(page.lines.size()) + " lines (labels printed in all: " +
        std::to_string(printer_.labelsPrinted()) + ")");
}

// The first page of an EXECUTE prints whatever data follows, so its labels
// are counted at once: a host that asks for the status next sees them.
void CommandSession::executeStarted(const qovread::LabelJob& job) { print(job); }

void CommandSession::label(const qovread::LabelJob& job) {
    if (!job.firstOfExecute) print(job);
}

void CommandSession::print(const qovread::LabelJob& job) {
    const qovread::Form& form = *job.form;
    const std::uint64_t copies = static_cast<std::uint64_t>(job.copies);
    // Only verify and host-out statements answer, and only the TID bank
    // differs from tag to tag (it carries the label number): copies need
    // tags of their own only when they answer and read their TID.
    bool rfid = false, answers = false, readsTid = false;
    for (const qovread::Element& e : form.elements) {
        const auto* x = std::get_if<qovread::RfidElement>(&e);
        rfid |= x != nullptr;
        answers |= x && (x->kind == qovread::RfidKind::Verify || x->kind == qovread::RfidKind::HostOut);
        readsTid |= x && x->kind == qovread::RfidKind::Read && x->bank == "TID";
    }
    // One short line can ask for thousands of copies, each answering what the
    // form spells out: a page's answers are bounded like an output buffer.
    std::size_t room = printer_.limits().maxPageAnswerBytes;
    long long answered = 0;
    auto answer = [&](const std::string& replies) {
        if (replies.size() > room) return false;
        out_ += replies;
        room -= replies.size();
        return true;
    };
    if (form.noMotion) {
        // The printer handles the form without feeding a label: its RFID
        // statements run on a tag of their own.
        qovread::SimulatedTag tag(printer_.labelsPrinted() + 1);
        if (!answer(tag.run(form, nullptr).replies)) logUnanswered(form, 1);
        log("form " + printable(form.name) + " run without motion");
        return;
    }
    if (rfid && !(answers && readsTid)) {
        // Every copy's tag is written and read alike: one run answers for all.
        const std::string replies = qovread::SimulatedTag(printer_.labelsPrinted() + 1).run(form, nullptr).replies;
        if (replies.empty()) answered = job.copies;
        while (answered < std::min<long long>(job.copies, kMaxTagRuns) && answer(replies)) ++answered;
        printer_.execute(form.name, copies);
    } else if (rfid) {
        long long run = 0;
        while (run < std::min<long long>(job.copies, kMaxTagRuns)) {
            printer_.execute(form.name, 1);
            ++run;
            if (!answer(qovread::SimulatedTag(printer_.labelsPrinted()).run(form, nullptr).replies)) break;
            ++answered;
        }
        if (job.copies > run) printer_.execute(form.name, copies - static_cast<std::uint64_t>(run));
    } else if (!printer_.execute(form.name, copies)) {
        log("execute of unknown form " + printable(form.name));
        return;
    }
    if (rfid && answered < job.copies) logUnanswered(form, job.copies - answered);
    if (printer_.faults().any())
        log(std::to_string(copies) + " x form " + printable(form.name) + " waits for the fault to clear (" +
            std::to_string(printer_.labelsWaiting()) + " labels waiting)");
    else
        log("printed " + std::to_string(copies) + " x form " + printable(form.name) +
            " (labels printed in all: " + std::to_string(printer_.labelsPrinted()) + ")");
}

void CommandSession::logUnanswered(const qovread::Form& form, long long copies) const {
    log("RFID answers of " + std::to_string(copies) + " x form " + printable(form.name) +
        " not sent: one page answers at most " + std::to_string(kMaxTagRuns) + " copies and " +
        std::to_string(printer_.limits().maxPageAnswerBytes) + " bytes");
}

void CommandSession::formStored(const qovread::Form& form) {
    StoredForm stored;
    stored.body = form.body;
    stored.elements = form.blocks;
    const std::size_t bytes = stored.body.size();
    switch (printer_.storeForm(form.name, std::move(stored))) {
    case StoreResult::Stored:
    case StoreResult::Replaced:
        log("form " + printable(form.name) + " stored: " + std::to_string(form.blocks) + " elements, " +
            std::to_string(bytes) + " bytes");
        return;
    case StoreResult::TooMany:
    case StoreResult::TooLarge:
        printer_.countError();
        printer_.language().forms.erase(form.name);
        log("form " + printable(form.name) + " refused");
        return;
    }
}

void CommandSession::logoStored(const qovread::Logo& logo) {
    StoredLogo stored;
    stored.raster = logo.kind != qovread::Logo::Kind::Dots;
    stored.height = stored.raster ? 0 : logo.height;
    stored.width = stored.raster ? 0 : logo.width;
    stored.data = stored.raster ? logo.image : logo.rows;
    const std::size_t bytes = stored.data.size();
    switch (printer_.storeLogo(logo.name, std::move(stored))) {
    case StoreResult::Stored:
    case StoreResult::Replaced:
        log(std::string(logo.kind != qovread::Logo::Kind::Dots ? "image logo " : "logo ") + printable(logo.name) +
            " stored: " + std::to_string(bytes) + " bytes");
        return;
    case StoreResult::TooMany:
    case StoreResult::TooLarge:
        printer_.countError();
        printer_.language().logos.erase(logo.name);
        log("logo " + printable(logo.name) + " refused");
        return;
    }
}

void CommandSession::forgotten(bool form, const std::string& name) {
    printer_.forgetMissing();
    log(std::string(form ? "form " : "logo ") + printable(name) + " deleted");
}

void CommandSession::reset() {
    printer_.forgetMissing();
    log("reset: forms and logos not kept on disk are forgotten");
}

void CommandSession::status() {
    out_ += printer_.statusReport();
    log("status requested: " + std::to_string(printer_.labelsPrinted()) + " labels, " +
        std::to_string(printer_.formCount()) + " forms, " + std::to_string(printer_.logoCount()) + " logos, " +
        std::to_string(printer_.errors()) + " errors");
}

void CommandSession::codePageQuery() {
    out_ += "CODEPAGE " + std::to_string(printer_.codePage()) + "\r\n";
    log("code page " + std::to_string(printer_.codePage()) + " reported");
}

void CommandSession::out(const std::string& quoted) { out_ += quoted; }

void CommandSession::restart() {
    printer_.restart();
    log("restart " + std::to_string(printer_.restarts()) + ": forms and logos cleared");
}

void CommandSession::configItem(const std::string& name, const std::string& value, long long) {
    if (name == "SNOOP") {
        printer_.setSnoop(value);
        log("status reports " + printable(value));
    } else {
        log("config " + printable(name) + " = " + printable(value));
    }
}

void CommandSession::setupCommand(const std::string& command, const std::string& values, long long line) {
    if (command == "CONFIG-RESET") {
        printer_.resetMenu();
        log("configuration reset");
        return;
    }
    const auto f = qovread::splitFields(values);
    if (f.size() != 2 || f[0].empty() || f[1].empty()) {
        printer_.countError();
        log("line " + std::to_string(line) + ": malformed menu setting " + printable(values));
    } else if (!printer_.setMenu(f[1], f[0])) {
        printer_.countError();
        log("menu table full, " + printable(f[1]) + " not stored");
    } else {
        log("menu " + printable(f[1]) + " = " + printable(f[0]));
    }
}

void CommandSession::setupEnd(bool calibrate) {
    if (!calibrate) return;
    printer_.countCalibration();
    out_ += "!QOV_SETUP\r\nRFID-RFID_CAL;PASS\r\nQOV_END\r\n";
    log("RFID calibration " + std::to_string(printer_.calibrations()) + " done");
}

void CommandSession::paper(const std::string& option, long long) {
    if (option == "CALIBRATE") printer_.countCalibration();
    log("paper " + printable(option));
}

}  // namespace qovemu
