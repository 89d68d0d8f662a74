#include "private_cups.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "posix_test_support.h"

namespace qov::posixtest {

namespace {

std::unique_ptr<PrivateCups> g_server;
bool g_tried = false;
std::string g_why;

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

bool canConnect(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

void removeTree(const std::string& dir) {
    nftw(
        dir.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); },
        16, FTW_DEPTH | FTW_PHYS);
}

// Stops the server when the test program ends.
class StopAtExit : public ::testing::Environment {
public:
    void TearDown() override { PrivateCups::stop(); }
};
[[maybe_unused]] ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new StopAtExit);

}  // namespace

PrivateCups* PrivateCups::get() {
    if (!g_tried) {
        g_tried = true;
        auto s = std::make_unique<PrivateCups>();
        if (s->start(g_why))
            g_server = std::move(s);
    }
    return g_server.get();
}

const std::string& PrivateCups::whyNot() { return g_why; }

void PrivateCups::stop() {
    if (g_server) {
        g_server->shutdown();
        removeTree(g_server->dir_);
    }
    g_server.reset();
}

std::string PrivateCups::server() const { return "127.0.0.1:" + std::to_string(port_); }

bool PrivateCups::run(const std::string& tool, const std::string& args, std::string* output) const {
    std::string cmd = tool + " -h " + server() + " " + args + " 2>&1";
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f) return false;
    std::string out;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    int status = ::pclose(f);
    if (output) *output = out;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PrivateCups::addRawQueue(const std::string& name, const std::string& uri) const {
    return run("lpadmin", "-p " + name + " -E -v " + uri);
}

bool PrivateCups::removeQueue(const std::string& name) const { return run("lpadmin", "-x " + name); }

bool PrivateCups::start(std::string& why) {
    if (::geteuid() != 0) {
        why = "the private CUPS server needs root (cupsd runs its backends as lp)";
        return false;
    }
    if (::access("/usr/sbin/cupsd", X_OK) != 0 || ::access("/usr/sbin/lpadmin", X_OK) != 0) {
        why = "cupsd or lpadmin is not installed (scripts/deps.sh installs them)";
        return false;
    }
    char tmpl[] = "/tmp/qovcups.XXXXXX";
    if (!mkdtemp(tmpl)) {
        why = "no temporary folder";
        return false;
    }
    dir_ = tmpl;
    ::chmod(dir_.c_str(), 0755);  // the lp user reaches the spool through it
    for (const char* sub : {"/spool", "/spool/tmp", "/cache", "/state", "/log"})
        ::mkdir((dir_ + sub).c_str(), 0755);

    // Another program may take the free port before cupsd binds it: then
    // cupsd logs the failure, and a new port is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = freeLoopbackPort();
        if (port_ <= 0) break;
        writeFileText(dir_ + "/cupsd.conf",
                      "Listen 127.0.0.1:" + std::to_string(port_) +
                          "\n"
                          "LogLevel warn\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
                          "MaxJobs 0\nPreserveJobHistory No\n"
                          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                          "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n"
                          "  </Limit>\n</Policy>\n");
        writeFileText(dir_ + "/cups-files.conf",
                      "User lp\nGroup lp\nSystemGroup root\nSandboxing Relaxed\n"
                      "ServerRoot " + dir_ + "\nRequestRoot " + dir_ + "/spool\nTempDir " + dir_ +
                          "/spool/tmp\nCacheDir " + dir_ + "/cache\nStateDir " + dir_ +
                          "/state\nAccessLog " + dir_ + "/log/access_log\nErrorLog " + dir_ +
                          "/log/error_log\nPageLog " + dir_ + "/log/page_log\n");
        ::unlink((dir_ + "/log/error_log").c_str());
        pid_t pid = ::fork();
        if (pid == 0) {
            int out = ::open((dir_ + "/log/cupsd.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            ::setsid();
            std::string conf = dir_ + "/cupsd.conf", files = dir_ + "/cups-files.conf";
            ::execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid < 0) break;
        pid_ = pid;
        bool up = false, died = false;
        for (int i = 0; i < 100 && !up && !died; ++i) {
            ::usleep(100000);
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                died = true;
                pid_ = -1;
                break;
            }
            std::string log = readFileText(dir_ + "/log/error_log");
            if (log.find("Unable to open listen socket") != std::string::npos) break;
            up = canConnect(port_);
        }
        if (up) {
            // The port answers and no bind failed in our log: it is ours.
            std::string out;
            if (run("lpstat", "-r", &out)) return true;
            why = "the private cupsd does not answer: " + out;
        } else {
            why = died ? "cupsd exited at start: " + readFileText(dir_ + "/log/cupsd.out") +
                             readFileText(dir_ + "/log/error_log")
                       : "cupsd did not listen on its port";
        }
        shutdown();
        if (died) break;
    }
    removeTree(dir_);
    dir_.clear();
    return false;
}

void PrivateCups::shutdown() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            ::usleep(100000);
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
}

}  // namespace qov::posixtest
