// The simulated OS itself: the parts every other suite relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim.h"

using namespace qov;
using namespace qov::sim;

namespace {

std::string readSync(SimPlatform& os, Handle h, std::uint32_t size = 512) {
    char buf[1024];
    std::uint32_t n = 12345;
    EXPECT_TRUE(os.readFile(h, buf, size, &n, nullptr));
    return std::string(buf, n);
}

Handle openUsb(SimPlatform& os, const std::string& path, std::uint32_t flags = 0) {
    Handle h = os.createFile(path.c_str(), kAccessRead | kAccessWrite, kShareRead | kShareWrite,
                             Disposition::OpenExisting, flags);
    EXPECT_NE(h, kInvalidHandle);
    return h;
}

int recvText(SimPlatform& os, Socket s, std::string& out, int size = 512) {
    char buf[1024];
    int n = os.recv(s, buf, size);
    out = n > 0 ? std::string(buf, std::size_t(n)) : std::string();
    return n;
}

}  // namespace

// ---- reply scripts ----------------------------------------------------------

TEST(SimScript, ReplyComesAfterTheExpectedWriteWithItsDelay) {
    SimScope scope;
    SimPlatform& os = scope.os();
    Device& d = os.addDevice("USB1", DeviceKind::Usb);
    d.io.script = {expect("~STATUS"), reply("OK\r\n", 200), reply("END\r\n", 100)};
    Handle h = openUsb(os, "USB1");

    os.advance(1000);
    std::uint32_t w = 0;
    ASSERT_TRUE(os.writeFile(h, "~NORMAL\r\n~ST", 12, &w, nullptr));
    EXPECT_EQ(w, 12u);
    EXPECT_TRUE(d.io.readable.empty());  // not matched yet
    os.advance(50);
    ASSERT_TRUE(os.writeFile(h, "ATUS", 4, &w, nullptr));  // matched across two writes at 1050

    EXPECT_EQ(readSync(os, h), "OK\r\n");  // a USB read waits for the chunk
    EXPECT_EQ(os.nowMs(), 1250u);
    EXPECT_EQ(readSync(os, h), "END\r\n");
    EXPECT_EQ(os.nowMs(), 1350u);
    EXPECT_TRUE(os.allScriptsDone());
    EXPECT_EQ(os.bytesTo("USB1"), "~NORMAL\r\n~STATUS");
    ASSERT_EQ(os.writesTo("USB1").size(), 2u);
    EXPECT_EQ(os.writesTo("USB1")[1].atMs, 1050u);
    EXPECT_EQ(os.writesTo("USB1")[1].kind, WriteKind::WriteFile);
}

TEST(SimScript, OneReadTakesAtMostOneChunkOrItsFirstPart) {
    SimScope scope;
    SimPlatform& os = scope.os();
    Device& d = os.addDevice("USB1", DeviceKind::Usb);
    d.io.script = {reply("ABCDEF"), reply("GH")};  // no Expect: waiting from time 0
    Handle h = openUsb(os, "USB1");
    EXPECT_EQ(readSync(os, h, 4), "ABCD");
    EXPECT_EQ(readSync(os, h, 512), "EF");
    EXPECT_EQ(readSync(os, h, 512), "GH");
    EXPECT_EQ(os.nowMs(), 0u);
    EXPECT_TRUE(os.allScriptsDone());
    // Nothing scripted any more: a USB read gives 0 bytes after the 5,000 ms USB wait.
    EXPECT_EQ(readSync(os, h), "");
    EXPECT_EQ(os.nowMs(), 5000u);
}

