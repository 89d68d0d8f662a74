// The emulator program itself, started as a child on a free port and driven
// by real TCP clients and through its pty, then stopped with SIGTERM.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_io.h"

namespace {

using qovemu::test::readUntil;

void sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<std::size_t>(n);
    }
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class EmulatorProcess : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qovemu-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            const std::string captures = dir_ + "/captures";
            std::vector<const char*> args = {"qovemu", "--port", "0", "--serial", "--capture-dir",
                                             captures.c_str(), "--codepage", "437"};
            for (const auto& a : extra_) args.push_back(a.c_str());
            args.push_back(nullptr);
            execv(QOVEMU_PROGRAM, const_cast<char* const*>(args.data()));
            _exit(127);
        }
        close(out[1]);
        stdout_ = out[0];
        readUntil(stdout_, "\nserial ", 10000, &log_);
        readUntil(stdout_, "\n", 2000, &log_);  // the serial path's line end... of the serial line
        const auto at = log_.find("listening 127.0.0.1:");
        ASSERT_NE(at, std::string::npos) << log_;
        port_ = std::atoi(log_.c_str() + at + 20);
        ASSERT_GT(port_, 0);
        const auto s = log_.find("serial ");
        ASSERT_NE(s, std::string::npos) << log_;
        const auto e = log_.find('\n', s);
        ASSERT_NE(e, std::string::npos) << log_;
        serial_ = log_.substr(s + 7, e - s - 7);
    }

    void TearDown() override {
        if (pid_ > 0 && !stopped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) close(stdout_);
        const std::string cmd = "rm -rf '" + dir_ + "'";
        (void)!system(cmd.c_str());
    }

    int connectTcp(int receiveBuffer = 0) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        return fd;
    }

    // The signal, then the exit status within a few seconds (-1 if it hangs).
    int stop(int signal = SIGTERM) {
        kill(pid_, signal);
        readUntil(stdout_, "stopped:", 5000, &log_);
        readUntil(stdout_, "\x04", 1000, &log_);  // the rest, up to its end of output
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                stopped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }

    std::vector<std::string> extra_;  // further options, set by a derived fixture
    std::string dir_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    int port_ = 0;
    std::string serial_;
    std::string log_;
    bool stopped_ = false;
};

TEST_F(EmulatorProcess, ServesTcpAndSerialAndCapturesEveryByte) {
    const int a = connectTcp();
    const int b = connectTcp();
    const std::string job =
        "~NORMAL\r\n~CREATE;LABEL1;X\r\nBOX\r\n2;10;20;110;220\r\nSTOP\r\nEND\r\n"
        "~EXECUTE;LABEL1;2\r\n~NORMAL\r\n\r\n";
    // The status request split over two writes, without a line end.
    sendAll(a, job + "~NORMAL\r\n~ST");
    usleep(50000);
    sendAll(a, "ATUS");
    const std::string status = readUntil(a, "END\r\n", 5000);
    EXPECT_NE(status.find("LABELS PRINTED;2\r\n"), std::string::npos) << status;
    EXPECT_EQ(status.substr(status.size() - 5), "END\r\n");

    // A second connection at the same time sees the same printer.
    const std::string query("~!I\n OUT \"\x02\"\n", 13);
    sendAll(b, query);
    EXPECT_EQ(readUntil(b, "\x02", 5000), std::string("CODEPAGE 437\r\n\x02", 15));

    // The serial side: the restart, then a status request through the pty.
    const int tty = open(serial_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0) << serial_;
    termios tio{};
    tcgetattr(tty, &tio);
    cfmakeraw(&tio);
    tcsetattr(tty, TCSANOW, &tio);
    sendAll(tty, "\x1b!R\n~NORMAL\r\n~STATUS");
    const std::string serialStatus = readUntil(tty, "END\r\n", 5000);
    EXPECT_NE(serialStatus.find("FORMS STORED;0\r\n"), std::string::npos) << serialStatus;
    EXPECT_NE(serialStatus.find("RESTARTS;1\r\n"), std::string::npos) << serialStatus;
    close(tty);
    close(b);  // one connection closed by the host, the other left to the stop

    ASSERT_EQ(stop(), 0) << log_;
    close(a);
    EXPECT_NE(log_.find("form LABEL1 stored: 1 elements"), std::string::npos) << log_;
    EXPECT_NE(log_.find("printed 2 x form LABEL1"), std::string::npos) << log_;
    EXPECT_NE(log_.find("stopped: 2 labels printed, 0 forms, 0 logos, 0 errors, 1 restarts"),
              std::string::npos)
        << log_;

    // Connection 1 is the pty; the TCP connections follow in accept order.
    EXPECT_EQ(fileText(dir_ + "/captures/conn-002-tcp.bin"), job + "~NORMAL\r\n~STATUS");
    EXPECT_EQ(fileText(dir_ + "/captures/conn-003-tcp.bin"), query);
    EXPECT_EQ(fileText(dir_ + "/captures/conn-001-serial.bin"), "\x1b!R\n~NORMAL\r\n~STATUS");
}

