// Message boxes and standard output, recorded for the tests.
#include "sim_impl.h"

namespace qov::sim {

void SimPlatform::messageBox(const char* text, const char* caption, Icon icon) {
    std::string t = text ? text : "", c = caption ? caption : "";
    impl_->log("MessageBox " + c + ": " + t);
    boxes.push_back({t, c, icon, false});
}

void SimPlatform::messageBoxWide(const char16_t* text, const char16_t* caption, Icon icon) {
    auto utf8 = [](const char16_t* s) {
        std::string out;
        if (!s) return out;
        std::size_t n = 0;
        while (s[n]) ++n;
        detail::encode(65001, s, n, out);
        return out;
    };
    std::string t = utf8(text), c = utf8(caption);
    impl_->log("MessageBoxW " + c + ": " + t);
    boxes.push_back({t, c, icon, true});
}

void SimPlatform::writeStdout(const char* text) {
    if (text) stdoutText += text;
}

}  // namespace qov::sim
