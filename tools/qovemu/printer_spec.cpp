#include "printer_spec.h"

#include <cstdlib>
#include <vector>

namespace qovemu {

namespace {

bool parseInt(const std::string& text, long min, long max, int& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < min || v > max) return false;
    value = static_cast<int>(v);
    return true;
}

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(by, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 32) return false;
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool parsePaper(const std::string& text, int& width, int& length) {
    const auto x = text.find('x');
    return x != std::string::npos && parseInt(text.substr(0, x), 100, 100000, width) &&
           parseInt(text.substr(x + 1), 100, 100000, length);
}

bool parsePrinterSpec(const std::string& text, PrinterSpec& spec, std::string& error) {
    const std::vector<std::string> parts = split(text, ':');
    spec = PrinterSpec();
    if (parts.size() < 2 || !validName(parts[0])) {
        error = "printer " + text + ": needs NAME:PORT, NAME 1 to 32 of A-Z a-z 0-9 _ -";
        return false;
    }
    spec.name = parts[0];
    if (!parseInt(parts[1], 0, 65535, spec.port)) {
        error = "printer " + spec.name + ": port must be 0 to 65535";
        return false;
    }
    for (std::size_t i = 2; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p == "serial") {
            spec.serial = true;
        } else if (p.compare(0, 4, "dpi=") == 0) {
            if (!parseInt(p.substr(4), 0, 1000, spec.dpi) || (spec.dpi != 203 && spec.dpi != 300 && spec.dpi != 600)) {
                error = "printer " + spec.name + ": dpi must be 203, 300 or 600";
                return false;
            }
        } else if (p.compare(0, 6, "paper=") == 0) {
            if (!parsePaper(p.substr(6), spec.paperWidthMils, spec.paperLengthMils)) {
                error = "printer " + spec.name + ": paper must be WxL in thousandths of an inch (100 to 100000)";
                return false;
            }
        } else {
            error = "printer " + spec.name + ": unknown part " + p;
            return false;
        }
    }
    return true;
}

}  // namespace qovemu
