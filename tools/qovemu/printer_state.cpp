#include "printer_state.h"

#include <iterator>

#include <limits>
#include <utility>

namespace qovemu {

PrinterState::PrinterState(Limits limits, int codePage) : limits_(limits), codePage_(codePage) {}

namespace {
template <typename Map, typename Value>
StoreResult storeCapped(Map& map, const std::string& name, Value value, std::size_t maxCount) {
    auto it = map.find(name);
    if (it != map.end()) {
        it->second = std::move(value);
        return StoreResult::Replaced;
    }
    if (map.size() >= maxCount) return StoreResult::TooMany;
    map.emplace(name, std::move(value));
    return StoreResult::Stored;
}
}  // namespace

StoreResult PrinterState::storeForm(const std::string& name, StoredForm form) {
    if (form.body.size() > limits_.maxFormBytes) return StoreResult::TooLarge;
    return storeCapped(forms_, name, std::move(form), limits_.maxForms);
}

StoreResult PrinterState::storeLogo(const std::string& name, StoredLogo logo) {
    if (logo.data.size() > limits_.maxLogoBytes) return StoreResult::TooLarge;
    return storeCapped(logos_, name, std::move(logo), limits_.maxLogos);
}

const StoredForm* PrinterState::form(const std::string& name) const {
    auto it = forms_.find(name);
    return it == forms_.end() ? nullptr : &it->second;
}

const StoredLogo* PrinterState::logo(const std::string& name) const {
    auto it = logos_.find(name);
    return it == logos_.end() ? nullptr : &it->second;
}

bool PrinterState::execute(const std::string& name, std::uint64_t count) {
    if (!form(name)) {
        ++errors_;
        return false;
    }
    addPrinted(count);
    return true;
}

// Saturates rather than wraps: the counters only ever grow.
void PrinterState::addPrinted(std::uint64_t count) {
    std::uint64_t& to = faults_.any() ? waiting_ : labels_;
    const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - to;
    to += count < room ? count : room;
}

void PrinterState::setFault(Fault fault, bool on) {
    faults_.set(fault, on);
    if (faults_.any() || waiting_ == 0) return;
    const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - labels_;
    labels_ += waiting_ < room ? waiting_ : room;
    waiting_ = 0;
}

void PrinterState::forgetMissing() {
    for (auto it = forms_.begin(); it != forms_.end();) it = language_.forms.count(it->first) ? std::next(it) : forms_.erase(it);
    for (auto it = logos_.begin(); it != logos_.end();) it = language_.logos.count(it->first) ? std::next(it) : logos_.erase(it);
}

void PrinterState::countLabels(std::uint64_t count) { addPrinted(count); }

void PrinterState::restart() {
    language_.forms.clear();
    language_.logos.clear();
    forms_.clear();
    logos_.clear();
    ++restarts_;
}

bool PrinterState::setMenu(const std::string& item, const std::string& value) {
    auto it = menu_.find(item);
    if (it != menu_.end()) {
        it->second = value;
        return true;
    }
    if (menu_.size() >= limits_.maxMenuItems) return false;
    menu_.emplace(item, value);
    return true;
}

void PrinterState::resetMenu() { menu_.clear(); }

std::string PrinterState::statusReport() const {
    std::string r;
    r += faults_.any() ? "STATUS;FAULT\r\n" + faults_.reportLines() : std::string("STATUS;READY\r\n");
    r += "LABELS PRINTED;" + std::to_string(labels_) + "\r\n";
    r += "FORMS STORED;" + std::to_string(forms_.size()) + "\r\n";
    r += "LOGOS STORED;" + std::to_string(logos_.size()) + "\r\n";
    r += "ERRORS;" + std::to_string(errors_) + "\r\n";
    r += "RESTARTS;" + std::to_string(restarts_) + "\r\n";
    r += "CODEPAGE;" + std::to_string(codePage_) + "\r\n";
    // Values taken from the host are quoted, so none of them can make a line
    // end in END before the real end of the report.
    r += "SNOOP;\"" + snoop_ + "\"\r\n";
    for (const auto& m : menu_) r += "MENU;\"" + m.first + "\";\"" + m.second + "\"\r\n";
    r += "END\r\n";
    return r;
}

}  // namespace qovemu