TEST(SimScript, CloseAndFailEndTheStream) {
    SimScope scope;
    SimPlatform& os = scope.os();
    NetworkPeer& p = os.addPeer("127.0.0.1", 9100);
    p.script = {expect("A"), reply("x", 10), closeAfter(5)};
    os.addPeer("127.0.0.1", 9101).script = {expect("B"), failAfter(30)};

    Socket s = os.createTcpSocket();
    ASSERT_EQ(os.connect(s, os.inetAddr("127.0.0.1"), 9100), 0);
    ASSERT_EQ(os.send(s, "A", 1), 1);
    std::string got;
    EXPECT_EQ(recvText(os, s, got), 1);  // blocking, no time-out: waits for it
    EXPECT_EQ(got, "x");
    EXPECT_EQ(os.nowMs(), 10u);
    EXPECT_EQ(recvText(os, s, got), 0);  // closed at 15
    EXPECT_EQ(os.nowMs(), 15u);
    EXPECT_EQ(os.closeSocket(s), 0);

    Socket t = os.createTcpSocket();
    ASSERT_EQ(os.connect(t, os.inetAddr("127.0.0.1"), 9101), 0);
    ASSERT_EQ(os.send(t, "B", 1), 1);
    EXPECT_EQ(recvText(os, t, got), -1);
    EXPECT_EQ(os.socketLastError(), kWsaConnReset);
    EXPECT_EQ(os.nowMs(), 45u);
    EXPECT_EQ(os.closeSocket(t), 0);
    EXPECT_EQ(os.closeSocket(t), -1);  // already closed
    EXPECT_TRUE(os.allScriptsDone());
    EXPECT_EQ(os.connectionTo("127.0.0.1", 9101).received, "B");
    EXPECT_EQ(os.countCalls("closesocket tcp:127.0.0.1:"), 2);
    EXPECT_EQ(os.countCalls("closesocket invalid"), 1);
}

// ---- overlapped I/O -------------------------------------------------------------

