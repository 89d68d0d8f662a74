// Encoded sends: ANSI code page text and wide text on the wire as UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "sending/text_encoding.h"
#include "sending_test_support.h"

namespace {

using namespace sending_test;
using qov::sending::wideToUtf16;
using qov::sim::SimScope;

TEST(SendingEncoded, AnsiE9GoesOutAsUtf8FollowedByLineEnd) {
    SimScope sim;
    sim->ansiCodePage = 1252;
    open(sim.os(), Link::Spooler);
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommandutf8("caf\xE9"); }), 1);
    EXPECT_EQ(w, "WritePrinter[caf\\xC3\\xA9] WritePrinter[\\r\\n]");
    // The euro sign of code page 1252 takes three bytes.
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommandutf8("\x80"); }), 1);
    EXPECT_EQ(w, "WritePrinter[\\xE2\\x82\\xAC] WritePrinter[\\r\\n]");
}

TEST(SendingEncoded, PlainAsciiIsUnchanged) {
    SimScope sim;
    sim->ansiCodePage = 1252;
    open(sim.os(), Link::Network);
    const std::string ascii = "~NORMAL\r\n~PAPER;LENGTH 100\r\nEND";
    EXPECT_EQ(sendcommandutf8(ascii.c_str()), 1);
    EXPECT_EQ(sim->bytesTo(peerTarget()), ascii + "\r\n");
}

TEST(SendingEncoded, EmptyTextSendsOnlyTheLineEnd) {
    SimScope sim;
    open(sim.os(), Link::Com);
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [] { return sendcommandutf8(""); }), 1);
    EXPECT_EQ(w, "WriteFileOv[\\r\\n]");
}

TEST(SendingEncoded, SlotSendConvertsToo) {
    SimScope sim;
    sim->addPrinter("ZP-4", "USB004");
    char zp4[] = "ZP-4";
    ASSERT_EQ(openportmult(4, zp4), 1);
    char text[] = "\xE9";
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandutf8_mult(4, text); }), 1);
    EXPECT_EQ(w, "WritePrinter[\\xC3\\xA9] WritePrinter[\\r\\n]");
    EXPECT_EQ(sim->bytesTo("ZP-4"), "\xC3\xA9\r\n");
}

TEST(SendingEncoded, UnicodeTextGoesOutAsUtf8) {
    SimScope sim;
    open(sim.os(), Link::Usb);
    // e acute, euro sign, and a character outside the basic plane.
    std::wstring text = L"A\u00E9\u20AC";
    if constexpr (sizeof(wchar_t) == 4) {
        text += static_cast<wchar_t>(0x1F600);
    } else {
        text += static_cast<wchar_t>(0xD83D);
        text += static_cast<wchar_t>(0xDE00);
    }
    wchar_t* p = text.data();
    std::string w;
    EXPECT_EQ(run(sim.os(), w, [&] { return sendcommandUnicode(p); }), 1);
    EXPECT_EQ(w, "WriteFile[A\\xC3\\xA9\\xE2\\x82\\xAC\\xF0\\x9F\\x98\\x80] WriteFile[\\r\\n]");
}

TEST(SendingEncoded, UnicodeOnAClosedConnectionSendsNothing) {
    SimScope sim;
    open(sim.os(), Link::Spooler);
    ASSERT_EQ(closeport(), 1);
    wchar_t text[] = L"X";
    EXPECT_EQ(sendcommandUnicode(text), 0);
    EXPECT_TRUE(sim->writes.empty());
}

TEST(SendingWideText, CodePointsBecomeUtf16Units) {
    const wchar_t plain[] = L"Az";
    EXPECT_EQ(wideToUtf16(plain), u"Az");
    EXPECT_EQ(wideToUtf16(L""), u"");
    if constexpr (sizeof(wchar_t) == 4) {
        const wchar_t astral[] = {static_cast<wchar_t>(0x1F600), static_cast<wchar_t>(0x10FFFF),
                                  static_cast<wchar_t>(0xFFFF), 0};
        EXPECT_EQ(wideToUtf16(astral), (std::u16string{0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0xFFFF}));
        // Surrogate values and values past the last code point are no
        // characters: each becomes one replacement character.
        const wchar_t broken[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF),
                                  static_cast<wchar_t>(0x110000), L'x', 0};
        EXPECT_EQ(wideToUtf16(broken), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD, u'x'}));
    } else {
        // 16-bit wide text is taken unit by unit, surrogates included.
        const wchar_t pair[] = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), 0};
        EXPECT_EQ(wideToUtf16(pair), (std::u16string{0xD83D, 0xDE00}));
    }
}

}  // namespace
