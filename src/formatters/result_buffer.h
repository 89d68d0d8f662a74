// The text a formatter returns: owned by the library, one per export, valid
// until that export's next call.
#pragma once

#include <cstddef>
#include <vector>

#if defined(__GNUC__)
#define QOV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QOV_PRINTF_FORMAT(fmt, args)
#endif

namespace qov {

// Texts up to 1,023 characters go into a fixed 1,024-byte buffer, whose
// address stays the same from call to call; a longer text goes whole into a
// grown buffer instead, so that long arguments are never cut.
class ResultBuffer {
public:
    static constexpr std::size_t kFixedSize = 1024;

    // Formats with printf rules and returns the text. Should the grown
    // buffer be out of reach (no memory), the text is the part that fits
    // the fixed one; no exception leaves.
    char* format(const char* pattern, ...) noexcept QOV_PRINTF_FORMAT(2, 3);

    const char* fixedText() const { return fixed_; }

private:
    char fixed_[kFixedSize] = {};
    std::vector<char> grown_;
};

// A text argument as it is written: a null pointer is the empty text.
inline const char* textOrEmpty(const char* text) { return text ? text : ""; }

}  // namespace qov
