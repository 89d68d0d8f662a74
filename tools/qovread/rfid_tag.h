// A simulated RFID tag for one label: its banks start blank (PC 16 bits,
// EPC 96, TID "E2" and the label number, USR 512), the form's RFWTAG
// statements write into it and RFRTAG reads fill the DF fields, so a read
// after a write sees the written bits. VERIFY and HOSTOUT then give the
// bytes a printer sends back.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "job_model.h"

namespace qovread {

struct TagRun {
    std::map<int, std::string> fields;   // DFn -> value in the field's format
    std::string replies;                 // VERIFY and HOSTOUT answers, in order
    int operations = 0;                  // RFID statements run
};

class SimulatedTag {
public:
    explicit SimulatedTag(std::uint64_t labelNumber);
    // Runs the form's RFID statements in order; notes go to `note`.
    TagRun run(const Form& form, const std::function<void(long long, const std::string&)>& note);

    const std::vector<bool>& bank(const std::string& name) { return banks_[name]; }

private:
    std::map<std::string, std::vector<bool>> banks_;
};

// `<DFn>` in text replaced by the values read.
std::string replaceFields(const std::string& text, const std::map<int, std::string>& fields);
// `\r` and `\n` written as two characters turned into CR and LF.
std::string controlEscapes(const std::string& text);

}  // namespace qovread
