// Reopening for real without a close in between: under a descriptor limit
// only a little above what the process holds, every reopen still succeeds
// and the process's descriptor count stays where the first open left it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>

#include "library_fixture.h"

namespace {

using namespace qov;
using namespace qov::posixtest;

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n - 3;  // ".", ".." and the directory's own descriptor
}

// A printer in a child process, so that its descriptors are not counted:
// it accepts every connection and closes it again.
class AcceptingPeer {
public:
    AcceptingPeer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            listen(listener_, 128) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ADD_FAILURE() << "no listener";
            return;
        }
        port_ = ntohs(a.sin_port);
        child_ = fork();
        if (child_ == 0) {
            for (;;) {
                const int c = accept(listener_, nullptr, nullptr);
                if (c >= 0) close(c);
            }
        }
        close(listener_);
    }
    ~AcceptingPeer() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
    }
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    pid_t child_ = -1;
};

// Lowers the soft descriptor limit for the test's length.
class ScopedDescriptorLimit {
public:
    explicit ScopedDescriptorLimit(rlim_t soft) {
        getrlimit(RLIMIT_NOFILE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = soft;
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~ScopedDescriptorLimit() { setrlimit(RLIMIT_NOFILE, &old_); }

private:
    rlimit old_{};
};

class ReopenTest : public LibraryTest {};

// Each reopen kind `times` times; true when every open succeeded and the
// count after the last equals the count after the first.
void expectFlat(const char* kind, int times, const std::function<bool()>& open) {
    ASSERT_TRUE(open()) << kind;
    const int after = openDescriptors();
    for (int i = 1; i < times; ++i) ASSERT_TRUE(open()) << kind << " reopen " << i;
    EXPECT_EQ(openDescriptors(), after) << kind;
}

TEST_F(ReopenTest, NetworkReopensKeepTheDescriptorCountFlat) {
    AcceptingPeer peer;
    const int port = peer.port();
    const int before = openDescriptors();
    // A leak of one descriptor per open would run out after 24.
    ScopedDescriptorLimit limit(static_cast<rlim_t>(before + 3 + 24));
    auto* portArg = reinterpret_cast<int*>(static_cast<std::uintptr_t>(port));
    char address[] = "127.0.0.1";
    // The blocking opens settle 50 ms each.
    expectFlat("openethernet", 100, [&] { return openethernet(address, port) == 0; });
    expectFlat("openethernet_async", 300, [&] { return openethernet_async(address, port) == 0; });
    expectFlat("openethernetmult", 100,
               [&] { return openethernetmult(2, address, portArg) == 0; });
    EXPECT_EQ(openDescriptors(), before + 2);
    EXPECT_EQ(closeethernetport(0), 1);
    EXPECT_EQ(closeethernetportmult(2, 0), 1);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(ReopenTest, ComPortReopensKeepTheDescriptorCountFlat) {
    PtyPair pty;
    ScopedEnv com1{"QOVLIB_COM1", pty.slavePath()};
    const int before = openDescriptors();
    ScopedDescriptorLimit limit(static_cast<rlim_t>(before + 3 + 24));
    char name[] = "COM1";
    expectFlat("opencomport", 500, [&] { return opencomport(name)[0] == '1'; });
    expectFlat("openport COM1", 500, [&] { return openport(name) == 0; });
    EXPECT_EQ(sendcommand("~NORMAL"), 1);
    EXPECT_EQ(pty.readMaster(9, 1000), "~NORMAL\r\n");
}

}  // namespace
