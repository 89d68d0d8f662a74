// A CUPS server of the test's own, set up by scripts/private_cups.sh (the
// Wine suite uses the same script): cupsd in a fresh folder under /tmp,
// listening on a free loopback port, with an open policy (no
// authentication), started at the first use and stopped (its folder
// removed) when the test program ends. It needs root (cupsd drops to the lp
// user for its backends); where it cannot run, the tests that need it skip
// with the reason.
#pragma once

#include <string>

namespace qov::posixtest {

class PrivateCups {
public:
    // The server, started on first use; nullptr when it cannot run (see
    // whyNot()).
    static PrivateCups* get();
    static const std::string& whyNot();
    static void stop();

    // "127.0.0.1:<port>", for CUPS_SERVER.
    std::string server() const;
    // Runs a CUPS command-line tool against this server ("-h <server>" is
    // added after the tool's name). True when it exits with 0; its output
    // goes to *output when given.
    bool run(const std::string& tool, const std::string& args, std::string* output = nullptr) const;
    // A raw queue whose device is `uri`, enabled and accepting.
    bool addRawQueue(const std::string& name, const std::string& uri) const;
    bool removeQueue(const std::string& name) const;
    const std::string& folder() const { return dir_; }

private:
    bool start(std::string& why);
    void shutdown();

    std::string dir_;
    int port_ = 0;
};

}  // namespace qov::posixtest
