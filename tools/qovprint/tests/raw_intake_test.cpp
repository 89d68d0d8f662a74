// A raw socket's document into its spool file: whole, cut by silence or by
// size, or given up when the server stops; and the size option's syntax.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "raw_intake.h"

using namespace std::chrono_literals;
using qovprint::IntakeEnd;
using qovprint::RawLimits;

namespace {

struct Pair {
    int sender = -1, receiver = -1;
    Pair() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        sender = fds[0];
        receiver = fds[1];
    }
    ~Pair() {
        if (sender >= 0) ::close(sender);
        if (receiver >= 0) ::close(receiver);
    }
    void send(const std::string& s) const { ASSERT_EQ(::send(sender, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size())); }
    void closeSender() {
        ::close(sender);
        sender = -1;
    }
};

struct SpoolFile {
    std::FILE* f = std::tmpfile();
    ~SpoolFile() { std::fclose(f); }
    int fd() const { return ::fileno(f); }
    std::string contents() const {
        std::string s;
        ::lseek(fd(), 0, SEEK_SET);
        char b[4096];
        ssize_t n;
        while ((n = ::read(fd(), b, sizeof b)) > 0) s.append(b, static_cast<std::size_t>(n));
        return s;
    }
};

RawLimits limits(std::chrono::milliseconds idle, std::uint64_t maxBytes) {
    RawLimits l;
    l.idle = idle;
    l.maxBytes = maxBytes;
    return l;
}

std::chrono::milliseconds since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t);
}

}  // namespace

TEST(RawIntake, ADocumentEndedByItsSenderArrivesWholeUpToTheExactLimit) {
    const std::atomic<bool> stop{false};
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{200000}}) {
        Pair p;
        SpoolFile file;
        std::string doc(size, '\0');
        for (std::size_t i = 0; i < size; ++i) doc[i] = static_cast<char>(i * 7 + 1);
        std::thread sender([&] {
            if (!doc.empty()) p.send(doc);
            p.closeSender();
        });
        const auto r = qovprint::receiveDocument(p.receiver, file.fd(), limits(5s, 200000), stop);
        sender.join();
        EXPECT_EQ(r.end, IntakeEnd::Complete) << size << ": " << r.message;
        EXPECT_EQ(r.bytes, size);
        EXPECT_TRUE(file.contents() == doc) << size;
    }
}

TEST(RawIntake, ASilentSenderIsCutAtTheIdleLimitAndEachByteRenewsIt) {
    const std::atomic<bool> stop{false};
    Pair p;
    SpoolFile file;
    const auto start = std::chrono::steady_clock::now();
    std::thread sender([&] {
        for (int i = 0; i < 4; ++i) {  // 4 bytes 200 ms apart: never 300 ms of silence
            p.send("x");
            std::this_thread::sleep_for(200ms);
        }
    });
    const auto r = qovprint::receiveDocument(p.receiver, file.fd(), limits(300ms, 1 << 20), stop);
    const auto took = since(start);
    sender.join();
    EXPECT_EQ(r.end, IntakeEnd::Idle);
    EXPECT_EQ(r.message, "no data for 300 ms after 4 bytes");
    EXPECT_EQ(file.contents(), "xxxx");
    // The last byte came at about 600 ms: cut 300 ms later, not at once nor much later.
    EXPECT_GE(took, 880ms);
    EXPECT_LT(took, 1500ms);
}

TEST(RawIntake, AnEndlessSenderIsCutWithNoMoreThanTheLimitSpooled) {
    const std::atomic<bool> stop{false};
    Pair p;
    SpoolFile file;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        const std::string chunk(8192, 'A');
        while (!done)
            if (::send(p.sender, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
                std::this_thread::sleep_for(1ms);
    });
    const auto r = qovprint::receiveDocument(p.receiver, file.fd(), limits(5s, 100000), stop);
    done = true;
    sender.join();
    EXPECT_EQ(r.end, IntakeEnd::TooLarge);
    EXPECT_EQ(r.message, "the document is larger than 100000 bytes");
    EXPECT_LE(r.bytes, 100000u);
    EXPECT_EQ(file.contents().size(), r.bytes);
}

TEST(RawIntake, TheServerStoppingEndsAWaitWithinASecond) {
    std::atomic<bool> stop{false};
    Pair p;
    SpoolFile file;
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const auto r = qovprint::receiveDocument(p.receiver, file.fd(), limits(60s, 1 << 20), stop);
    stopper.join();
    EXPECT_EQ(r.end, IntakeEnd::Stopped);
    EXPECT_LT(since(start), 1500ms);
}

TEST(RawIntake, SizeOptionsAreBytesOrBinaryMultiples) {
    std::uint64_t v = 0;
    EXPECT_TRUE(qovprint::parseByteSize("256M", &v));
    EXPECT_EQ(v, 256ull << 20);
    EXPECT_TRUE(qovprint::parseByteSize("1048576", &v));
    EXPECT_EQ(v, 1048576u);
    EXPECT_TRUE(qovprint::parseByteSize("3k", &v));
    EXPECT_EQ(v, 3072u);
    EXPECT_TRUE(qovprint::parseByteSize("2G", &v));
    EXPECT_EQ(v, 2ull << 30);
    v = 7;
    for (const char* bad : {"", "0", "-1", "12X", "M", "1MB", "99999999999999999999", "17179869184G"}) {
        EXPECT_FALSE(qovprint::parseByteSize(bad, &v)) << bad;
        EXPECT_EQ(v, 7u) << bad;
    }
}
