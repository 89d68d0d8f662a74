#include "formatters/logo_conversion.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

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

// Decimal texts of the columns 1..n, made on first use, so that a run costs
// two 8-byte copies instead of two conversions. Wide pictures beyond the
// table convert each number.
class ColumnTexts {
public:
    static constexpr std::uint32_t kMaxColumns = 1u << 16;

    explicit ColumnTexts(std::size_t columns)
        : columns_(static_cast<std::uint32_t>(std::min<std::size_t>(columns, kMaxColumns))) {}

    // Writes the column's digits at p (which has room for 10 + 8 bytes) and
    // returns the end of them.
    char* put(char* p, std::uint32_t column) const {
        if (column > columns_) return std::to_chars(p, p + 10, column).ptr;
        if (texts_.empty()) build();
        const Entry& e = texts_[column];
        std::memcpy(p, e.digits, sizeof e.digits);
        return p + e.length;
    }

private:
    struct Entry {
        char digits[7];  // up to 65536: five digits, the rest unused
        unsigned char length;
    };
    void build() const {
        texts_.resize(static_cast<std::size_t>(columns_) + 1);
        for (std::uint32_t c = 1; c <= columns_; ++c) {
            Entry& e = texts_[c];
            e.length = static_cast<unsigned char>(
                std::to_chars(e.digits, e.digits + sizeof e.digits, c).ptr - e.digits);
        }
    }
    std::uint32_t columns_;
    mutable std::vector<Entry> texts_;
};

// The output text, written through a cursor into a string kept longer than
// the text: each piece checks for room once and is then stored directly,
// the string doubling when it runs out.
class TextSink {
public:
    explicit TextSink(std::size_t initial) { text_.resize(std::max<std::size_t>(initial, 64)); }

    // Where up to `n` more bytes may be written.
    char* room(std::size_t n) {
        if (text_.size() - used_ < n) text_.resize(std::max(text_.size() * 2, used_ + n));
        return &text_[used_];
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - text_.data()); }

    void append(const char* s, std::size_t n) {
        std::memcpy(room(n), s, n);
        used_ += n;
    }
    void append(char c) {
        *room(1) = c;
        ++used_;
    }
    void appendNumber(long long v) {
        char* p = room(24);
        commit(std::to_chars(p, p + 24, v).ptr);
    }
    // ";first" or ";first-last"; columns are below 2^31, ten digits at most.
    void appendRun(std::uint32_t first, std::uint32_t last, const ColumnTexts& columns) {
        char* p = room(24);
        *p++ = ';';
        p = columns.put(p, first);
        if (last != first) {
            *p++ = '-';
            p = columns.put(p, last);
        }
        commit(p);
    }

    std::size_t size() const { return used_; }
    void truncate(std::size_t n) { used_ = n; }
    std::string take() {
        text_.resize(used_);
        return std::move(text_);
    }

private:
    std::string text_;
    std::size_t used_ = 0;
};

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

    // A guess that covers sparse pictures in one allocation; denser ones grow.
    const std::size_t inputBytes = hasRows ? rowBytes * static_cast<std::size_t>(height) : 0;
    TextSink out(nameLength + 48 + std::min<std::size_t>(inputBytes / 4, std::size_t{64} << 20));

    out.append("~LOGO;", 6);
    out.append(logoName, nameLength);
    out.append(';');
    out.appendNumber(height);
    out.append(';');
    out.appendNumber(width);
    out.append(';');

    if (hasRows) {
        // Pixels the row's bytes hold, up to the width. When the bytes end
        // before the width, a run reaching their end has no known last
        // column and is dropped.
        const std::size_t limit = std::min(static_cast<std::size_t>(width), rowBytes * 8);
        const bool runsCloseAtEdge = limit == static_cast<std::size_t>(width);
        const ColumnTexts columns(limit);
        for (int r = 0; r < height; ++r) {
            const unsigned char* row = picture + static_cast<std::size_t>(r) * rowBytes;
            std::size_t dot = findPixel<false>(row, rowBytes, 0);
            if (dot >= limit) continue;

            const std::size_t lineStart = out.size();
            out.append('\n');
            out.appendNumber(static_cast<long long>(r) + 1);
            const std::size_t runsStart = out.size();
            do {
                const std::size_t blank = findPixel<true>(row, rowBytes, dot + 1);
                if (blank >= limit) {
                    if (runsCloseAtEdge) {
                        out.appendRun(static_cast<std::uint32_t>(dot + 1),
                                      static_cast<std::uint32_t>(limit), columns);
                    }
                    break;
                }
                // Pixels dot..blank-1 are the run: columns dot+1..blank.
                out.appendRun(static_cast<std::uint32_t>(dot + 1),
                              static_cast<std::uint32_t>(blank), columns);
                dot = findPixel<false>(row, rowBytes, blank + 1);
            } while (dot < limit);
            // The row's only run was dropped: the row has no line.
            if (out.size() == runsStart) out.truncate(lineStart);
        }
    }

    out.append("\nEND", 4);
    return out.take();
}

}  // namespace qov
