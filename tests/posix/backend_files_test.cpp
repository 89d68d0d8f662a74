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

TEST(PosixOverlapped, APlainReadOrWriteOnAnOverlappedHandleIsRefused) {
    Platform& p = nativePlatform();
    Fifo fifo;
    Handle ovh = p.createFile(fifo.path.c_str(), kAccessRead | kAccessWrite, 0,
                              Disposition::OpenExisting, kFlagOverlapped);
    std::uint32_t n = 5;
    EXPECT_FALSE(p.writeFile(ovh, "ab", 2, &n, nullptr));
    EXPECT_EQ(p.lastError(), kErrorInvalidParameter);
    EXPECT_FALSE(p.readFile(ovh, &n, 1, &n, nullptr));
    EXPECT_EQ(p.lastError(), kErrorInvalidParameter);
    p.closeHandle(ovh);
}

// Nothing in this single-threaded backend can set an event no request is
// bound to: an endless wait on it fails instead of hanging.
TEST(PosixEvents, AnEndlessWaitNothingCanEndFails) {
    Platform& p = nativePlatform();
    Handle automatic = p.createEvent(false, true);
    EXPECT_EQ(p.waitForSingleObject(automatic, kInfinite), WaitResult::Signaled);
    EXPECT_EQ(p.waitForSingleObject(automatic, kInfinite), WaitResult::Failed);
    EXPECT_TRUE(p.closeHandle(automatic));
    EXPECT_FALSE(p.closeHandle(kNullHandle));
    EXPECT_FALSE(p.closeHandle(kInvalidHandle));
}

TEST(PosixFiles, OpenAlwaysTellsAnExistingFileAndFoldersAreNoFiles) {
    Platform& p = nativePlatform();
    TempDir dir;
    std::string path = dir.file("testfile.txt");
    Handle h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::OpenAlways, 0);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(p.lastError(), kErrorSuccess);
    p.closeHandle(h);
    h = p.createFile(path.c_str(), kAccessWrite, 0, Disposition::OpenAlways, 0);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(p.lastError(), 183u);  // already exists
    p.closeHandle(h);
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
