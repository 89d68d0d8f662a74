// The faults a virtual printer can be put in from the workbench: each one
// stops printing until cleared, and each shows as one line of the status
// report, always in the order of this table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qovemu {

enum class Fault : unsigned { PaperOut, RibbonOut, HeadOpen, Paused, Offline };
constexpr unsigned kFaultCount = 5;

struct FaultName {
    Fault fault;
    const char* route;   // in URLs and JSON: "paper-out"
    const char* report;  // in the status report: "PAPER OUT"
};

// In report order.
const FaultName (&faultNames())[kFaultCount];

// false when `route` names no fault.
bool faultFromRoute(const std::string& route, Fault& fault);

// A set of active faults.
class FaultSet {
public:
    void set(Fault f, bool on) {
        const unsigned bit = 1u << static_cast<unsigned>(f);
        bits_ = on ? (bits_ | bit) : (bits_ & ~bit);
    }
    bool has(Fault f) const { return bits_ & (1u << static_cast<unsigned>(f)); }
    bool any() const { return bits_ != 0; }
    // "FAULT;PAPER OUT\r\n..." in report order; empty when none is active.
    std::string reportLines() const;
    // The route names of the active ones, in report order.
    std::vector<std::string> routes() const;

private:
    unsigned bits_ = 0;
};

}  // namespace qovemu
