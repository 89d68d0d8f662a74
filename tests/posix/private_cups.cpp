#include "private_cups.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace qov::posixtest {

namespace {

std::unique_ptr<PrivateCups> g_server;
bool g_tried = false;
std::string g_why;

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
    if (g_server) g_server->shutdown();
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

// The set-up is scripts/private_cups.sh, which the Wine suite runs too.
bool PrivateCups::start(std::string& why) {
    std::string out;
    FILE* f = ::popen("bash " QOV_PRIVATE_CUPS_SCRIPT " start 2>&1", "r");
    if (!f) {
        why = "cannot run " QOV_PRIVATE_CUPS_SCRIPT;
        return false;
    }
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const int status = ::pclose(f);
    auto valueOf = [&](const std::string& key) -> std::string {
        const std::size_t at = out.find(key + "=");
        if (at == std::string::npos) return {};
        const std::size_t from = at + key.size() + 1;
        return out.substr(from, out.find('\n', from) - from);
    };
    dir_ = valueOf("QOV_CUPS_DIR");
    const std::string server = valueOf("QOV_CUPS_SERVER");
    const std::size_t colon = server.rfind(':');
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || dir_.empty() ||
        colon == std::string::npos) {
        why = out.empty() ? "the private CUPS server did not start" : out;
        if (!dir_.empty()) shutdown();
        dir_.clear();
        return false;
    }
    port_ = std::atoi(server.c_str() + colon + 1);
    return true;
}

void PrivateCups::shutdown() {
    if (dir_.empty()) return;
    const std::string cmd = "bash " QOV_PRIVATE_CUPS_SCRIPT " stop '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "private CUPS: %s failed\n", cmd.c_str());
    dir_.clear();
}

}  // namespace qov::posixtest
