#include "formatters/result_buffer.h"

#include <cstdarg>
#include <cstdio>

namespace qov {

char* ResultBuffer::format(const char* pattern, ...) noexcept {
    std::va_list args;
    va_start(args, pattern);
    std::va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(fixed_, sizeof fixed_, pattern, args);
    va_end(args);
    char* text = fixed_;
    if (needed < 0) {
        fixed_[0] = '\0';
    } else if (static_cast<std::size_t>(needed) >= sizeof fixed_) {
        try {
            if (grown_.size() <= static_cast<std::size_t>(needed)) {
                grown_.resize(static_cast<std::size_t>(needed) + 1);
            }
            std::vsnprintf(grown_.data(), grown_.size(), pattern, again);
            text = grown_.data();
        } catch (...) {
            // The fixed buffer keeps the part that fit, terminated.
        }
    }
    va_end(again);
    return text;
}

}  // namespace qov
