#include "preview_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qovpreview {

namespace {

// Thousandths of an inch ("4000"), or inches with a decimal point ("4.25").
bool parseLength(const std::string& text, int& mils) {
    if (text.empty() || text.size() > 12) return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.') ++dots;
        else if (c < '0' || c > '9') return false;
    }
    if (dots > 1 || text == ".") return false;
    const double value = std::strtod(text.c_str(), nullptr);
    const double m = dots ? value * 1000 : value;
    if (!(m >= 100) || m > 1000000) return false;
    mils = static_cast<int>(std::lround(m));
    return true;
}

}  // namespace

bool parsePaper(const std::string& text, int& widthMils, int& lengthMils) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return parseLength(text.substr(0, x), widthMils) && parseLength(text.substr(x + 1), lengthMils);
}

bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasNext = i + 1 < argc;
        if (arg == "--texts") {
            out.texts = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--dpi") {
            const std::string v = hasNext ? argv[++i] : "";
            if (v != "203" && v != "300" && v != "600") {
                error = "--dpi takes 203, 300 or 600";
                return false;
            }
            out.dpi = std::atoi(v.c_str());
        } else if (arg == "--paper") {
            if (!hasNext || !parsePaper(argv[++i], out.paperWidthMils, out.paperLengthMils)) {
                error = "--paper takes WxL in thousandths of an inch (4000x6000) or in inches with a decimal point (4.0x6.0)";
                return false;
            }
        } else if (arg == "--out") {
            if (!hasNext || std::string(argv[i + 1]).empty()) {
                error = "--out takes a folder";
                return false;
            }
            out.outDir = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-' ) {
            error = "unknown option " + arg;
            return false;
        } else {
            out.files.push_back(arg);
        }
    }
    if (out.files.empty() && !out.help) {
        error = "no input file";
        return false;
    }
    return true;
}

}  // namespace qovpreview
