// savetotext: a developer's look at a wide text, in a message box and in
// the file "testfile.txt" of the current directory.
#include "qovlib.h"

#include <string>

#include "export_guard.h"
#include "platform/platform.h"
#include "sending/text_encoding.h"

namespace qov {
namespace {

// The text's UTF-16 code units as little-endian bytes, two per unit.
std::string utf16LeBytes(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

void showAndSave(const wchar_t* text) {
    // A null text is shown and saved as the empty text.
    const std::u16string units = text ? sending::wideToUtf16(text) : std::u16string();
    os().messageBoxWide(units.c_str(), u"Error Message", Icon::Warning);

    // Open-always: an existing file is written over from its start and keeps
    // whatever lies beyond the new text.
    const Handle file = os().createFile("testfile.txt", kAccessWrite, 0, Disposition::OpenAlways,
                                        kFlagNormalAttributes);
    if (file == kInvalidHandle) return;
    const std::string bytes = utf16LeBytes(units);
    std::uint32_t written = 0;
    os().writeFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written, nullptr);
    os().closeHandle(file);
}

}  // namespace
}  // namespace qov

// Failures to open or write the file are not reported: the result is 0.
int savetotext(wchar_t* text) {
    return qov::noThrow(0, [&] {
        qov::showAndSave(text);
        return 0;
    });
}
