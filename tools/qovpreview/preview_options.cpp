#include "preview_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qovpreview {

namespace {

bool parseInches(const std::string& text, int& mils) {
    if (text.empty() || text.size() > 12) return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.') ++dots;
        else if (c < '0' || c > '9') return false;
    }
    if (dots > 1 || text == ".") return false;
    const double inches = std::strtod(text.c_str(), nullptr);
    if (!(inches > 0) || inches > 1000) return false;
    mils = static_cast<int>(std::lround(inches * 1000));
    return mils > 0;
}

}  // namespace

bool parsePaper(const std::string& text, int& widthMils, int& lengthMils) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return parseInches(text.substr(0, x), widthMils) && parseInches(text.substr(x + 1), lengthMils);
}

bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasNext = i + 1 < argc;
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
                error = "--paper takes WxL in inches, such as 4x6 or 4.25x2.5";
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
