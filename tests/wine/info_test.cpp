// Library information: the version texts, and the wide-text path of the
// diagnostic writer (MessageBoxW and a file of UTF-16 code units).
#include "harness.h"

WT_CASE(version_texts) {
    WT_CHECK_EQ(QOV_DECORATED(dllversion, "?dllversion@@YAPEADXZ")(), "2.03");
    WT_CHECK_EQ(QOV_PLAIN(QOVA_GetDllVersion)(), "Halvendorm DLL version 1.00b1");
}

WT_CASE(savetotext_shows_a_wide_box_and_writes_utf16) {
    WT_REQUIRE(wt::recordMessageBoxes());
    auto& boxes = wt::shownBoxes();
    boxes.clear();
    DeleteFileA("testfile.txt");
    wchar_t text[] = L"caf\u00e9 \u20ac";
    WT_CHECK_EQ(QOV_DECORATED(savetotext, "?savetotext@@YAHPEA_W@Z")(text), 0);
    WT_REQUIRE(boxes.size() == 1);
    WT_CHECK(boxes[0].wide);
    WT_CHECK_EQ(boxes[0].text, "caf\xC3\xA9 \xE2\x82\xAC");
    WT_CHECK_EQ(boxes[0].caption, "Error Message");
    WT_CHECK_EQ(static_cast<int>(boxes[0].style), MB_OK | MB_ICONWARNING);
    WT_CHECK(!boxes[0].owned);

    // The file holds the text's UTF-16 code units from its start, without
    // byte-order mark or terminator (how many of them is the writer's
    // business: at least the first half).
    std::string written;
    WT_REQUIRE(wt::readWholeFile("testfile.txt", written));
    const std::string units(reinterpret_cast<const char*>(text), sizeof text - sizeof(wchar_t));
    WT_CHECK(written.size() >= units.size() / 2 && written.size() <= units.size());
    WT_CHECK_EQ(written, units.substr(0, written.size()));
    DeleteFileA("testfile.txt");
}
