#include "faults.h"

namespace qovemu {

const FaultName (&faultNames())[kFaultCount] {
    static const FaultName names[kFaultCount] = {
        {Fault::PaperOut, "paper-out", "PAPER OUT"},
        {Fault::RibbonOut, "ribbon-out", "RIBBON OUT"},
        {Fault::HeadOpen, "head-open", "HEAD OPEN"},
        {Fault::Paused, "paused", "PAUSED"},
        {Fault::Offline, "offline", "OFFLINE"},
    };
    return names;
}

bool faultFromRoute(const std::string& route, Fault& fault) {
    for (const FaultName& n : faultNames()) {
        if (route == n.route) {
            fault = n.fault;
            return true;
        }
    }
    return false;
}

std::string FaultSet::reportLines() const {
    std::string lines;
    for (const FaultName& n : faultNames())
        if (has(n.fault)) lines += std::string("FAULT;") + n.report + "\r\n";
    return lines;
}

std::vector<std::string> FaultSet::routes() const {
    std::vector<std::string> out;
    for (const FaultName& n : faultNames())
        if (has(n.fault)) out.emplace_back(n.route);
    return out;
}

}  // namespace qovemu
