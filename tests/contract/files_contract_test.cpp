// Files, devices and overlapped requests: what createFile, readFile,
// writeFile, getOverlappedResult, cancelIo, fileSize and closeHandle must
// do for the library's ports and image downloads.
#include <string>

#include "contract_backends.h"

namespace qov::contract {
namespace {

template <class Rig>
class FilesContract : public ::testing::Test {
protected:
    Rig rig;
    Platform& p = rig.os();

    Handle openPipe(std::uint32_t flags) {
        return p.createFile(rig.addPipe().c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, flags);
    }
};
TYPED_TEST_SUITE(FilesContract, ContractRigs);

TYPED_TEST(FilesContract, OpeningAMissingFileFailsWithFileNotFound) {
    Platform& p = this->p;
    std::string path = this->rig.newFilePath("absent.pcx");
    EXPECT_EQ(p.createFile(path.c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);
}

TYPED_TEST(FilesContract, CreateAlwaysStartsAnewOpenAlwaysWritesOverTheStart) {
    Platform& p = this->p;
    std::string path = this->rig.newFilePath("out.txt");
    std::uint32_t n = 0;
    Handle h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::OpenAlways, 0);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_TRUE(p.writeFile(h, "LONGER TEXT", 11, &n, nullptr));
    EXPECT_EQ(n, 11u);
    EXPECT_TRUE(p.closeHandle(h));
    h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::OpenAlways, 0);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_TRUE(p.writeFile(h, "short", 5, &n, nullptr));
    EXPECT_TRUE(p.closeHandle(h));
    EXPECT_EQ(this->rig.fileBytes(path), "shortR TEXT");
    h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::CreateAlways, 0);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_TRUE(p.writeFile(h, "new", 3, &n, nullptr));
    EXPECT_TRUE(p.closeHandle(h));
    EXPECT_EQ(this->rig.fileBytes(path), "new");
}

