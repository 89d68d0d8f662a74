// One connection's view of the command language: it takes the bytes as they
// arrive, in chunks of any size, reads them with the shared reader and
// returns what the printer answers.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "job_reader.h"
#include "printer_state.h"

namespace qovemu {

class CommandSession : public qovread::ReaderSink {
public:
    using LogSink = std::function<void(const std::string&)>;

    CommandSession(PrinterState& printer, LogSink log);
    ~CommandSession() override;

    // Interprets received bytes; returns the answer bytes they caused (often none).
    std::string feed(const char* data, std::size_t size);
    std::string feed(const std::string& bytes) { return feed(bytes.data(), bytes.size()); }
    // The connection closed: what is still pending (a text page, the last
    // page of data) is printed; returns its answers.
    std::string finish();

    // Bytes held for lines and blocks not yet complete; bounded by the limits.
    std::size_t heldBytes() const { return reader_->heldBytes(); }

    enum class Mode { Command, FormBody, LogoRows, ConfigBlock, SetupBlock, Raster };
    Mode mode() const;

private:
    void note(long long line, const std::string& text, bool error) override;
    void textPage(const qovread::TextPage& page) override;
    void executeStarted(const qovread::LabelJob& job) override;
    void label(const qovread::LabelJob& job) override;
    void formStored(const qovread::Form& form) override;
    void logoStored(const qovread::Logo& logo) override;
    void forgotten(bool form, const std::string& name) override;
    void reset() override;
    void status() override;
    void codePageQuery() override;
    void out(const std::string& quoted) override;
    void restart() override;
    void configItem(const std::string& name, const std::string& value, long long line) override;
    void setupCommand(const std::string& command, const std::string& values, long long line) override;
    void setupEnd(bool calibrate) override;
    void paper(const std::string& option, long long line) override;
    void print(const qovread::LabelJob& job);
    void logUnanswered(const qovread::Form& form, long long copies) const;
    void log(const std::string& text) const;

    PrinterState& printer_;
    LogSink log_;
    std::unique_ptr<qovread::JobReader> reader_;
    std::string out_;              // answers of the bytes being fed
};

}  // namespace qovemu