TEST(SimOverlapped, PendingReadCompletesWhenWaitedOnAndCancelKeepsTheData) {
    SimScope scope;
    SimPlatform& os = scope.os();
    Device& d = os.addDevice("USB1", DeviceKind::Usb);
    d.io.script = {expect("Q"), reply("late", 700)};
    Handle h = openUsb(os, "USB1", kFlagOverlapped);
    Handle ev = os.createEvent(true, false);
    ASSERT_NE(ev, kNullHandle);

    std::uint32_t n = 0;
    Overlapped ov{};
    ov.event = ev;
    ASSERT_TRUE(os.writeFile(h, "Q", 1, &n, &ov));  // completes at once
    EXPECT_EQ(os.writesTo("USB1")[0].kind, WriteKind::WriteFileOverlapped);

    // A read with nothing readable stays pending; a short wait times out.
    char buf[512];
    ov = Overlapped{};
    ov.event = ev;
    EXPECT_FALSE(os.readFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(os.lastError(), kErrorIoPending);
    EXPECT_FALSE(os.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(os.lastError(), kErrorIoIncomplete);
    EXPECT_EQ(os.waitForSingleObject(ev, 300), WaitResult::Timeout);
    EXPECT_EQ(os.nowMs(), 300u);
    ASSERT_TRUE(os.cancelIo(h));
    EXPECT_FALSE(os.getOverlappedResult(h, &ov, &n, true));
    EXPECT_EQ(os.lastError(), kErrorOperationAborted);

    // A new read is pending again; the wait ends when the chunk arrives.
    ov = Overlapped{};
    ov.event = ev;
    EXPECT_FALSE(os.readFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(os.waitForSingleObject(ev, 5000), WaitResult::Signaled);
    EXPECT_EQ(os.nowMs(), 700u);
    ASSERT_TRUE(os.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(std::string(buf, n), "late");
    EXPECT_TRUE(os.allScriptsDone());

    // Infinite wait with nothing that can end it fails instead of hanging.
    ov = Overlapped{};
    ov.event = ev;
    EXPECT_FALSE(os.readFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(os.waitForSingleObject(ev, kInfinite), WaitResult::Failed);
    EXPECT_EQ(os.countCalls("wait forever"), 1);

    EXPECT_TRUE(os.closeHandle(ev));
    EXPECT_TRUE(os.closeHandle(h));
    EXPECT_FALSE(os.closeHandle(h));
    EXPECT_EQ(os.openEventCount(), 0);
    EXPECT_EQ(os.openHandleCount(), 0);
}

TEST(SimOverlapped, PendingWriteCompletesAfterItsDelay) {
    SimScope scope;
    SimPlatform& os = scope.os();
    Device& d = os.addDevice("COM1", DeviceKind::Com);
    d.writesPend = true;
    d.writeCompletesAfterMs = 40;
    Handle h = os.createFile("COM1", kAccessRead | kAccessWrite, kShareWrite,
                             Disposition::CreateAlways, kFlagOverlapped | kFlagNormalAttributes);
    Handle ev = os.createEvent(true, false);
    Overlapped ov{};
    ov.event = ev;
    std::uint32_t n = 99;
    EXPECT_FALSE(os.writeFile(h, "abc", 3, &n, nullptr));
    EXPECT_EQ(os.lastError(), kErrorInvalidParameter);
    EXPECT_FALSE(os.writeFile(h, "abc", 3, &n, &ov));
    EXPECT_EQ(os.lastError(), kErrorIoPending);
    EXPECT_EQ(os.waitForSingleObject(ev, kInfinite), WaitResult::Signaled);
    EXPECT_EQ(os.nowMs(), 40u);
    ASSERT_TRUE(os.getOverlappedResult(h, &ov, &n, false));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(d.io.received, "abc");
}

// ---- sockets --------------------------------------------------------------------

TEST(SimSocket, BlockingRecvTimesOutNonBlockingWouldBlock) {
    SimScope scope;
    SimPlatform& os = scope.os();
    os.addPeer("10.0.0.7", 9100).script = {expect("~STATUS"), reply("END\r\n", 2500)};
    Socket s = os.createTcpSocket();
    ASSERT_EQ(os.connect(s, os.inetAddr("10.0.0.7"), 9100), 0);
    ASSERT_EQ(os.setReceiveTimeout(s, 1000), 0);
    ASSERT_EQ(os.send(s, "~STATUS", 7), 7);
    std::string got;
    EXPECT_EQ(recvText(os, s, got), -1);
    EXPECT_EQ(os.socketLastError(), kWsaTimedOut);
    EXPECT_EQ(os.nowMs(), 1000u);
    os.closeSocket(s);

    Socket t = os.createTcpSocket();
    ASSERT_EQ(os.setNonBlocking(t, true), 0);
    EXPECT_EQ(os.connect(t, os.inetAddr("10.0.0.7"), 9100), -1);
    EXPECT_EQ(os.socketLastError(), kWsaWouldBlock);
    EXPECT_EQ(os.selectWritable(t, 5, 0), 1);
    int err = -5;
    EXPECT_EQ(os.socketError(t, &err), 0);
    EXPECT_EQ(err, 0);
    ASSERT_EQ(os.send(t, "~STATUS", 7), 7);
    EXPECT_EQ(recvText(os, t, got), -1);
    EXPECT_EQ(os.socketLastError(), kWsaWouldBlock);
    EXPECT_EQ(os.nowMs(), 1000u);  // at once
    os.sleep(2500);
    EXPECT_EQ(recvText(os, t, got), 5);
    EXPECT_EQ(got, "END\r\n");
    os.closeSocket(t);
    EXPECT_EQ(os.openSocketCount(), 0);
}

TEST(SimSocket, SilentPeersTimeOut) {
    SimScope scope;
    SimPlatform& os = scope.os();
    Socket t = os.createTcpSocket();
    EXPECT_EQ(os.connect(t, os.inetAddr("10.0.0.9"), 9100), -1);  // nobody there
    EXPECT_EQ(os.socketLastError(), kWsaTimedOut);
    EXPECT_EQ(os.nowMs(), 21000u);
    Socket u = os.createTcpSocket();
    os.setNonBlocking(u, true);
    EXPECT_EQ(os.connect(u, os.inetAddr("10.0.0.9"), 9100), -1);
    EXPECT_EQ(os.selectWritable(u, 5, 0), 0);
    EXPECT_EQ(os.nowMs(), 26000u);
    EXPECT_EQ(os.countCalls("connect tcp:10.0.0.9:9100"), 2);
}

// ---- management query -----------------------------------------------------------

TEST(SimManagement, LikeMatchesPrinterNames) {
    EXPECT_TRUE(sqlLike("ZP-1", "zp-1"));
    EXPECT_TRUE(sqlLike("ZP%", "ZP-1 (copy)"));
    EXPECT_TRUE(sqlLike("%1", "ZP-1"));
    EXPECT_TRUE(sqlLike("Z_-1", "ZP-1"));
    EXPECT_FALSE(sqlLike("Z_1", "ZP-1"));
    EXPECT_FALSE(sqlLike("ZP", "ZP-1"));
    EXPECT_TRUE(sqlLike("%", ""));

    SimScope scope;
    SimPlatform& os = scope.os();
    os.addPrinter("Office", "LPT1:", true);
    os.addPrinter("ZP-1", "USB001", false);
    bool offline = false;
    EXPECT_EQ(os.queryPrinterOffline("SELECT * from Win32_Printer WHERE Name LIKE 'zp-1'", &offline),
              ManagementResult::Found);
    EXPECT_TRUE(offline);
    EXPECT_EQ(os.queryPrinterOffline("SELECT * from Win32_Printer WHERE Name LIKE '%'", &offline),
              ManagementResult::Found);
    EXPECT_FALSE(offline);  // the first match: Office
    EXPECT_EQ(os.queryPrinterOffline("SELECT * from Win32_Printer WHERE Name LIKE 'ZP'", &offline),
              ManagementResult::NotFound);
    os.managementFails = true;
    EXPECT_EQ(os.queryPrinterOffline("SELECT * from Win32_Printer WHERE Name LIKE 'ZP-1'", &offline),
              ManagementResult::Failed);
    EXPECT_EQ(os.managementQueries.size(), 4u);
}

// ---- code pages ---------------------------------------------------------------

TEST(SimCodePage, Windows1252ToUtf16AndUtf8) {
    SimScope scope;
    SimPlatform& os = scope.os();
    const char src[] = "\x80 caf\xE9";  // euro sign, "café"
    EXPECT_EQ(os.multiByteToWide(kCodePageAnsi, src, -1, nullptr, 0), 7);  // with the NUL
    char16_t wide[16];
    ASSERT_EQ(os.multiByteToWide(kCodePageAnsi, src, -1, wide, 16), 7);
    EXPECT_EQ(wide[0], u'\u20AC');
    EXPECT_EQ(wide[5], u'\u00E9');
    EXPECT_EQ(wide[6], 0);
    EXPECT_EQ(os.wideToMultiByte(kCodePageUtf8, wide, -1, nullptr, 0), 10);
    char utf8[16];
    ASSERT_EQ(os.wideToMultiByte(kCodePageUtf8, wide, -1, utf8, 16), 10);
    EXPECT_STREQ(utf8, "\xE2\x82\xAC caf\xC3\xA9");
    EXPECT_EQ(os.wideToMultiByte(kCodePageUtf8, wide, 6, utf8, 2), 0);  // too small

    // Back to 1252: the euro maps back, what 1252 lacks becomes '?'.
    const char16_t back[] = u"\u20AC\u00E9\u4E2D\U0001F600";
    char ansi[8];
    ASSERT_EQ(os.wideToMultiByte(kCodePageAnsi, back, -1, ansi, 8), 5);
    EXPECT_STREQ(ansi, "\x80\xE9??");
}

TEST(SimCodePage, Utf8DecodingAndSurrogatePairs) {
    SimScope scope;
    SimPlatform& os = scope.os();
    char16_t wide[16];
    // A 4-byte sequence becomes a surrogate pair; invalid bytes U+FFFD.
    const char src[] = "\xF0\x9F\x98\x80" "a\xFF" "b\xE2\x82";
    int n = os.multiByteToWide(kCodePageUtf8, src, int(std::strlen(src)), wide, 16);
    ASSERT_EQ(n, 6);
    EXPECT_EQ(wide[0], 0xD83D);
    EXPECT_EQ(wide[1], 0xDE00);
    EXPECT_EQ(wide[2], u'a');
    EXPECT_EQ(wide[3], 0xFFFD);
    EXPECT_EQ(wide[4], u'b');
    EXPECT_EQ(wide[5], 0xFFFD);  // truncated sequence
    char utf8[16];
    ASSERT_EQ(os.wideToMultiByte(kCodePageUtf8, wide, 2, utf8, 16), 4);
    EXPECT_EQ(std::string(utf8, 4), "\xF0\x9F\x98\x80");

    // With the ANSI code page set to UTF-8, kCodePageAnsi is UTF-8.
    os.ansiCodePage = 65001;
    EXPECT_EQ(os.multiByteToWide(kCodePageAnsi, "\xC3\xA9", 2, wide, 16), 1);
    EXPECT_EQ(wide[0], u'\u00E9');
}

// ---- files, serial reads, scope ---------------------------------------------------

TEST(SimDevices, FilesSerialReadsAndTheCallLog) {
    SimScope scope;
    SimPlatform& os = scope.os();
    EXPECT_EQ(os.createFile("nofile.pcx", kAccessRead, 0, Disposition::OpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(os.lastError(), kErrorFileNotFound);
    os.addFile("logo.pcx", "0123456789");
    Handle f = os.createFile("logo.pcx", kAccessRead, 0, Disposition::OpenExisting, 0);
    std::uint64_t size = 0;
    ASSERT_TRUE(os.fileSize(f, &size));
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(readSync(os, f, 4), "0123");
    EXPECT_EQ(readSync(os, f, 100), "456789");
    EXPECT_TRUE(os.closeHandle(f));
    Handle g = os.createFile("logo.pcx", kAccessWrite, 0, Disposition::OpenAlways, 0);
    std::uint32_t w = 0;
    ASSERT_TRUE(os.writeFile(g, "ab", 2, &w, nullptr));
    EXPECT_EQ(os.device("logo.pcx")->content, "ab23456789");
    os.closeHandle(g);
    Handle t = os.createFile("testfile.txt", kAccessWrite, 0, Disposition::CreateAlways, 0);
    ASSERT_NE(t, kInvalidHandle);
    os.writeFile(t, "x", 1, &w, nullptr);
    EXPECT_EQ(os.device("testfile.txt")->content, "x");
    os.closeHandle(t);

    // A COM read waits within its total time-out, else returns 0 bytes.
    Device& com = os.addDevice("COM3", DeviceKind::Com);
    com.io.script = {expect("?"), reply("A", 100), reply("B", 9000)};
    Handle c = os.createFile("COM3", kAccessRead | kAccessWrite, 0, Disposition::OpenExisting, 0);
    CommTimeouts to{50, 10, 50, 10, 50};
    ASSERT_TRUE(os.setCommTimeouts(c, to));
    os.writeFile(c, "?", 1, &w, nullptr);
    EXPECT_EQ(readSync(os, c, 1), "");  // limit 50 + 10 * 1 ms; the chunk comes at 100
    EXPECT_EQ(os.nowMs(), 60u);
    EXPECT_EQ(readSync(os, c, 512), "A");  // limit 50 + 10 * 512 ms
    EXPECT_EQ(os.nowMs(), 100u);
    EXPECT_EQ(readSync(os, c, 512), "");  // B comes at 9100, after the limit
    EXPECT_EQ(os.nowMs(), 100u + 5170u);
    SerialState st{};
    ASSERT_TRUE(os.getCommState(c, &st));
    EXPECT_EQ(st.baudRate, 9600u);
    os.closeHandle(c);

    os.sleep(25);
    EXPECT_EQ(os.calendarSeconds(), os.epochSeconds + 5);
    os.messageBox("Can't open", "Error Message", Icon::Warning);
    ASSERT_EQ(os.boxes.size(), 1u);
    EXPECT_EQ(os.calls.back(), "MessageBox Error Message: Can't open");
    EXPECT_EQ(os.countCalls("CloseHandle COM3"), 1);
    EXPECT_EQ(os.countCalls("Sleep 25"), 1);
}
