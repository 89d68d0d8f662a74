#include "sending/text_encoding.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace qov::sending {

std::u16string wideToUtf16(const wchar_t* text) {
    std::u16string out;
    for (const wchar_t* p = text; *p != 0; ++p) {
        if constexpr (sizeof(wchar_t) == 2) {
            out.push_back(static_cast<char16_t>(*p));
        } else {
            const auto cp = static_cast<std::uint32_t>(*p);
            if (cp < 0x10000u) {
                const bool surrogate = cp >= 0xD800u && cp <= 0xDFFFu;
                out.push_back(surrogate ? u'\uFFFD' : static_cast<char16_t>(cp));
            } else if (cp <= 0x10FFFFu) {
                const std::uint32_t v = cp - 0x10000u;
                out.push_back(static_cast<char16_t>(0xD800u + (v >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00u + (v & 0x3FFu)));
            } else {
                out.push_back(u'\uFFFD');
            }
        }
    }
    return out;
}

namespace {

// Converts a zero-terminated UTF-16 text (terminator included) to UTF-8.
bool terminatedUtf16ToUtf8(const char16_t* wide, std::string& out) {
    const int needed = os().wideToMultiByte(kCodePageUtf8, wide, -1, nullptr, 0);
    if (needed <= 0) return false;
    std::vector<char> utf8(static_cast<std::size_t>(needed));
    const int made = os().wideToMultiByte(kCodePageUtf8, wide, -1, utf8.data(), needed);
    if (made <= 0 || made > needed) return false;
    // The bytes sent end at the terminator.
    const auto end = std::find(utf8.begin(), utf8.begin() + made, '\0');
    out.assign(utf8.begin(), end);
    return true;
}

}  // namespace

bool utf16ToUtf8(const std::u16string& text, std::string& out) {
    // c_str() carries the terminator the conversion includes.
    return terminatedUtf16ToUtf8(text.c_str(), out);
}

bool ansiToUtf8(const char* text, std::string& out) {
    const int needed = os().multiByteToWide(kCodePageAnsi, text, -1, nullptr, 0);
    if (needed <= 0) return false;
    // One unit more than asked for, always zero, so the text stays
    // terminated whatever the platform wrote.
    std::vector<char16_t> wide(static_cast<std::size_t>(needed) + 1, u'\0');
    const int made = os().multiByteToWide(kCodePageAnsi, text, -1, wide.data(), needed);
    if (made <= 0 || made > needed) return false;
    return terminatedUtf16ToUtf8(wide.data(), out);
}

}  // namespace qov::sending
