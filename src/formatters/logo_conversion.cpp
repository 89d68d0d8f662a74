#include "formatters/logo_conversion.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace qov {
namespace {

// Eight picture bytes as one word, the first byte in the top bits, so that
// pixel order is bit order from the top.
inline std::uint64_t loadBigEndian64(const unsigned char* p) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
#elif defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#else
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
#endif
}

// Number of zero bits above the highest one bit; v is not 0.
inline unsigned leadingZeros64(std::uint64_t v) {
#if defined(__GNUC__)
    return static_cast<unsigned>(__builtin_clzll(v));
#else
    unsigned n = 0;
    while (!(v & (std::uint64_t{1} << 63))) {
        v <<= 1;
        ++n;
    }
    return n;
#endif
}

// Index of the first pixel at or after `from` that is blank (kBlank) or a
// dot (!kBlank), or bytes * 8 when there is none. The row is looked at eight
// bytes at a time, so blank stretches (or solid ones) are passed over a word
// per step, and the pixel inside a word is found by counting leading bits.
template <bool kBlank>
std::size_t findPixel(const unsigned char* row, std::size_t bytes, std::size_t from) {
    std::size_t byte = from >> 3;
    unsigned skip = static_cast<unsigned>(from & 7);
    while (byte + 8 <= bytes) {
        std::uint64_t w = loadBigEndian64(row + byte);
        if (!kBlank) w = ~w;  // dots are 0 bits: make the sought pixels 1
        w &= ~std::uint64_t{0} >> skip;
        if (w != 0) return byte * 8 + leadingZeros64(w);
        byte += 8;
        skip = 0;
    }
    if (byte < bytes) {
        // The last one to seven bytes, padded with what is not sought.
        unsigned char tail[8];
        std::memset(tail, kBlank ? 0x00 : 0xFF, sizeof tail);
        std::memcpy(tail, row + byte, bytes - byte);
        std::uint64_t w = loadBigEndian64(tail);
        if (!kBlank) w = ~w;
        w &= ~std::uint64_t{0} >> skip;
        if (w != 0) return byte * 8 + leadingZeros64(w);
    }
    return bytes * 8;
}

template <typename Int>
inline char* putNumber(char* p, char* end, Int v) {
    return std::to_chars(p, end, v).ptr;
}

// Appends ";first" or ";first-last" (columns from 1).
inline void appendRun(std::string& out, std::size_t first, std::size_t last) {
    char buf[48];
    char* const end = buf + sizeof buf;
    char* p = buf;
    *p++ = ';';
    p = putNumber(p, end, first);
    if (last != first) {
        *p++ = '-';
        p = putNumber(p, end, last);
    }
    out.append(buf, static_cast<std::size_t>(p - buf));
}

inline void appendNumber(std::string& out, long long v) {
    char buf[24];
    char* p = putNumber(buf, buf + sizeof buf, v);
    out.append(buf, static_cast<std::size_t>(p - buf));
}

}  // namespace

std::size_t logoRowBytes(int width) {
    // (width + 4) / 8 rounded toward zero, computed wide so INT_MAX cannot
    // overflow; a negative result means no bytes.
    const long long b = (static_cast<long long>(width) + 4) / 8;
    return b > 0 ? static_cast<std::size_t>(b) : 0;
}

std::string convertLogo(const unsigned char* picture, const char* name, int height, int width) {
    const char* logoName = name ? name : "";
    const std::size_t nameLength = std::strlen(logoName);
    const std::size_t rowBytes = logoRowBytes(width);
    const bool hasRows = picture != nullptr && height > 0 && rowBytes > 0;

    std::string out;
    // A guess that covers sparse pictures in one allocation; denser ones grow.
    const std::size_t inputBytes = hasRows ? rowBytes * static_cast<std::size_t>(height) : 0;
    out.reserve(nameLength + 48 + std::min<std::size_t>(inputBytes / 4, std::size_t{64} << 20));

    out += "~LOGO;";
    out.append(logoName, nameLength);
    out += ';';
    appendNumber(out, height);
    out += ';';
    appendNumber(out, width);
    out += ';';

    if (hasRows) {
        // Pixels the row's bytes hold, up to the width. When the bytes end
        // before the width, a run reaching their end has no known last
        // column and is dropped.
        const std::size_t limit = std::min(static_cast<std::size_t>(width), rowBytes * 8);
        const bool runsCloseAtEdge = limit == static_cast<std::size_t>(width);
        for (int r = 0; r < height; ++r) {
            const unsigned char* row = picture + static_cast<std::size_t>(r) * rowBytes;
            std::size_t dot = findPixel<false>(row, rowBytes, 0);
            if (dot >= limit) continue;

            const std::size_t lineStart = out.size();
            out += '\n';
            appendNumber(out, static_cast<long long>(r) + 1);
            const std::size_t runsStart = out.size();
            do {
                const std::size_t blank = findPixel<true>(row, rowBytes, dot + 1);
                if (blank >= limit) {
                    if (runsCloseAtEdge) appendRun(out, dot + 1, limit);
                    break;
                }
                // Pixels dot..blank-1 are the run: columns dot+1..blank.
                appendRun(out, dot + 1, blank);
                dot = findPixel<false>(row, rowBytes, blank + 1);
            } while (dot < limit);
            // The row's only run was dropped: the row has no line.
            if (out.size() == runsStart) out.resize(lineStart);
        }
    }

    out += "\nEND";
    return out;
}

}  // namespace qov