class EmulatorProcessSmallBacklog : public EmulatorProcess {
protected:
    EmulatorProcessSmallBacklog() { extra_ = {"--max-backlog", "4096"}; }
};

TEST_F(EmulatorProcessSmallBacklog, HostThatNeverReadsCannotGrowItsMemory) {
    const int a = connectTcp(4096);
    // Many status requests and never a read: the answers back up on the
    // emulator's side until its backlog cap, then are dropped, and it keeps serving.
    std::string many;
    for (int i = 0; i < 2000; ++i) many += "~NORMAL\r\n~STATUS";
    for (int i = 0; i < 20; ++i) {
        sendAll(a, many);
        readUntil(stdout_, "\x04", 100, &log_);  // keep its log flowing
    }
    const int b = connectTcp();
    sendAll(b, "~NORMAL\r\n~STATUS");
    readUntil(stdout_, "\x04", 500, &log_);
    const std::string status = readUntil(b, "END\r\n", 5000);
    EXPECT_NE(status.find("STATUS;READY"), std::string::npos) << status;
    close(b);
    EXPECT_EQ(stop(SIGINT), 0) << log_;
    EXPECT_NE(log_.find("stopped: 0 labels printed"), std::string::npos);
    EXPECT_NE(log_.find("does not read its answers"), std::string::npos);
    close(a);
}

class EmulatorProcessCaps : public EmulatorProcess {
protected:
    EmulatorProcessCaps() { extra_ = {"--max-connections", "1", "--max-capture", "10"}; }
};

TEST_F(EmulatorProcessCaps, ConnectionsPastTheCapClosedAndCaptureCut) {
    const int a = connectTcp();
    const int b = connectTcp();  // the kernel accepts it; the emulator closes it at once
    char byte = 0;
    pollfd p{b, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_EQ(read(b, &byte, 1), 0);
    close(b);

    const std::string job = "~CREATE;F;X\r\nEND\r\n~EXECUTE;F;4\r\n~NORMAL\r\n~STATUS";
    sendAll(a, job);
    const std::string status = readUntil(a, "END\r\n", 5000);
    EXPECT_NE(status.find("LABELS PRINTED;4\r\n"), std::string::npos) << status;
    EXPECT_EQ(stop(), 0) << log_;
    close(a);
    EXPECT_NE(log_.find("refused: 1 open already"), std::string::npos) << log_;
    EXPECT_NE(log_.find("capture full"), std::string::npos) << log_;
    // Every byte was still read and understood; only the first 10 were kept.
    EXPECT_EQ(fileText(dir_ + "/captures/conn-002-tcp.bin"), job.substr(0, 10));
}

class EmulatorProcessPreview : public EmulatorProcess {
protected:
    EmulatorProcessPreview() { extra_ = {"--preview-dir", "/tmp/qovemu-preview-" + std::to_string(getpid())}; }
    void TearDown() override {
        EmulatorProcess::TearDown();
        (void)!system(("rm -rf '" + extra_[1] + "'").c_str());
    }
};

TEST_F(EmulatorProcessPreview, DrawsEveryPrintedLabelWithFormsStoredByAnotherConnection) {
    const int a = connectTcp();
    sendAll(a, "~CREATE;BOXES;X\r\nSCALE;DOT;203;203\r\nBOX\r\n2;10;20;110;220\r\nSTOP\r\nWHAT\r\nEND\r\n"
               "~NORMAL\r\n~STATUS");
    readUntil(a, "END\r\n", 5000);
    const int b = connectTcp();
    // The second connection prints the first one's form, split mid-line.
    sendAll(b, "~EXECUTE;BO");
    usleep(50000);
    sendAll(b, "XES;2\r\n~EXECUTE;NONE\r\n~NORMAL\r\n~STATUS");
    readUntil(b, "END\r\n", 5000);
    close(a);
    close(b);
    ASSERT_EQ(stop(), 0) << log_;
    const std::string png = extra_[1] + "/001-BOXES.png";
    EXPECT_NE(log_.find("preview " + png + " 812x1218 dots: 0 text, 4 lines; copies 2"), std::string::npos) << log_;
    EXPECT_NE(log_.find("preview, line 6: unknown statement, skipped: WHAT"), std::string::npos) << log_;
    EXPECT_NE(log_.find("preview, line 2: form NONE is not stored"), std::string::npos) << log_;
    const std::string bytes = fileText(png);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(fileText(extra_[1] + "/002-NONE.png"), "");
}

}  // namespace
