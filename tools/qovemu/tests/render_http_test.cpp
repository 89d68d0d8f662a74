// POST /render through a live `qovemu --http`: the served answer is the
// function's, headers included.
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "render_api.h"

namespace {

// qovemu on free ports, stopped (SIGTERM, then waited for) at the end.
class LiveEmulator {
public:
    LiveEmulator() {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execl(QOVEMU_PROGRAM, QOVEMU_PROGRAM, "--port", "0", "--http", "127.0.0.1:0", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        lines_ = fdopen(out[0], "r");
        char line[256];
        while (lines_ && port_ == 0 && std::fgets(line, sizeof line, lines_)) {
            std::sscanf(line, "http listening 127.0.0.1:%d", &port_);
        }
    }
    ~LiveEmulator() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (lines_) std::fclose(lines_);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    FILE* lines_ = nullptr;
    int port_ = 0;
};

TEST(RenderHttp, ServedAnswersAreTheFunctionsOwn) {
    std::ifstream in(DEMO_LABEL, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string label = bytes.str();
    ASSERT_FALSE(label.empty());
    LiveEmulator emulator;
    ASSERT_NE(emulator.port(), 0) << "qovemu --http did not start";
    httplib::Client client("127.0.0.1", emulator.port());
    client.set_read_timeout(10, 0);

    qovemu::RenderRequest direct;
    direct.body = label;
    direct.query = {{"dpi", "300"}};
    const qovemu::HttpAnswer expected = qovemu::renderRequest(direct);
    ASSERT_EQ(expected.status, 200);
    auto png = client.Post("/render?dpi=300", label, "application/octet-stream");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->status, 200);
    EXPECT_EQ(png->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(png->get_header_value("X-Label-Count"), "1");
    EXPECT_EQ(png->get_header_value("X-Notes"), "5: number after X ignored");
    EXPECT_TRUE(png->body == expected.body);

    auto described = client.Post("/render", {{"Accept", "application/json"}}, label, "application/octet-stream");
    ASSERT_TRUE(described);
    EXPECT_EQ(described->status, 200);
    const auto j = nlohmann::json::parse(described->body);
    ASSERT_EQ(j["labels"].size(), 1u);
    EXPECT_EQ(j["labels"][0]["form"], "DEMO");
    // In statement order, each with the line of its parameters.
    const std::pair<const char*, int> kElements[] = {{"box", 9},      {"text", 12},    {"line", 15},
                                                     {"text", 18},    {"barcode", 21}, {"barcode", 26},
                                                     {"line", 30},    {"line", 33},    {"text", 36}};
    const auto& elements = j["labels"][0]["elements"];
    ASSERT_EQ(elements.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(elements[i]["kind"], kElements[i].first) << i;
        EXPECT_EQ(elements[i]["line"], kElements[i].second) << i;
    }
    EXPECT_EQ(elements[5]["symbology"], "QRCODE");

    auto bad = client.Post("/render?dpi=72", label, "application/octet-stream");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_EQ(nlohmann::json::parse(bad->body)["error"], "dpi must be 203, 300 or 600");
}

}  // namespace
