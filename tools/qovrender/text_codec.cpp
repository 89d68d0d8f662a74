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

std::u32string decodeLegacy(const std::string& bytes, Symset symset) { return decodeWith(bytes, iconvName(symset)); }

std::u32string decodeWith(const std::string& bytes, const char* table) {
    std::u32string out;
    iconv_t cd = iconv_open("UTF-32LE", table);
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

const char* isetTable(int iset, bool& known) {
    // ISET numbers to iconv tables; an unknown number reads as ISO 8859-1.
    static const struct {
        int n;
        const char* table;
    } kSets[] = {{0, "ISO-8859-1"},   {1, "ISO646-DE"}, {2, "ISO646-SE"},  {3, "ISO646-DK"},  {4, "ISO646-NO"},
                 {5, "ISO646-FI"},    {6, "ISO646-GB"}, {8, "ISO646-FR"},  {9, "ISO646-ES"},  {10, "ISO646-IT"},
                 {12, "CP437"},       {13, "CP850"},    {37, "ISO-8859-1"}, {309, "ISO-8859-1"}, {301, "CP852"},
                 {306, "CP1250"},     {406, "CP851"}};
    for (const auto& s : kSets) {
        if (s.n == iset) {
            known = true;
            return s.table;
        }
    }
    known = false;
    return "ISO-8859-1";
}

std::u32string decodeLanguageText(const std::string& bytes, int iset, Symset symset, bool twoByte, std::string& remark) {
    std::u32string out;
    if (iset == -1 || symset == Symset::Utf8) {
        if (decodeUtf8(bytes, out)) return out;
        remark = "text is not valid UTF-8; bad bytes shown as U+FFFD";
        out.clear();
        for (unsigned char c : bytes) out += c < 0x80 ? static_cast<char32_t>(c) : U'\uFFFD';
        return out;
    }
    bool multi = false;
    for (unsigned char c : bytes) multi |= c >= 0x80;
    if (!multi) {
        for (unsigned char c : bytes) out += static_cast<char32_t>(c);
        if (iset == 0) return out;
    }
    if (multi && decodeUtf8(bytes, out)) return out;
    if (twoByte) return decodeLegacy(bytes, symset == Symset::Ascii ? Symset::Gb : symset);
    bool known = false;
    const char* table = isetTable(iset, known);
    if (!known) remark = "ISET " + std::to_string(iset) + " not known; read as ISO 8859-1";
    return decodeWith(bytes, table);
}

}  // namespace qovrender
