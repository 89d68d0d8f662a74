// qovpreview's command line.
#pragma once

#include <string>
#include <vector>

namespace qovpreview {

struct Options {
    int dpi = 203;
    int paperWidthMils = 0;   // 0: the printer's default until the input sets it
    int paperLengthMils = 0;
    std::string outDir = ".";
    std::vector<std::string> files;
    bool help = false;
    bool texts = false;       // list each label's texts after its line
};

// False with a message for the user when the command line is wrong.
bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error);

// "--paper 4000x6000" (thousandths of an inch, as ~PAPER;SIZE) or
// "4.25x2.5" (inches, with a decimal point), into thousandths of an inch.
bool parsePaper(const std::string& text, int& widthMils, int& lengthMils);

}  // namespace qovpreview