TYPED_TEST(FilesContract, AFileReadsWholeWithItsSizeThenZeroBytesAtItsEnd) {
    Platform& p = this->p;
    const std::string content("PCX\0data\xff", 9);
    std::string path = this->rig.newFilePath("logo.pcx");
    this->rig.putFile(path, content);
    Handle h = p.createFile(path.c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0);
    ASSERT_NE(h, kInvalidHandle);
    std::uint64_t size = 0;
    ASSERT_TRUE(p.fileSize(h, &size));
    EXPECT_EQ(size, content.size());
    char buf[32] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), content);
    n = 7;
    EXPECT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);
    // Opened for reading only: a write is refused.
    EXPECT_FALSE(p.writeFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(p.lastError(), kErrorAccessDenied);
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(FilesContract, AClosedHandleIsInvalid) {
    Platform& p = this->p;
    std::string path = this->rig.newFilePath("once.txt");
    this->rig.putFile(path, "abc");
    Handle h = p.createFile(path.c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_TRUE(p.closeHandle(h));
    std::uint64_t size = 0;
    EXPECT_FALSE(p.fileSize(h, &size));
    EXPECT_FALSE(p.closeHandle(h));
    EXPECT_EQ(p.lastError(), kErrorInvalidHandle);
}

TYPED_TEST(FilesContract, PendingReadIsIncompleteUntilDataComesThenSetsItsEvent) {
    Platform& p = this->p;
    Handle h = this->openPipe(kFlagOverlapped);
    ASSERT_NE(h, kInvalidHandle);
    Handle ev = p.createEvent(false, false);
    ASSERT_NE(ev, kNullHandle);
    Overlapped ov{};
    ov.event = ev;
    char buf[64] = {};
    std::uint32_t n = 99;
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(p.lastError(), kErrorIoIncomplete);
    std::int64_t start = this->rig.nowMs();
    EXPECT_EQ(p.waitForSingleObject(ev, 100), WaitResult::Timeout);
    EXPECT_GE(this->rig.nowMs() - start, 95);

    this->rig.pipePut("STATUS OK\r\n");
    EXPECT_EQ(p.waitForSingleObject(ev, 2000), WaitResult::Signaled);
    // Auto-reset: the wait took the signal.
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Timeout);
    ASSERT_TRUE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(std::string(buf, n), "STATUS OK\r\n");
    EXPECT_TRUE(p.closeHandle(ev));
    EXPECT_TRUE(p.closeHandle(h));
}

// Also without an event: the wait is on the request itself.
TYPED_TEST(FilesContract, GetOverlappedResultWithWaitCollectsTheRequest) {
    Platform& p = this->p;
    Handle h = this->openPipe(kFlagOverlapped);
    ASSERT_NE(h, kInvalidHandle);
    Overlapped ov{};
    char buf[16] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    this->rig.pipePut("xyz");
    std::uint32_t n = 0;
    ASSERT_TRUE(p.getOverlappedResult(h, &ov, &n, true));
    EXPECT_EQ(std::string(buf, n), "xyz");
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(FilesContract, CancelledReadReportsAbortedAndLeavesTheDataForTheNext) {
    Platform& p = this->p;
    Handle h = this->openPipe(kFlagOverlapped);
    ASSERT_NE(h, kInvalidHandle);
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    char buf[16] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_TRUE(p.cancelIo(h));
    EXPECT_EQ(p.waitForSingleObject(ev, 1000), WaitResult::Signaled);
    std::uint32_t n = 7;
    EXPECT_FALSE(p.getOverlappedResult(h, &ov, &n, true));
    EXPECT_EQ(p.lastError(), kErrorOperationAborted);
    EXPECT_EQ(n, 0u);

    // Bytes that come later go to the next read, not to the cancelled one.
    this->rig.pipePut("late");
    Overlapped next{};
    next.event = ev;
    char again[16] = {};
    if (!p.readFile(h, again, sizeof again, nullptr, &next)) {
        ASSERT_EQ(p.lastError(), kErrorIoPending);
    }
    ASSERT_TRUE(p.getOverlappedResult(h, &next, &n, true));
    EXPECT_EQ(std::string(again, n), "late");
    EXPECT_EQ(buf[0], '\0');
    EXPECT_TRUE(p.closeHandle(ev));
    EXPECT_TRUE(p.closeHandle(h));
}

// Closing ends a pending request: its event is set and it fails with what
// the device reports (aborted; a pipe whose end closed: broken pipe). The
// library cancels before it closes, so only the ending is relied on.
TYPED_TEST(FilesContract, ClosingTheHandleEndsItsPendingRead) {
    Platform& p = this->p;
    Handle h = this->openPipe(kFlagOverlapped);
    ASSERT_NE(h, kInvalidHandle);
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    char buf[16] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_TRUE(p.closeHandle(h));
    this->rig.pipePut("after");
    EXPECT_EQ(p.waitForSingleObject(ev, 1000), WaitResult::Signaled);
    std::uint32_t n = 1;
    EXPECT_FALSE(p.getOverlappedResult(h, &ov, &n, true));
    EXPECT_NE(p.lastError(), kErrorIoIncomplete);
    EXPECT_NE(p.lastError(), kErrorSuccess);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_TRUE(p.closeHandle(ev));
}

TYPED_TEST(FilesContract, OverlappedWriteReachesTheDeviceAndReportsItsCount) {
    Platform& p = this->p;
    Handle h = this->openPipe(kFlagOverlapped);
    ASSERT_NE(h, kInvalidHandle);
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    const std::string bytes("~NORMAL\r\n\0\x1b", 11);
    std::uint32_t n = 0;
    if (!p.writeFile(h, bytes.data(), 11, &n, &ov)) {
        ASSERT_EQ(p.lastError(), kErrorIoPending);
    }
    EXPECT_EQ(p.waitForSingleObject(ev, 2000), WaitResult::Signaled);
    ASSERT_TRUE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(this->rig.pipeTake(11), bytes);
    EXPECT_TRUE(p.closeHandle(ev));
    EXPECT_TRUE(p.closeHandle(h));
}

TYPED_TEST(FilesContract, ARecordOnAPlainHandleCompletesWithinTheCallAndSetsItsEvent) {
    Platform& p = this->p;
    Handle h = this->openPipe(0);
    ASSERT_NE(h, kInvalidHandle);
    Handle ev = p.createEvent(false, false);
    Overlapped ov{};
    ov.event = ev;
    std::uint32_t n = 0;
    EXPECT_TRUE(p.writeFile(h, "hello", 5, &n, &ov));
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    std::uint32_t t = 0;
    EXPECT_TRUE(p.getOverlappedResult(h, &ov, &t, false));
    EXPECT_EQ(t, 5u);
    EXPECT_EQ(this->rig.pipeTake(5), "hello");
    EXPECT_TRUE(p.closeHandle(ev));
    EXPECT_TRUE(p.closeHandle(h));
}

}  // namespace
}  // namespace qov::contract
