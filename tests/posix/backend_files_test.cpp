// Files, devices, overlapped requests and events of the Linux backend, on
// FIFOs and plain files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "posix_test_support.h"

namespace {

using namespace qov;
using qov::posixtest::nowMs;
using qov::posixtest::readFileText;
using qov::posixtest::ScopedEnv;
using qov::posixtest::TempDir;
using qov::posixtest::writeFileText;

// A FIFO opened by the backend (overlapped or not) with the test's own end.
struct Fifo {
    TempDir dir;
    std::string path = dir.file("fifo");
    int peer = -1;
    Fifo() {
        mkfifo(path.c_str(), 0600);
        peer = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    ~Fifo() { ::close(peer); }
    void put(const std::string& s) { ASSERT_EQ(::write(peer, s.data(), s.size()), (ssize_t)s.size()); }
};

TEST(PosixOverlapped, PendingReadCompletesWhenAWaitFindsData) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, kFlagOverlapped);
    ASSERT_NE(h, kInvalidHandle);
    Handle ev = p.createEvent(false, false);
    ASSERT_NE(ev, kNullHandle);
    Overlapped ov{};
    ov.event = ev;
    char buf[512] = {};
    std::uint32_t n = 99;
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(p.lastError(), kErrorIoIncomplete);

    std::int64_t start = nowMs();
    EXPECT_EQ(p.waitForSingleObject(ev, 150), WaitResult::Timeout);
    EXPECT_GE(nowMs() - start, 140);

    fifo.put("STATUS OK\r\n");
    EXPECT_EQ(p.waitForSingleObject(ev, 1000), WaitResult::Signaled);
    // Auto-reset: the wait took the signal.
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Timeout);
    ASSERT_TRUE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(std::string(buf, n), "STATUS OK\r\n");
    p.closeHandle(ev);
    p.closeHandle(h);
}

TEST(PosixOverlapped, ReadThatCanCompleteAtOnceDoesAndSetsItsEvent) {
    Platform& p = nativePlatform();
    Fifo fifo;
    fifo.put("ABC");
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, kFlagOverlapped);
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    char buf[8] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(p.readFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buf, 3), "ABC");
    // Manual reset: signalled until reset.
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    EXPECT_TRUE(p.resetEvent(ev));
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Timeout);
    std::uint32_t got = 0;
    EXPECT_TRUE(p.getOverlappedResult(h, &ov, &got, false));
    EXPECT_EQ(got, 3u);
    p.closeHandle(ev);
    p.closeHandle(h);
}

TEST(PosixOverlapped, CancelEndsAPendingReadAsAborted) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, kFlagOverlapped);
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    char buf[16] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_TRUE(p.cancelIo(h));
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    std::uint32_t n = 7;
    EXPECT_FALSE(p.getOverlappedResult(h, &ov, &n, true));
    EXPECT_EQ(p.lastError(), kErrorOperationAborted);
    EXPECT_EQ(n, 0u);
    // Data that comes later is not taken by the cancelled request.
    fifo.put("late");
    char peerBuf[8] = {};
    EXPECT_EQ(::read(fifo.peer, peerBuf, sizeof peerBuf), 4);
    p.closeHandle(ev);
    p.closeHandle(h);
}

TEST(PosixOverlapped, ClosingTheFileEndsItsPendingRequest) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, kFlagOverlapped);
    Handle ev = p.createEvent(false, false);
    Overlapped ov{};
    ov.event = ev;
    char buf[16] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_TRUE(p.closeHandle(h));
    fifo.put("after");
    EXPECT_EQ(p.waitForSingleObject(ev, 1000), WaitResult::Signaled);
    std::uint32_t n = 1;
    EXPECT_FALSE(p.getOverlappedResult(h, &ov, &n, true));
    EXPECT_EQ(p.lastError(), kErrorOperationAborted);
    EXPECT_EQ(buf[0], '\0');  // the closed request took nothing
    p.closeHandle(ev);
}

