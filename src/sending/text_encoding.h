// Conversions of the encoded sends: ANSI code page text and wide text to
// the UTF-8 bytes that go on the wire.
#pragma once

#include <string>

namespace qov::sending {

// The caller's wide text as UTF-16 code units, up to its terminator. Where
// wchar_t is 16 bits wide the units are taken as they are; where it holds
// UTF-32, code points above the basic plane become surrogate pairs and
// values that are no code point (surrogates, above 10FFFF) become U+FFFD.
std::u16string wideToUtf16(const wchar_t* text);

// UTF-16 text (up to its first zero unit) to UTF-8 through the platform.
// False when the platform cannot convert it.
bool utf16ToUtf8(const std::u16string& text, std::string& out);

// Text in the ANSI code page to UTF-8 through UTF-16, as the platform
// converts it. False when the platform cannot convert it.
bool ansiToUtf8(const char* text, std::string& out);

}  // namespace qov::sending
