// The one reader of the command language. Bytes, fed in chunks of any size,
// go through the envelopes (page markers, PJL), the control character, the
// modes (normal text, quiet, form and logo definitions, execute, ~CONFIG,
// the setup block) and the printer's memory; what they mean comes out as
// events to a sink: text pages, labels to print, stored forms and logos,
// host requests, and notes "what" with the line they belong to.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "form_reader.h"
#include "job_model.h"
#include "line_splitter.h"
#include "reader_limits.h"

namespace qovread {

class ReaderSink {
public:
    virtual ~ReaderSink() = default;
    // `error`: what a printer would reject; otherwise skipped, guessed or ignored.
    virtual void note(long long /*line*/, const std::string& /*text*/, bool /*error*/) {}
    virtual void textPage(const TextPage&) {}
    // A valid EXECUTE: its first page always prints (sent before its data
    // lines are known; label() follows for every page, the first included).
    virtual void executeStarted(const LabelJob&) {}
    // One page of data of an executed form (also NOMOTION forms).
    virtual void label(const LabelJob&) {}
    virtual void formStored(const Form&) {}
    virtual void logoStored(const Logo&) {}
    virtual void forgotten(bool /*form*/, const std::string& /*name, "*ALL" for all*/) {}
    virtual void reset() {}  // RESET: what was not stored with ;DISK is gone
    // Host requests: ~STATUS, ~!I, its OUT line, ESC ! R.
    virtual void status() {}
    virtual void codePageQuery() {}
    virtual void out(const std::string& /*quoted*/) {}
    virtual void restart() {}
    virtual void configItem(const std::string& /*name*/, const std::string& /*value*/, long long /*line*/) {}
    virtual void setupCommand(const std::string& /*command*/, const std::string& /*values*/, long long /*line*/) {}
    // The end of the setup block; `calibrate` when it asked for RFID-RFID_CAL.
    virtual void setupEnd(bool /*calibrate*/) {}
    virtual void paper(const std::string& /*option*/, long long /*line*/) {}
};

class JobReader {
public:
    // `memory` is shared by several readers (connections) when given.
    JobReader(ReaderSink& sink, Memory* memory = nullptr, ReaderLimits limits = ReaderLimits());
    ~JobReader();
    JobReader(const JobReader&) = delete;
    JobReader& operator=(const JobReader&) = delete;

    void feed(const char* data, std::size_t size);
    void feed(const std::string& bytes) { feed(bytes.data(), bytes.size()); }
    // The end of the input: the last line is taken, a pending page printed,
    // an open definition noted and dropped.
    void finish();

    enum class Mode { Normal, Quiet, Ignore, Form, LogoRows, LogoImage, Execute, Config, Setup };
    Mode mode() const { return mode_; }
    char controlChar() const { return cc_; }
    long long line() const { return splitter_.line(); }
    std::size_t heldBytes() const;
    const Memory& memory() const { return *memory_; }
    Memory& memory() { return *memory_; }
    const ReaderLimits& limits() const { return limits_; }

private:
    void statement(std::string& text, long long line, bool formFeed, bool cut);
    void partial(std::string& text);
    void note(const std::string& text, bool error = false) { sink_.note(line_, text, error); }
    bool stripEnvelopes(std::string& text);
    bool detectControl(const std::string& text);
    bool isStatement(const std::string& text) const;
    void control(const std::string& rest);
    void normalLine(const std::string& text, bool formFeed);
    void blockLine(const std::string& text);
    void configLine(const std::string& text);
    void setupLine(const std::string& text);
    void setupEntry(const std::string& entry);
    void executeLine(const std::string& text);
    bool dataLine(const std::string& text);
    void startCreate(const std::string& rest);
    void startLogo(const std::string& rest);
    void startExecute(const std::string& rest);
    void endExecute();
    void printPage();
    void endDefinition(const char* why);
    void storeForm();
    void storeLogo();
    void paperStatement(const std::string& rest);
    void textLine(const std::string& text);
    void pushTextLine(std::string text, double charAdvance);
    void flushTextPage();
    void resetText();
    double pageLength() const;

    ReaderSink& sink_;
    std::unique_ptr<Memory> own_;
    Memory* memory_;
    ReaderLimits limits_;
    LineSplitter splitter_;
    long long line_ = 1;
    char cc_ = '~';
    Mode mode_ = Mode::Normal;
    bool codePagePending_ = false;
    bool rasterTrailer_ = false;

    // A definition in progress.
    std::shared_ptr<Form> form_;
    std::unique_ptr<FormReader> formReader_;
    std::shared_ptr<Logo> logo_;
    bool over_ = false;
    bool calibrate_ = false;
    bool setupStopped_ = false;
    std::size_t setupEntries_ = 0;

    // Execute mode.
    LabelJob job_;
    bool pageData_ = false;
    long long copies_ = 1;
    bool execOk_ = false;

    // Plain text.
    FontState textFont_;
    FontState formFontBase_;
    int expandVe_ = 0, expandHe_ = 0;
    double lineAdvance_ = 1.0 / 6, charAdvance_ = 0.1;
    double textPageLength_ = 0;  // LFORM in normal mode; 0: the paper's
    TextPage page_;
    double nextBaseline_ = -1;
    double overlayNext_ = -1;
};

}  // namespace qovread