TEST(PosixOverlapped, GetOverlappedResultWithWaitDrivesTheRequest) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, kFlagOverlapped);
    Overlapped ov{};  // no event
    char buf[16] = {};
    EXPECT_FALSE(p.readFile(h, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    fifo.put("xyz");
    std::uint32_t n = 0;
    EXPECT_TRUE(p.getOverlappedResult(h, &ov, &n, true));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buf, 3), "xyz");
    p.closeHandle(h);
}

TEST(PosixOverlapped, WriteToAFullPipeStaysPendingUntilTheReaderDrains) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, kFlagOverlapped);
    const int capacity = fcntl(fifo.peer, F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    std::string big(static_cast<std::size_t>(capacity) + 1000, 'Q');
    Handle ev = p.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    std::uint32_t n = 0;
    EXPECT_FALSE(p.writeFile(h, big.data(), static_cast<std::uint32_t>(big.size()), &n, &ov));
    ASSERT_EQ(p.lastError(), kErrorIoPending);
    EXPECT_EQ(p.waitForSingleObject(ev, 50), WaitResult::Timeout);
    // Drain what the pipe holds; the rest of the write then goes through.
    std::string got(static_cast<std::size_t>(capacity), '\0');
    ASSERT_EQ(::read(fifo.peer, got.data(), got.size()), capacity);
    EXPECT_EQ(p.waitForSingleObject(ev, 1000), WaitResult::Signaled);
    ASSERT_TRUE(p.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(n, big.size());
    p.closeHandle(ev);
    p.closeHandle(h);
}

TEST(PosixOverlapped, RecordRulesOfOverlappedAndPlainHandles) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle ovh = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                              Disposition::OpenExisting, kFlagOverlapped);
    std::uint32_t n = 5;
    // A plain write or read on an overlapped handle is refused.
    EXPECT_FALSE(p.writeFile(ovh, "ab", 2, &n, nullptr));
    EXPECT_EQ(p.lastError(), kErrorInvalidParameter);
    EXPECT_FALSE(p.readFile(ovh, &n, 1, &n, nullptr));
    EXPECT_EQ(p.lastError(), kErrorInvalidParameter);
    p.closeHandle(ovh);

    // A record on a plain handle completes within the call and sets the event.
    Handle h = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                            Disposition::OpenExisting, 0);
    Handle ev = p.createEvent(false, false);
    Overlapped ov{};
    ov.event = ev;
    EXPECT_TRUE(p.writeFile(h, "hello", 5, &n, &ov));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(p.waitForSingleObject(ev, 0), WaitResult::Signaled);
    std::uint32_t t = 0;
    EXPECT_TRUE(p.getOverlappedResult(h, &ov, &t, false));
    EXPECT_EQ(t, 5u);
    char buf[8] = {};
    EXPECT_EQ(::read(fifo.peer, buf, sizeof buf), 5);
    p.closeHandle(ev);
    p.closeHandle(h);
}

TEST(PosixEvents, WaitsOnEventsWithoutRequests) {
    Platform& p = nativePlatform();
    Handle manual = p.createEvent(true, true);
    Handle automatic = p.createEvent(false, true);
    EXPECT_EQ(p.waitForSingleObject(manual, 0), WaitResult::Signaled);
    EXPECT_EQ(p.waitForSingleObject(manual, 0), WaitResult::Signaled);
    EXPECT_EQ(p.waitForSingleObject(automatic, 0), WaitResult::Signaled);
    std::int64_t start = nowMs();
    EXPECT_EQ(p.waitForSingleObject(automatic, 120), WaitResult::Timeout);
    EXPECT_GE(nowMs() - start, 115);
    // Nothing can ever set it: an endless wait fails instead of hanging.
    EXPECT_EQ(p.waitForSingleObject(automatic, kInfinite), WaitResult::Failed);
    EXPECT_TRUE(p.closeHandle(manual));
    EXPECT_TRUE(p.closeHandle(automatic));
    EXPECT_EQ(p.waitForSingleObject(manual, 0), WaitResult::Failed);
    EXPECT_EQ(p.lastError(), kErrorInvalidHandle);
    EXPECT_FALSE(p.closeHandle(manual));
    EXPECT_FALSE(p.closeHandle(kNullHandle));
    EXPECT_FALSE(p.closeHandle(kInvalidHandle));
}

