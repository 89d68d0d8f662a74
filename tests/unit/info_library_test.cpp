// Version texts and the diagnostic text writer.
#include <gtest/gtest.h>

#include <string>

#include "sim.h"
#include "qovlib.h"

namespace {

using qov::Icon;
using qov::sim::DeviceKind;

TEST(InfoVersion, AboutShowsTheVersionThatDllversionReturns) {
    qov::sim::SimScope sim;
    EXPECT_EQ(about(), 1);
    ASSERT_EQ(sim->boxes.size(), 1u);
    const auto& box = sim->boxes[0];
    EXPECT_EQ(box.text, "QOV Windows DLL Version V2.03");
    EXPECT_EQ(box.caption, "DLL Version");
    EXPECT_EQ(box.icon, Icon::Information);
    EXPECT_FALSE(box.wide);

    EXPECT_STREQ(dllversion(), "2.03");
    EXPECT_NE(box.text.find(std::string("V") + dllversion()), std::string::npos);
    EXPECT_STREQ(QOVA_GetDllVersion(), "Halvendorm DLL version 1.00b1");
    // Neither query shows anything.
    EXPECT_EQ(sim->boxes.size(), 1u);
}

// The bytes "testfile.txt" holds after the calls of a test.
std::string savedBytes(qov::sim::SimPlatform& sim) {
    qov::sim::Device* file = sim.device("testfile.txt");
    return file ? file->content : std::string("<no file>");
}

TEST(InfoSaveToText, ShowsTheTextAndWritesItsUtf16Bytes) {
    qov::sim::SimScope sim;
    wchar_t text[] = L"Hi\u00E9";
    EXPECT_EQ(savetotext(text), 0);

    ASSERT_EQ(sim->boxes.size(), 1u);
    EXPECT_EQ(sim->boxes[0].text, "Hi\xC3\xA9");
    EXPECT_EQ(sim->boxes[0].caption, "Error Message");
    EXPECT_EQ(sim->boxes[0].icon, Icon::Warning);
    EXPECT_TRUE(sim->boxes[0].wide);

    // Every code unit, two bytes each, low byte first; no mark, no terminator.
    EXPECT_EQ(savedBytes(sim.os()), std::string("H\0i\0\xE9\0", 6));
    const qov::sim::Device* file = sim->device("testfile.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->lastDisposition, qov::Disposition::OpenAlways);
    EXPECT_EQ(file->lastShare, 0u);
    EXPECT_NE(file->lastAccess & qov::kAccessWrite, 0u);
    EXPECT_EQ(file->openHandles, 0);
    ASSERT_EQ(sim->writesTo("testfile.txt").size(), 1u);
}

TEST(InfoSaveToText, CharactersBeyondTheBasicPlaneBecomeSurrogatePairs) {
    qov::sim::SimScope sim;
    wchar_t text[] = L"\U0001F600A";
    savetotext(text);
    EXPECT_EQ(savedBytes(sim.os()), std::string("\x3D\xD8\x00\xDE" "A\0", 6));
    EXPECT_EQ(sim->boxes.at(0).text, "\xF0\x9F\x98\x80" "A");
}

TEST(InfoSaveToText, AShorterTextOverALongerOneKeepsItsTail) {
    qov::sim::SimScope sim;
    wchar_t longer[] = L"ABCDEF";
    wchar_t shorter[] = L"xy";
    savetotext(longer);
    savetotext(shorter);
    EXPECT_EQ(savedBytes(sim.os()), std::string("x\0y\0C\0D\0E\0F\0", 12));
}

TEST(InfoSaveToText, AnEmptyTextLeavesAnExistingFileUnchanged) {
    qov::sim::SimScope sim;
    sim->addFile("testfile.txt", "earlier");
    wchar_t empty[] = L"";
    EXPECT_EQ(savetotext(empty), 0);
    EXPECT_EQ(savedBytes(sim.os()), "earlier");
    ASSERT_EQ(sim->boxes.size(), 1u);
    EXPECT_EQ(sim->boxes[0].text, "");
    EXPECT_EQ(savetotext(nullptr), 0);
    EXPECT_EQ(savedBytes(sim.os()), "earlier");
    EXPECT_EQ(sim->boxes.size(), 2u);
}

TEST(InfoSaveToText, AFileThatCannotBeOpenedIsNotReported) {
    qov::sim::SimScope sim;
    sim->addFile("testfile.txt", "old").openFails = true;
    wchar_t text[] = L"note";
    EXPECT_EQ(savetotext(text), 0);
    EXPECT_EQ(sim->boxes.size(), 1u);  // only the text itself
    EXPECT_EQ(savedBytes(sim.os()), "old");
    EXPECT_TRUE(sim->writes.empty());
}

}  // namespace
