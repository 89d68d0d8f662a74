// Code pages through iconv with the Windows size rules, the LIKE matcher of
// the management query, and message boxes on standard error.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_like_pattern.h"
#include "posix_test_support.h"

namespace {

using namespace qov;
using qov::posixtest::ScopedEnv;

std::u16string toWide(std::uint32_t cp, const std::string& s) {
    Platform& p = nativePlatform();
    int n = p.multiByteToWide(cp, s.c_str(), -1, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    EXPECT_EQ(p.multiByteToWide(cp, s.c_str(), -1, out.data(), n), n);
    out.resize(out.empty() ? 0 : out.size() - 1);
    return out;
}

std::string fromWide(std::uint32_t cp, const std::u16string& w) {
    Platform& p = nativePlatform();
    int n = p.wideToMultiByte(cp, w.c_str(), -1, nullptr, 0);
    std::string out(static_cast<std::size_t>(n), '\0');
    EXPECT_EQ(p.wideToMultiByte(cp, w.c_str(), -1, out.data(), n), n);
    out.resize(out.empty() ? 0 : out.size() - 1);
    return out;
}

TEST(PosixCodePages, AnsiIsWindows1252ToUtf8) {
    // é and € in 1252, and a byte 1252 leaves undefined (kept as U+0081).
    std::u16string w = toWide(kCodePageAnsi, "caf\xE9 \x80 \x81");
    EXPECT_EQ(w, u"caf\u00E9 \u20AC \u0081");
    EXPECT_EQ(fromWide(kCodePageUtf8, w), "caf\xC3\xA9 \xE2\x82\xAC \xC2\x81");
    EXPECT_EQ(fromWide(kCodePageAnsi, u"\u00E9\u4E2D"), "\xE9?");  // no CJK in 1252
}

TEST(PosixCodePages, SizeQueriesAndBufferBounds) {
    Platform& p = nativePlatform();
    // -1 counts the terminator; an explicit length does not add one.
    EXPECT_EQ(p.multiByteToWide(kCodePageAnsi, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(p.multiByteToWide(kCodePageAnsi, "abc", 3, nullptr, 0), 3);
    EXPECT_EQ(p.wideToMultiByte(kCodePageUtf8, u"\u00E9", -1, nullptr, 0), 3);
    char16_t small[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(p.multiByteToWide(kCodePageAnsi, "abc", -1, small, 3), 0);
    EXPECT_EQ(p.lastError(), 122u);  // insufficient buffer
    EXPECT_EQ(small[0], u'x');       // nothing written on failure
    char bytes[2] = {'x', 'x'};
    EXPECT_EQ(p.wideToMultiByte(kCodePageUtf8, u"\u00E9", -1, bytes, 2), 0);
    EXPECT_EQ(bytes[0], 'x');
    EXPECT_EQ(p.multiByteToWide(kCodePageAnsi, "abc", 0, nullptr, 0), 0);
    EXPECT_EQ(p.lastError(), kErrorInvalidParameter);
    EXPECT_EQ(p.multiByteToWide(kCodePageAnsi, nullptr, -1, nullptr, 0), 0);
    // Embedded NUL with an explicit length goes through.
    char16_t out[3] = {};
    EXPECT_EQ(p.multiByteToWide(kCodePageAnsi, "a\0b", 3, out, 3), 3);
    EXPECT_EQ(out[1], u'\0');
    EXPECT_EQ(out[2], u'b');
}

TEST(PosixCodePages, BrokenInputIsReplacedNotRejected) {
    // Broken UTF-8 and a lone surrogate, as Windows does without flags.
    EXPECT_EQ(toWide(kCodePageUtf8, "a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
    std::u16string lone = u"x";
    lone += static_cast<char16_t>(0xD800);
    lone += u"y";
    EXPECT_EQ(fromWide(kCodePageUtf8, lone), "x\xEF\xBF\xBDy");
    std::u16string pair = u"\U0001F600";
    EXPECT_EQ(fromWide(kCodePageUtf8, pair), "\xF0\x9F\x98\x80");
}

TEST(PosixCodePages, AnsiCodePageFromTheEnvironment) {
    {
        ScopedEnv env("QOVLIB_ANSI_CODEPAGE", "1250");
        EXPECT_EQ(toWide(kCodePageAnsi, "\xA5"), u"\u0104");
    }
    {
        ScopedEnv env("QOVLIB_ANSI_CODEPAGE", "ISO-8859-7");
        EXPECT_EQ(toWide(kCodePageAnsi, "\xE1"), u"\u03B1");
    }
    {
        ScopedEnv env("QOVLIB_ANSI_CODEPAGE", "65001");
        EXPECT_EQ(toWide(kCodePageAnsi, "\xC3\xA9"), u"\u00E9");
    }
    {
        ScopedEnv env("QOVLIB_ANSI_CODEPAGE", "NO-SUCH-CHARSET");
        EXPECT_EQ(nativePlatform().multiByteToWide(kCodePageAnsi, "a", -1, nullptr, 0), 0);
    }
    EXPECT_EQ(toWide(kCodePageAnsi, "\xA5"), u"\u00A5");
}

TEST(PosixLikePattern, WildcardsSetsAndCase) {
    using qov::posix::likeMatch;
    EXPECT_TRUE(likeMatch("QX-200", "qx-200"));
    EXPECT_FALSE(likeMatch("QX-200", "QX-2000"));
    EXPECT_TRUE(likeMatch("QX%", "QX-200 Label"));
    EXPECT_TRUE(likeMatch("%", ""));
    EXPECT_TRUE(likeMatch("%200%", "my-200-b"));
    EXPECT_FALSE(likeMatch("%300%", "my-200-b"));
    EXPECT_TRUE(likeMatch("QX_200", "QX-200"));
    EXPECT_FALSE(likeMatch("QX_200", "QX200"));
    EXPECT_TRUE(likeMatch("q[a-c]1", "QB1"));
    EXPECT_FALSE(likeMatch("q[^a-c]1", "qb1"));
    EXPECT_TRUE(likeMatch("q[^a-c]1", "qd1"));
    EXPECT_TRUE(likeMatch("a[b", "a[b"));  // an unclosed set is a plain '['
    EXPECT_TRUE(likeMatch("%a%a%a%a%b", "aaaaaaaaaaaaaaaaaaaab"));
}

TEST(PosixLikePattern, PatternOfTheQueryText) {
    using qov::posix::likePatternOfQuery;
    std::string pat;
    ASSERT_TRUE(likePatternOfQuery("SELECT * from Win32_Printer WHERE Name LIKE 'Unlike_%'", pat));
    EXPECT_EQ(pat, "Unlike_%");
    ASSERT_TRUE(likePatternOfQuery("SELECT * from Win32_Printer WHERE Name LIKE ''", pat));
    EXPECT_EQ(pat, "");
    // A quote in the name breaks the query, as it does for the real service.
    EXPECT_FALSE(likePatternOfQuery("SELECT * from Win32_Printer WHERE Name LIKE 'O'Brien'", pat));
    EXPECT_FALSE(likePatternOfQuery("SELECT * from Win32_Printer", pat));
}

}  // namespace