TEST(PosixFiles, DispositionsOfPlainFiles) {
    Platform& p = nativePlatform();
    TempDir dir;
    std::string path = dir.file("testfile.txt");
    EXPECT_EQ(p.createFile(path.c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);

    Handle h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::OpenAlways, 0);
    ASSERT_NE(h, kInvalidHandle);
    std::uint32_t n = 0;
    EXPECT_TRUE(p.writeFile(h, "LONGER TEXT", 11, &n, nullptr));
    p.closeHandle(h);
    // Open-always writes over the start without shortening.
    h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::OpenAlways, 0);
    EXPECT_EQ(p.lastError(), 183u);  // already exists
    EXPECT_TRUE(p.writeFile(h, "short", 5, &n, nullptr));
    p.closeHandle(h);
    EXPECT_EQ(readFileText(path), "shortR TEXT");
    // Create-always starts it anew.
    h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::CreateAlways, 0);
    EXPECT_TRUE(p.writeFile(h, "new", 3, &n, nullptr));
    p.closeHandle(h);
    EXPECT_EQ(readFileText(path), "new");

    // Reading: size, then the whole file in one read; a write is refused.
    writeFileText(path, std::string("PCX\0data", 8));
    h = p.createFile(path.c_str(), kAccessRead, kShareRead, Disposition::OpenExisting, 0);
    std::uint64_t size = 0;
    ASSERT_TRUE(p.fileSize(h, &size));
    EXPECT_EQ(size, 8u);
    char buf[16] = {};
    EXPECT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), std::string("PCX\0data", 8));
    EXPECT_TRUE(p.readFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);  // end of file
    EXPECT_FALSE(p.writeFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(p.lastError(), kErrorAccessDenied);
    p.closeHandle(h);
    EXPECT_FALSE(p.fileSize(h, &size));

    EXPECT_EQ(p.createFile(dir.path().c_str(), kAccessRead, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
}

TEST(PosixFiles, LptPortsMapToTheirFilesAndAreNeverCreated) {
    Platform& p = nativePlatform();
    TempDir dir;
    std::string lpt = dir.file("lpt1.out");
    ScopedEnv env("QOVLIB_LPT1", lpt);
    ScopedEnv env3("QOVLIB_LPT3", dir.file("absent"));
    // A missing port is not made up as a file, although the library opens
    // ports with create-always.
    EXPECT_EQ(p.createFile("LPT1", kAccessWrite, kShareWrite, Disposition::CreateAlways,
                           kFlagNormalAttributes),
              kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);
    struct stat st {};
    EXPECT_NE(stat(lpt.c_str(), &st), 0);

    writeFileText(lpt, "");
    for (const char* chunk : {"~NORMAL\r\n", "~STATUS\r\n"}) {
        Handle h = p.createFile("lpt1", kAccessWrite, kShareWrite, Disposition::CreateAlways,
                                kFlagNormalAttributes);
        ASSERT_NE(h, kInvalidHandle);
        std::uint32_t n = 0;
        EXPECT_TRUE(p.writeFile(h, chunk, static_cast<std::uint32_t>(std::strlen(chunk)), &n, nullptr));
        p.closeHandle(h);
    }
    // The port is a stream: the second open continues it.
    EXPECT_EQ(readFileText(lpt), "~NORMAL\r\n~STATUS\r\n");
    EXPECT_EQ(p.createFile("LPT3", kAccessWrite, 0, Disposition::CreateAlways, 0), kInvalidHandle);
    // Port numbers the library does not know are no files either.
    EXPECT_EQ(p.createFile("LPT5", kAccessWrite, 0, Disposition::CreateAlways, 0), kInvalidHandle);
    EXPECT_EQ(p.createFile("COM10", kAccessWrite, 0, Disposition::CreateAlways, 0), kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorFileNotFound);
    EXPECT_NE(stat("COM10", &st), 0);
    EXPECT_NE(stat("LPT5", &st), 0);
}

}  // namespace
