// `--printer NAME:PORT[:serial][:dpi=203|300|600][:paper=WxL]`, one virtual
// printer of the workbench.
#pragma once

#include <string>

namespace qovemu {

struct PrinterSpec {
    std::string name;
    int port = 0;
    bool serial = false;
    int dpi = 203;
    int paperWidthMils = 0;   // 0: the model's paper
    int paperLengthMils = 0;
};

// false with a reason when `text` is not a valid spec.
bool parsePrinterSpec(const std::string& text, PrinterSpec& spec, std::string& error);

// "4000x6000": thousandths of an inch, each 100 to 100000.
bool parsePaper(const std::string& text, int& width, int& length);

}  // namespace qovemu
