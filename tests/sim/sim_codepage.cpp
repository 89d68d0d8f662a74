// Code-page conversions of the simulated OS: Windows-1252 and UTF-8 to and
// from UTF-16, with the semantics of MultiByteToWideChar and
// WideCharToMultiByte (no flags, no default character).
#include "sim_codepage.h"

#include <cstring>

#include "sim_impl.h"

namespace qov::sim::detail {

namespace {

// Windows-1252 0x80..0x9F. The five unassigned bytes map to the C1 control
// of the same value, as Windows does.
const char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void decode1252(const unsigned char* s, std::size_t n, std::u16string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char b = s[i];
        out.push_back(b >= 0x80 && b <= 0x9F ? k1252High[b - 0x80] : char16_t(b));
    }
}

void pushCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(char16_t(0xD800 + (cp >> 10)));
        out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(char16_t(cp));
    }
}

// UTF-8 with each maximal ill-formed subpart replaced by U+FFFD.
void decodeUtf8(const unsigned char* s, std::size_t n, std::u16string& out) {
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        std::uint32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            unsigned char c = s[j];
            unsigned char l = k == 0 ? lo : 0x80, h = k == 0 ? hi : 0xBF;
            if (c < l || c > h) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (ok) {
            pushCodePoint(out, cp);
        } else {
            out.push_back(0xFFFD);
        }
        i = j;
    }
}

void encodeUtf8(const char16_t* s, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // lone surrogate
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
}

void encode1252(const char16_t* s, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        char16_t c = s[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(char(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            ++i;  // one '?' for the pair
            out.push_back('?');
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (k1252High[k] == c) {
                mapped = char(0x80 + k);
                break;
            }
        }
        out.push_back(mapped);
    }
}

}  // namespace

bool decode(std::uint32_t codePage, const char* src, std::size_t n, std::u16string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    if (codePage == 1252) {
        decode1252(s, n, out);
        return true;
    }
    if (codePage == 65001) {
        decodeUtf8(s, n, out);
        return true;
    }
    return false;
}

bool encode(std::uint32_t codePage, const char16_t* src, std::size_t n, std::string& out) {
    if (codePage == 1252) {
        encode1252(src, n, out);
        return true;
    }
    if (codePage == 65001) {
        encodeUtf8(src, n, out);
        return true;
    }
    return false;
}

}  // namespace qov::sim::detail

namespace qov::sim {

int SimPlatform::multiByteToWide(std::uint32_t codePage, const char* src, int srcLen, char16_t* dst,
                                 int dstLen) {
    std::uint32_t cp = codePage == kCodePageAnsi ? ansiCodePage : codePage;
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    std::size_t n = srcLen == -1 ? std::strlen(src) + 1 : std::size_t(srcLen);
    std::u16string out;
    if (!detail::decode(cp, src, n, out)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    if (dstLen == 0) return int(out.size());
    if (out.size() > std::size_t(dstLen)) {
        impl_->lastError = kSimErrorInsufficientBuffer;
        return 0;
    }
    std::copy(out.begin(), out.end(), dst);
    return int(out.size());
}

int SimPlatform::wideToMultiByte(std::uint32_t codePage, const char16_t* src, int srcLen, char* dst,
                                 int dstLen) {
    std::uint32_t cp = codePage == kCodePageAnsi ? ansiCodePage : codePage;
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    std::size_t n = 0;
    if (srcLen == -1) {
        while (src[n]) ++n;
        ++n;
    } else {
        n = std::size_t(srcLen);
    }
    std::string out;
    if (!detail::encode(cp, src, n, out)) {
        impl_->lastError = kErrorInvalidParameter;
        return 0;
    }
    if (dstLen == 0) return int(out.size());
    if (out.size() > std::size_t(dstLen)) {
        impl_->lastError = kSimErrorInsufficientBuffer;
        return 0;
    }
    std::copy(out.begin(), out.end(), dst);
    return int(out.size());
}

}  // namespace qov::sim
