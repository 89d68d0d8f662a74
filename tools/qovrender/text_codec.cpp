#include "text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace qovrender {

bool decodeUtf8(const std::string& bytes, std::u32string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out += static_cast<char32_t>(c);
            ++i;
            continue;
        }
        int extra;
        char32_t cp, min;
        if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; min = 0x10000; }
        else return false;
        if (i + static_cast<std::size_t>(extra) >= n) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char d = p[i + k];
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

namespace {

const char* iconvName(Symset symset) {
    switch (symset) {
    case Symset::Gb: return "GB18030";
    case Symset::Big5: return "BIG5";
    case Symset::Ksc: return "CP949";
    case Symset::Sjis: return "CP932";
    default: return "CP1252";
    }
}

}  // namespace

std::u32string decodeLegacy(const std::string& bytes, Symset symset) {
    std::u32string out;
    iconv_t cd = iconv_open("UTF-32LE", iconvName(symset));
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (unsigned char c : bytes) out += static_cast<char32_t>(c);
        return out;
    }
    std::string in = bytes;
    char* src = in.empty() ? nullptr : &in[0];
    std::size_t left = in.size();
    while (left > 0) {
        std::uint8_t buf[4 * 64];
        char* dst = reinterpret_cast<char*>(buf);
        std::size_t room = sizeof buf;
        const std::size_t r = iconv(cd, &src, &left, &dst, &room);
        const std::size_t produced = (sizeof buf - room) / 4;
        for (std::size_t k = 0; k < produced; ++k)
            out += static_cast<char32_t>(buf[4 * k] | (buf[4 * k + 1] << 8) | (buf[4 * k + 2] << 16) |
                                         (static_cast<std::uint32_t>(buf[4 * k + 3]) << 24));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An invalid or cut sequence: one replacement character, go on after the byte.
            out += U'\uFFFD';
            ++src;
            --left;
        }
    }
    iconv_close(cd);
    return out;
}

std::u32string decodeText(const std::string& bytes, Symset symset) {
    std::u32string out;
    if (decodeUtf8(bytes, out)) return out;
    return decodeLegacy(bytes, symset);
}

std::string encodeUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace qovrender
