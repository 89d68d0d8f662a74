// qovemu started as a child with the workbench options, its printers' ports
// and HTTP port read from its start-up lines, and small TCP helpers.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "test_io.h"

namespace qovemu::test {

class Workbench : public ::testing::Test {
protected:
    // Starts qovemu with `args`; fails the test when it does not come up.
    void start(const std::vector<std::string>& args);
    void TearDown() override;

    int printerPort(const std::string& name) const;
    httplib::Client client() const;
    nlohmann::json getJson(const std::string& path) const;
    int put(const std::string& path) const;
    int del(const std::string& path) const;
    // Polls `path` until `ok` holds or `ms` pass; returns the last answer.
    nlohmann::json waitFor(const std::string& path, const std::function<bool(const nlohmann::json&)>& ok,
                           int ms = 5000) const;

    std::string logText() const;  // everything qovemu wrote so far

    std::string log_;             // its start-up lines
    int httpPort_ = 0;
    std::map<std::string, int> ports_;

private:
    pid_t pid_ = -1;
    int logFd_ = -1;
};

// TCP to 127.0.0.1:port; -1 when refused.
int connectTo(int port);
void sendAll(int fd, const std::string& bytes);
// Milliseconds until the peer closes the connection (reading and dropping
// what comes), or -1 when it is still open after `ms`.
int msUntilClosed(int fd, int ms);

// A stored form T with one field, and the job printing it with `text`.
std::string formJob();
std::string labelJob(const std::string& text);

}  // namespace qovemu::test
