#include "status_map.h"

#include <cstdlib>
#include <cstring>

namespace qovprint {

namespace {

// The one table: fault line -> printer-state-reasons.
const FaultReason kFaultReasons[] = {
    {"FAULT;PAPER OUT", "media-empty", PAPPL_PREASON_MEDIA_EMPTY, true},
    {"FAULT;RIBBON OUT", "marker-supply-empty", PAPPL_PREASON_MARKER_SUPPLY_EMPTY, true},
    {"FAULT;HEAD OPEN", "cover-open", PAPPL_PREASON_COVER_OPEN, true},
    {"FAULT;PAUSED", "paused", PAPPL_PREASON_NONE, true},
    {"FAULT;OFFLINE", "offline", PAPPL_PREASON_OFFLINE, true},
};

}  // namespace

const FaultReason* faultReasons(std::size_t* count) {
    *count = sizeof kFaultReasons / sizeof kFaultReasons[0];
    return kFaultReasons;
}

PrinterStatus parseStatusReport(const std::string& text) {
    PrinterStatus st;
    // Lines end in CR LF; the report ends with its END line.
    std::size_t pos = 0;
    bool first = true, ended = false;
    while (pos < text.size()) {
        const std::size_t eol = text.find("\r\n", pos);
        if (eol == std::string::npos) break;  // a cut-off line is not read
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 2;
        if (first) {
            first = false;
            if (line == "STATUS;FAULT")
                st.faulted = true;
            else if (line != "STATUS;READY")
                return PrinterStatus{};  // not a status report
            continue;
        }
        if (line == "END") {
            ended = true;
            break;
        }
        if (line.compare(0, 6, "FAULT;") == 0) {
            std::size_t n = 0;
            const FaultReason* table = faultReasons(&n);
            bool known = false;
            for (std::size_t i = 0; i < n; ++i) {
                if (line != table[i].line) continue;
                known = true;
                st.reasons = static_cast<pappl_preason_t>(st.reasons | table[i].reason);
                if (std::strcmp(table[i].keyword, "paused") == 0) st.paused = true;
                st.blocked = st.blocked || table[i].blocksPrinting;
            }
            if (!known) {  // a fault this table does not know still stops the printer
                st.reasons = static_cast<pappl_preason_t>(st.reasons | PAPPL_PREASON_OTHER);
                st.blocked = true;
            }
        } else if (line.compare(0, 15, "LABELS PRINTED;") == 0) {
            st.labelsPrinted = std::strtol(line.c_str() + 15, nullptr, 10);
        }
    }
    if (!ended) return PrinterStatus{};
    st.answered = true;
    if (st.faulted && st.reasons == PAPPL_PREASON_NONE && !st.paused) {
        st.reasons = PAPPL_PREASON_OTHER;  // STATUS;FAULT without a line we know
        st.blocked = true;
    }
    return st;
}

}  // namespace qovprint
