// What the emulated printer keeps between connections: stored forms and
// logos, menu settings and the counters that the status report shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "faults.h"
#include "job_model.h"

namespace qovemu {

// Bounds on everything the printer keeps, so that endless or malformed
// input cannot grow memory without limit.
struct Limits {
    std::size_t maxLine = 4096;            // bytes of one line; the rest of the line is dropped
    std::size_t maxFormBytes = 256 * 1024;  // one form body; a larger form is discarded
    std::size_t maxForms = 64;              // stored forms; a new name past this is refused
    std::size_t maxLogoBytes = 1024 * 1024; // one logo (definition or raster); larger is discarded
    std::size_t maxLogos = 64;              // stored logos; a new name past this is refused
    std::size_t maxMenuItems = 64;          // distinct CONFIG-SETMENU items
    std::size_t maxPageAnswerBytes = 1024 * 1024;  // RFID answers of one page's copies; later copies unanswered
};

struct StoredForm {
    std::string body;        // the lines between the create line and END, each ended by "\r\n"
    std::size_t elements = 0; // number of STOP lines, one per element
};

struct StoredLogo {
    std::string data;     // definition rows (LF separated) or raw raster bytes
    bool raster = false;  // downloaded image rather than a row definition
    int height = 0;
    int width = 0;
};

enum class StoreResult { Stored, Replaced, TooMany, TooLarge };

class PrinterState {
public:
    explicit PrinterState(Limits limits = Limits(), int codePage = 1252);

    const Limits& limits() const { return limits_; }
    int codePage() const { return codePage_; }

    StoreResult storeForm(const std::string& name, StoredForm form);
    StoreResult storeLogo(const std::string& name, StoredLogo logo);
    const StoredForm* form(const std::string& name) const;
    const StoredLogo* logo(const std::string& name) const;
    std::size_t formCount() const { return forms_.size(); }
    std::size_t logoCount() const { return logos_.size(); }

    // Prints `count` labels of a stored form; false (and one error) when the
    // form is unknown.
    bool execute(const std::string& name, std::uint64_t count);

    // ESC ! R: the printer forgets its forms and logos.
    void restart();

    // DELETE FORM / DELETE LOGO and RESET.
    // Forgets the forms and logos that the reader's memory no longer holds.
    void forgetMissing();
    // Labels printed without a form (plain-text pages).
    void countLabels(std::uint64_t count);
    // The forms and logos as the command-language reader keeps them, shared
    // by every connection.
    qovread::Memory& language() { return language_; }

    // CONFIG-SETMENU: false when the item table is full.
    bool setMenu(const std::string& item, const std::string& value);
    void resetMenu();
    const std::map<std::string, std::string>& menu() const { return menu_; }
    void setSnoop(const std::string& value) { snoop_ = value; }
    const std::string& snoop() const { return snoop_; }

    void countError() { ++errors_; }
    void countCalibration() { ++calibrations_; }

    std::uint64_t labelsPrinted() const { return labels_; }
    std::uint64_t errors() const { return errors_; }
    std::uint64_t restarts() const { return restarts_; }
    std::uint64_t calibrations() const { return calibrations_; }

    // Faults stop printing: labels counted while one is active wait, and
    // are added to the printed count when the last one is cleared.
    void setFault(Fault fault, bool on);
    const FaultSet& faults() const { return faults_; }
    std::uint64_t labelsWaiting() const { return waiting_; }

    // The answer to ~STATUS; its last line is "END\r\n" and no earlier line
    // ends in END, so a reader waiting for that text stops at the right place.
    std::string statusReport() const;

private:
    Limits limits_;
    int codePage_;
    std::map<std::string, StoredForm> forms_;
    std::map<std::string, StoredLogo> logos_;
    std::map<std::string, std::string> menu_;
    qovread::Memory language_;
    std::string snoop_ = "OFF";
    std::uint64_t labels_ = 0;
    std::uint64_t errors_ = 0;
    std::uint64_t restarts_ = 0;
    std::uint64_t calibrations_ = 0;
    FaultSet faults_;
    std::uint64_t waiting_ = 0;  // labels counted during a fault, not yet printed
    void addPrinted(std::uint64_t count);
};

}  // namespace qovemu
