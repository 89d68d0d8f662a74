// Code pages: UTF-8 and the ANSI page (Windows-1252) to UTF-16 and back,
// with the size rules the library's buffers count on.
#include <string>

#include "contract_backends.h"

namespace qov::contract {
namespace {

constexpr std::uint32_t kInsufficientBuffer = 122;

template <class Rig>
class CodePagesContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();

    // Converts with a size query first, as the library does; without the
    // terminator.
    std::u16string wide(std::uint32_t cp, const std::string& s) {
        int n = p.multiByteToWide(cp, s.c_str(), -1, nullptr, 0);
        EXPECT_GT(n, 0);
        if (n <= 0) return {};
        std::u16string out(static_cast<std::size_t>(n), u'\0');
        EXPECT_EQ(p.multiByteToWide(cp, s.c_str(), -1, out.data(), n), n);
        out.resize(static_cast<std::size_t>(n - 1));
        return out;
    }
    std::string narrow(std::uint32_t cp, const std::u16string& w) {
        int n = p.wideToMultiByte(cp, w.c_str(), -1, nullptr, 0);
        EXPECT_GT(n, 0);
        if (n <= 0) return {};
        std::string out(static_cast<std::size_t>(n), '\0');
        EXPECT_EQ(p.wideToMultiByte(cp, w.c_str(), -1, out.data(), n), n);
        out.resize(static_cast<std::size_t>(n - 1));
        return out;
    }
};
TYPED_TEST_SUITE(CodePagesContract, ContractRigs);

TYPED_TEST(CodePagesContract, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
    const std::string utf8 = "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80";
    const std::u16string utf16 = u"caf\u00E9 \u4E2D \U0001F600";
    EXPECT_EQ(this->wide(kCodePageUtf8, utf8), utf16);
    EXPECT_EQ(this->narrow(kCodePageUtf8, utf16), utf8);
}

TYPED_TEST(CodePagesContract, AnsiIsWindows1252) {
    EXPECT_EQ(this->wide(kCodePageAnsi, "caf\xE9 \x80"), u"caf\u00E9 \u20AC");
    EXPECT_EQ(this->narrow(kCodePageAnsi, u"\u00E9\u20AC"), "\xE9\x80");
    // A character the page lacks becomes '?'.
    EXPECT_EQ(this->narrow(kCodePageAnsi, u"\u00E9\u4E2D"), "\xE9?");
}

TYPED_TEST(CodePagesContract, SizesCountTheTerminatorOnlyWhenTheLengthIsMinusOne) {
    Platform& p = this->p;
    EXPECT_EQ(p.multiByteToWide(kCodePageUtf8, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(p.multiByteToWide(kCodePageUtf8, "abc", 3, nullptr, 0), 3);
    EXPECT_EQ(p.multiByteToWide(kCodePageUtf8, "\xF0\x9F\x98\x80", 4, nullptr, 0), 2);
    EXPECT_EQ(p.wideToMultiByte(kCodePageUtf8, u"\u00E9", -1, nullptr, 0), 3);
    EXPECT_EQ(p.wideToMultiByte(kCodePageUtf8, u"\u00E9", 1, nullptr, 0), 2);
    char16_t w[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(p.multiByteToWide(kCodePageUtf8, "ab", 2, w, 4), 2);
    EXPECT_EQ(w[0], u'a');
    EXPECT_EQ(w[2], u'x');  // no terminator written when none was counted
}

TYPED_TEST(CodePagesContract, ATooSmallBufferFailsWithInsufficientBuffer) {
    Platform& p = this->p;
    char16_t w[2];
    EXPECT_EQ(p.multiByteToWide(kCodePageUtf8, "abc", -1, w, 2), 0);
    EXPECT_EQ(p.lastError(), kInsufficientBuffer);
    char out[2];
    EXPECT_EQ(p.wideToMultiByte(kCodePageUtf8, u"\u00E9", -1, out, 2), 0);
    EXPECT_EQ(p.lastError(), kInsufficientBuffer);
}

TYPED_TEST(CodePagesContract, BrokenUtf8IsReplacedNotRejected) {
    EXPECT_EQ(this->wide(kCodePageUtf8, "a\xFF" "b"), u"a\uFFFD" u"b");
}

}  // namespace
}  // namespace qov::contract
