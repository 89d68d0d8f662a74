// Code-page conversion through iconv, with the Windows calling rules:
// srcLen -1 takes the text up to and including its terminator, dstLen 0
// asks for the size needed, a too small destination fails with
// ERROR_INSUFFICIENT_BUFFER, and the result counts units written.
//
// The ANSI code page is Windows-1252 unless QOVLIB_ANSI_CODEPAGE names
// another (an iconv name, or a Windows code-page number such as 1250).
// Without flags Windows never rejects input: bytes a code page lacks, and
// broken UTF-8, become U+FFFD (UTF-8) or their own value (single-byte code
// pages); characters a code page lacks become '?'.
#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_platform.h"

namespace qov::posix {

namespace {

const char* utf16Name() {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return "UTF-16BE";
#else
    return "UTF-16LE";
#endif
}

bool allDigits(const char* s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

std::string nameOfNumber(const std::string& digits) {
    if (digits == "65001") return "UTF-8";
    if (digits == "1200") return utf16Name();
    if (digits == "20127") return "ASCII";
    if (digits == "28591") return "ISO-8859-1";
    if (digits.size() == 4 && digits[0] == '1' && digits[1] == '2') return "WINDOWS-" + digits;
    return "CP" + digits;
}

// The iconv name of a Windows code page, or empty when unknown.
std::string iconvName(std::uint32_t codePage) {
    if (codePage == kCodePageAnsi) {
        const char* env = std::getenv("QOVLIB_ANSI_CODEPAGE");
        if (!env || !*env) return "WINDOWS-1252";
        if (allDigits(env)) return nameOfNumber(env);
        return env;
    }
    if (codePage == 1 || codePage == 2 || codePage == 3) return "WINDOWS-1252";  // OEM/MAC/thread ACP
    return nameOfNumber(std::to_string(codePage));
}

bool isUtf8(const std::string& name) {
    return strcasecmp(name.c_str(), "UTF-8") == 0 || strcasecmp(name.c_str(), "UTF8") == 0;
}

// Opened converters, kept for the life of the process.
struct ConverterCache {
    std::map<std::pair<std::string, std::string>, iconv_t> open;
    ~ConverterCache() {
        for (auto& entry : open) iconv_close(entry.second);
    }
};

iconv_t converter(const std::string& to, const std::string& from) {
    static ConverterCache cache;
    auto& open = cache.open;
    auto key = std::make_pair(to, from);
    auto it = open.find(key);
    if (it != open.end()) {
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return it->second;
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    open.emplace(key, cd);
    return cd;
}

// Converts everything; `onInvalid` writes a replacement and says how many
// input bytes to skip.
template <typename OnInvalid>
bool convertAll(iconv_t cd, const char* in, std::size_t inLen, std::string& out,
                OnInvalid onInvalid) {
    char* src = const_cast<char*>(in);
    std::size_t left = inLen;
    std::vector<char> buf(inLen * 4 + 16);
    while (left > 0) {
        char* dst = buf.data();
        std::size_t room = buf.size();
        std::size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf.data(), static_cast<std::size_t>(dst - buf.data()));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (errno == EILSEQ || errno == EINVAL) {
            std::size_t skip = onInvalid(reinterpret_cast<const unsigned char*>(src), left, out);
            if (skip == 0 || skip > left) skip = left;
            src += skip;
            left -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        return false;
    }
    char* dst = buf.data();
    std::size_t room = buf.size();
    iconv(cd, nullptr, nullptr, &dst, &room);  // flush any shift state
    out.append(buf.data(), static_cast<std::size_t>(dst - buf.data()));
    return true;
}

void appendUnit(std::string& out, char16_t u) {
    out.append(reinterpret_cast<const char*>(&u), sizeof u);
}

}  // namespace

int PosixPlatform::multiByteToWide(std::uint32_t codePage, const char* src, int srcLen,
                                   char16_t* dst, int dstLen) {
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        setThreadLastError(kErrorInvalidParameter);
        return 0;
    }
    std::size_t len = srcLen == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcLen);
    const std::string from = iconvName(codePage);
    iconv_t cd = from.empty() ? reinterpret_cast<iconv_t>(-1) : converter(utf16Name(), from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        setThreadLastError(kErrorInvalidParameter);
        return 0;
    }
    const bool utf8 = isUtf8(from);
    std::string units;
    bool ok = convertAll(cd, src, len, units,
                         [utf8](const unsigned char* p, std::size_t, std::string& out) {
                             appendUnit(out, utf8 ? u'\xFFFD' : static_cast<char16_t>(*p));
                             return std::size_t{1};
                         });
    if (!ok) {
        setThreadLastError(kErrorNoUnicodeTranslation);
        return 0;
    }
    int needed = static_cast<int>(units.size() / sizeof(char16_t));
    if (dstLen == 0) return needed;
    if (needed > dstLen) {
        setThreadLastError(kErrorInsufficientBuffer);
        return 0;
    }
    std::memcpy(dst, units.data(), units.size());
    return needed;
}

int PosixPlatform::wideToMultiByte(std::uint32_t codePage, const char16_t* src, int srcLen,
                                   char* dst, int dstLen) {
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        setThreadLastError(kErrorInvalidParameter);
        return 0;
    }
    std::size_t units = 0;
    if (srcLen == -1) {
        while (src[units] != 0) ++units;
        ++units;
    } else {
        units = static_cast<std::size_t>(srcLen);
    }
    const std::string to = iconvName(codePage);
    iconv_t cd = to.empty() ? reinterpret_cast<iconv_t>(-1) : converter(to, utf16Name());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        setThreadLastError(kErrorInvalidParameter);
        return 0;
    }
    const bool utf8 = isUtf8(to);
    std::string bytes;
    bool ok = convertAll(cd, reinterpret_cast<const char*>(src), units * sizeof(char16_t), bytes,
                         [utf8](const unsigned char*, std::size_t, std::string& out) {
                             // A lone surrogate, or a character the code page lacks.
                             out += utf8 ? "\xEF\xBF\xBD" : "?";
                             return sizeof(char16_t);
                         });
    if (!ok) {
        setThreadLastError(kErrorNoUnicodeTranslation);
        return 0;
    }
    int needed = static_cast<int>(bytes.size());
    if (dstLen == 0) return needed;
    if (needed > dstLen) {
        setThreadLastError(kErrorInsufficientBuffer);
        return 0;
    }
    std::memcpy(dst, bytes.data(), bytes.size());
    return needed;
}

}  // namespace qov::posix
