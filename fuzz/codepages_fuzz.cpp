// Code-page conversions of the Linux library: the backend's two conversion
// calls (iconv under the Windows calling rules: a size query, an exact
// destination, a destination one unit short) and the encoded sends' text
// conversions built on them, held to an independent UTF-8/UTF-16 model.
//
// Input (FuzzedDataProvider: numbers from the end, texts from the front):
// the last byte chooses the platform calls (odd) or the sends' conversions
// (even). Platform calls: code-page index and terminated flag before it, the
// bytes to convert at the front, UTF-16 units after them. Sends: a count
// and that many wide characters (4 bytes each) before it, the ANSI text at
// the front.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/platform.h"
#include "sending/text_encoding.h"

namespace {

constexpr std::uint32_t kInsufficientBuffer = 122;

// The code pages callers and the library use, a few the backend maps by
// name, and any number.
std::uint32_t pickCodePage(FuzzedDataProvider& in) {
    static const std::uint32_t pages[] = {qov::kCodePageAnsi, qov::kCodePageUtf8, 1252, 1250,
                                          1251, 1200, 20127, 28591, 932, 936, 949, 950, 1,
                                          2, 3, 437, 850};
    const std::size_t n = sizeof pages / sizeof pages[0];
    const std::size_t i = in.ConsumeIntegralInRange<std::size_t>(0, n);
    return i < n ? pages[i] : in.ConsumeIntegral<std::uint32_t>();
}

// One byte per character, nothing rejected: each byte is one unit.
bool singleByte(std::uint32_t cp) {
    return cp == qov::kCodePageAnsi || cp == 1252 || cp == 1250 || cp == 1251 || cp == 28591 ||
           cp == 20127 || cp == 1 || cp == 2 || cp == 3;
}

std::u16string toWide(qov::Platform& os, std::uint32_t cp, const std::string& bytes,
                      bool terminated) {
    const char* src = bytes.c_str();
    const int srcLen = terminated ? -1 : static_cast<int>(bytes.size());
    const int needed = os.multiByteToWide(cp, src, srcLen, nullptr, 0);
    FUZZ_CHECK(needed >= 0);
    if (needed == 0) {
        char16_t unit = 0;
        FUZZ_CHECK(os.multiByteToWide(cp, src, srcLen, &unit, 1) == 0 || bytes.empty());
        return u"";
    }
    // Exactly the size asked for, so that a write past it is an overflow.
    std::vector<char16_t> exact(static_cast<std::size_t>(needed));
    FUZZ_CHECK(os.multiByteToWide(cp, src, srcLen, exact.data(), needed) == needed);
    if (needed > 1) {
        std::vector<char16_t> shorter(static_cast<std::size_t>(needed - 1));
        FUZZ_CHECK(os.multiByteToWide(cp, src, srcLen, shorter.data(), needed - 1) == 0);
        FUZZ_CHECK(os.lastError() == kInsufficientBuffer);
    }
    // (1200 is UTF-16 itself: its -1 length counts bytes up to a zero byte.)
    if (terminated && cp != 1200) FUZZ_CHECK(exact.back() == 0);
    if (singleByte(cp)) {
        const std::size_t units = terminated ? std::string(src).size() + 1 : bytes.size();
        FUZZ_CHECK(static_cast<std::size_t>(needed) == units);
    }
    return std::u16string(exact.begin(), exact.end());
}

std::string toBytes(qov::Platform& os, std::uint32_t cp, const std::u16string& units) {
    if (units.empty()) return "";
    const int needed =
        os.wideToMultiByte(cp, units.data(), static_cast<int>(units.size()), nullptr, 0);
    FUZZ_CHECK(needed >= 0);
    if (needed == 0) return "";
    std::vector<char> exact(static_cast<std::size_t>(needed));
    FUZZ_CHECK(os.wideToMultiByte(cp, units.data(), static_cast<int>(units.size()), exact.data(),
                                  needed) == needed);
    if (needed > 1) {
        std::vector<char> shorter(static_cast<std::size_t>(needed - 1));
        FUZZ_CHECK(os.wideToMultiByte(cp, units.data(), static_cast<int>(units.size()),
                                      shorter.data(), needed - 1) == 0);
        FUZZ_CHECK(os.lastError() == kInsufficientBuffer);
    }
    return std::string(exact.begin(), exact.end());
}

// The platform's calls on any bytes and units.
void platformCalls(FuzzedDataProvider& in) {
    qov::Platform& os = qov::os();
    const std::uint32_t cp = pickCodePage(in);
    const bool terminated = in.ConsumeBool();
    const std::string bytes = in.ConsumeRandomLengthString(512);
    const std::u16string wide = toWide(os, cp, bytes, terminated);
    if (cp == qov::kCodePageUtf8) {
        // Broken sequences become U+FFFD: the result is always well formed,
        // and well-formed input comes back unchanged.
        FUZZ_CHECK(fuzz::wellFormedUtf16(wide));
        if (!terminated && fuzz::validUtf8(bytes)) FUZZ_CHECK(toBytes(os, cp, wide) == bytes);
    }

    std::u16string units;
    while (in.remaining_bytes() >= 2 && units.size() < 256)
        units.push_back(in.ConsumeIntegral<char16_t>());
    const std::string back = toBytes(os, cp, units);
    if (cp == qov::kCodePageUtf8) FUZZ_CHECK(fuzz::validUtf8(back));
}

// The encoded sends' conversions, against the model: wide text ends at its
// first 0, code points that are not scalar values become U+FFFD, and the
// UTF-8 bytes are those of the code points.
void sendConversions(FuzzedDataProvider& in) {
    std::vector<wchar_t> text;
    std::string model;
    bool ended = false;
    const int count = in.ConsumeIntegralInRange<int>(0, 64);
    for (int i = 0; i < count; ++i) {
        const auto cp = in.ConsumeIntegral<std::uint32_t>() % 0x120000u;
        text.push_back(static_cast<wchar_t>(cp));
        if (cp == 0) ended = true;
        if (ended) continue;
        const bool scalar = cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF);
        fuzz::appendUtf8(model, scalar ? cp : 0xFFFD);
    }
    text.push_back(0);
    const std::u16string units = qov::sending::wideToUtf16(text.data());
    FUZZ_CHECK(fuzz::wellFormedUtf16(units));
    std::string utf8;
    FUZZ_CHECK(qov::sending::utf16ToUtf8(units, utf8));
    FUZZ_CHECK(utf8 == model);

    // ANSI text (Windows-1252 by default) has one code point per byte.
    const std::string ansi = in.ConsumeRemainingBytesAsString();
    std::string out;
    FUZZ_CHECK(qov::sending::ansiToUtf8(ansi.c_str(), out));
    FUZZ_CHECK(fuzz::validUtf8(out));
    FUZZ_CHECK(out.find('\0') == std::string::npos);
    std::size_t points = 0;
    for (char c : out) points += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    FUZZ_CHECK(points == std::string(ansi.c_str()).size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool())
        platformCalls(in);
    else
        sendConversions(in);
    return 0;
}
