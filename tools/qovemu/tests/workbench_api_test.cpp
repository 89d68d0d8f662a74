// The workbench against a live qovemu: its printers, galleries and faults
// through the HTTP API, and the faults as the library itself reads them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "qovlib.h"
#include "workbench_fixture.h"

namespace qovemu::test {
namespace {

using nlohmann::json;

const std::string kReady =
    "STATUS;READY\r\nLABELS PRINTED;0\r\nFORMS STORED;0\r\nLOGOS STORED;0\r\nERRORS;0\r\nRESTARTS;0\r\n"
    "CODEPAGE;1252\r\nSNOOP;\"OFF\"\r\nEND\r\n";

// The library's own connection to one printer, closed at the end.
class LibraryConnection {
public:
    explicit LibraryConnection(int port) { ok_ = openethernet("127.0.0.1", port) == 0; }
    ~LibraryConnection() { closeethernetport(0); }
    bool ok() const { return ok_; }
    // Sends a job line by line, as an application does.
    bool send(const std::string& job) {
        std::size_t start = 0;
        while (start < job.size()) {
            const auto end = job.find("\r\n", start);
            if (sendcommand(job.substr(start, end - start).c_str()) != 1) return false;
            start = end + 2;
        }
        return true;
    }

private:
    bool ok_ = false;
};

class WorkbenchApi : public Workbench {};

TEST_F(WorkbenchApi, PrintersKeepTheirOwnFormsCountersAndGalleries) {
    start({"--printer", "left:0", "--printer", "right:0:dpi=300:paper=2000x1000", "--http", "127.0.0.1:0"});
    const json all = getJson("/printers");
    ASSERT_EQ(all["printers"].size(), 2u);
    EXPECT_EQ(all["printers"][0]["name"], "left");
    EXPECT_EQ(all["printers"][1]["name"], "right");
    EXPECT_EQ(all["printers"][1]["dpi"], 300);
    EXPECT_EQ(all["printers"][1]["paper"], json({{"width", 2000}, {"length", 1000}}));
    EXPECT_EQ(all["printers"][0]["port"], printerPort("left"));

    const std::string job = formJob() + labelJob("LEFT 1");
    const int left = connectTo(printerPort("left"));
    sendAll(left, job + "~STATUS");
    EXPECT_NE(readUntil(left, "END\r\n", 5000).find("LABELS PRINTED;1\r\n"), std::string::npos);
    close(left);
    // The right printer has no form T: its label is an error, not a picture.
    const int right = connectTo(printerPort("right"));
    sendAll(right, labelJob("RIGHT 1") + "~STATUS");
    EXPECT_NE(readUntil(right, "END\r\n", 5000).find("LABELS PRINTED;0\r\nFORMS STORED;0\r\n"), std::string::npos);
    close(right);

    const json l = getJson("/printers/left");
    EXPECT_EQ(l["counters"]["labels"], 1);
    EXPECT_EQ(l["counters"]["forms"], 1);
    EXPECT_EQ(l["gallery"]["count"], 1);
    EXPECT_EQ(getJson("/printers/right")["gallery"]["count"], 0);

    const json labels = getJson("/printers/left/labels");
    ASSERT_EQ(labels["labels"].size(), 1u);
    const json& one = labels["labels"][0];
    EXPECT_EQ(one["id"], 1);
    EXPECT_EQ(one["form"], "T");
    EXPECT_EQ(one["texts"], json::array({"LEFT 1"}));
    EXPECT_EQ(one["width"], 812);  // 4 inches at 203 dpi
    EXPECT_EQ(one["png"], "/printers/left/labels/1.png");

    auto c = client();
    auto png = c.Get("/printers/left/labels/1.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->get_header_value("Content-Type"), "image/png");
    ASSERT_GT(png->body.size(), 24u);
    EXPECT_EQ(png->body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // The IHDR width, big-endian at byte 16.
    const auto* b = reinterpret_cast<const unsigned char*>(png->body.data());
    EXPECT_EQ((b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19], 812);
    // The job's bytes up to the line that printed it.
    auto txt = c.Get("/printers/left/labels/1.txt");
    ASSERT_TRUE(txt);
    EXPECT_EQ(txt->body, job);

    EXPECT_EQ(del("/printers/left/labels"), 204);
    EXPECT_EQ(getJson("/printers/left/labels")["labels"].size(), 0u);
    const int again = connectTo(printerPort("left"));
    sendAll(again, labelJob("LEFT 2"));
    close(again);
    const json after = waitFor("/printers/left/labels", [](const json& j) { return j["labels"].size() == 1; });
    EXPECT_EQ(after["labels"][0]["id"], 2);  // ids go on counting
    EXPECT_EQ(after["labels"][0]["texts"], json::array({"LEFT 2"}));
    EXPECT_EQ(c.Get("/printers/left/labels/1.png")->status, 404);
    // A later label's job is what its connection sent since the one before.
    EXPECT_EQ(c.Get("/printers/left/labels/2.txt")->body, labelJob("LEFT 2"));
}

TEST_F(WorkbenchApi, LibraryStatusCarriesTheFaultLinesInTheirFixedOrder) {
    // The single printer of the plain options, as the printer application runs it.
    start({"--port", "0", "--http", "127.0.0.1:0"});
    ASSERT_EQ(getJson("/printers")["printers"][0]["name"], "default");
    LibraryConnection lib(printerPort("default"));
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(std::string(QOVA_GetStatus()), kReady);
    // Set out of order: the report keeps its own order.
    for (const char* kind : {"offline", "paper-out", "head-open"})
        EXPECT_EQ(put(std::string("/printers/default/faults/") + kind), 200) << kind;
    EXPECT_EQ(put("/printers/default/faults/head-open"), 200);  // set twice: still one line
    EXPECT_EQ(std::string(QOVA_GetStatus()),
              "STATUS;FAULT\r\nFAULT;PAPER OUT\r\nFAULT;HEAD OPEN\r\nFAULT;OFFLINE\r\n" + kReady.substr(14));
    const json p = getJson("/printers/default");
    EXPECT_EQ(p["status"], "FAULT");
    EXPECT_EQ(p["faults"], json::array({"paper-out", "head-open", "offline"}));
    for (const char* kind : {"ribbon-out", "paused"}) EXPECT_EQ(put(std::string("/printers/default/faults/") + kind), 200);
    EXPECT_EQ(std::string(QOVA_GetStatus()),
              "STATUS;FAULT\r\nFAULT;PAPER OUT\r\nFAULT;RIBBON OUT\r\nFAULT;HEAD OPEN\r\nFAULT;PAUSED\r\n"
              "FAULT;OFFLINE\r\n" + kReady.substr(14));
    for (const char* kind : {"paused", "offline", "paper-out", "head-open", "ribbon-out", "paused"})
        EXPECT_EQ(del(std::string("/printers/default/faults/") + kind), 200) << kind;
    EXPECT_EQ(std::string(QOVA_GetStatus()), kReady);
}

TEST_F(WorkbenchApi, LabelsSentDuringAFaultWaitAndPrintInOrderWhenItClears) {
    start({"--port", "0", "--http", "127.0.0.1:0"});
    LibraryConnection lib(printerPort("default"));
    ASSERT_TRUE(lib.ok());
    ASSERT_TRUE(lib.send(formJob()));
    for (int i = 1; i <= 3; ++i) ASSERT_TRUE(lib.send(labelJob("SEQ " + std::to_string(i))));
    waitFor("/printers/default", [](const json& j) { return j["counters"]["labels"] == 3; });
    ASSERT_EQ(put("/printers/default/faults/paper-out"), 200);
    for (int i = 4; i <= 10; ++i) ASSERT_TRUE(lib.send(labelJob("SEQ " + std::to_string(i))));
    // The status query on the same connection, behind the waiting labels, is answered at once.
    const std::string status = QOVA_GetStatus();
    EXPECT_EQ(status.substr(0, 47), "STATUS;FAULT\r\nFAULT;PAPER OUT\r\nLABELS PRINTED;3");
    const json held = getJson("/printers/default");
    EXPECT_EQ(held["waiting"], 7);
    EXPECT_EQ(held["gallery"]["count"], 3);
    EXPECT_EQ(held["counters"]["labels"], 3);

    ASSERT_EQ(del("/printers/default/faults/paper-out"), 200);
    const json p = getJson("/printers/default");
    EXPECT_EQ(p["counters"]["labels"], 10);
    EXPECT_EQ(p["waiting"], 0);
    const json labels = getJson("/printers/default/labels");
    ASSERT_EQ(labels["labels"].size(), 10u);
    for (int i = 0; i < 10; ++i) {  // newest first
        EXPECT_EQ(labels["labels"][i]["id"], 10 - i);
        EXPECT_EQ(labels["labels"][i]["texts"], json::array({"SEQ " + std::to_string(10 - i)}));
    }
    EXPECT_NE(std::string(QOVA_GetStatus()).find("STATUS;READY\r\nLABELS PRINTED;10\r\n"), std::string::npos);
    // On one connection, each label keeps the bytes sent since the one before.
    auto c = client();
    EXPECT_EQ(c.Get("/printers/default/labels/5.txt")->body, labelJob("SEQ 5"));
    EXPECT_EQ(c.Get("/printers/default/labels/1.txt")->body, formJob() + labelJob("SEQ 1"));
}

TEST_F(WorkbenchApi, AFullWaitingQueueStopsReadingThatHostNotTheOthers) {
    start({"--printer", "p:0", "--keep", "4", "--http", "127.0.0.1:0"});
    const int setup = connectTo(printerPort("p"));
    sendAll(setup, formJob() + "~STATUS");
    readUntil(setup, "END\r\n", 5000);
    close(setup);
    ASSERT_EQ(put("/printers/p/faults/paused"), 200);
    const int host = connectTo(printerPort("p"));
    std::string burst;
    for (int i = 1; i <= 12; ++i) burst += labelJob("SEQ " + std::to_string(i));
    sendAll(host, burst + "~STATUS");
    waitFor("/printers/p", [](const json& j) { return j["waiting"] == 4; });
    // The held host's own status query waits behind its labels ...
    EXPECT_EQ(readUntil(host, "END\r\n", 300), "");
    // ... another host's is answered during the fault.
    const int other = connectTo(printerPort("p"));
    sendAll(other, "~STATUS");
    const std::string during = "STATUS;FAULT\r\nFAULT;PAUSED\r\nLABELS PRINTED;0\r\n";
    EXPECT_EQ(readUntil(other, "END\r\n", 5000).substr(0, during.size()), during);
    close(other);
    EXPECT_EQ(getJson("/printers/p")["waiting"], 4);  // nothing more was read

    ASSERT_EQ(del("/printers/p/faults/paused"), 200);
    EXPECT_NE(readUntil(host, "END\r\n", 5000).find("STATUS;READY\r\nLABELS PRINTED;12\r\n"), std::string::npos);
    close(host);
    const json labels = getJson("/printers/p/labels");
    ASSERT_EQ(labels["labels"].size(), 4u);  // --keep 4: the newest
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(labels["labels"][i]["id"], 12 - i);
        EXPECT_EQ(labels["labels"][i]["texts"], json::array({"SEQ " + std::to_string(12 - i)}));
    }
}

TEST_F(WorkbenchApi, LongBurstsToEveryPrinterDoNotHoldTheApiBack) {
    const char* names[] = {"p", "q", "r", "s"};
    std::vector<std::string> args;
    for (const char* n : names) args.insert(args.end(), {"--printer", std::string(n) + ":0:paper=2000x1000"});
    args.insert(args.end(), {"--http", "127.0.0.1:0"});
    start(args);
    std::string burst = formJob();
    for (int i = 1; i <= 3000; ++i) burst += labelJob("SEQ " + std::to_string(i));
    std::vector<int> hosts;
    std::vector<std::thread> senders;
    for (const char* n : names) {
        hosts.push_back(connectTo(printerPort(n)));
        senders.emplace_back([&burst, fd = hosts.back()] { sendAll(fd, burst + "~STATUS"); });
    }
    // While the printers take their bursts in, line after line, the API answers at once.
    long long worst = 0;
    int during = 0;
    for (int i = 0; i < 40; ++i) {
        const auto t = std::chrono::steady_clock::now();
        const json j = getJson("/printers/" + std::string(names[i % 4]));
        worst = std::max<long long>(worst, std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - t).count());
        if (j["counters"]["labels"] < 3000) ++during;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (auto& t : senders) t.join();
    for (int fd : hosts) {
        EXPECT_NE(readUntil(fd, "END\r\n", 30000).find("LABELS PRINTED;3000\r\n"), std::string::npos);
        close(fd);
    }
    EXPECT_GE(during, 10) << "the bursts were over too soon to tell";
    EXPECT_LT(worst, 150) << "the API waited behind the printers' intake";
}

TEST_F(WorkbenchApi, BadRequestsGetJsonErrorsAndSlowClientsTimeOut) {
    start({"--printer", "a:0", "--printer", "b:0", "--max-body", "1024", "--http-timeout", "500",
           "--http-threads", "2", "--max-form-bytes", "4096", "--http", "127.0.0.1:0"});
    auto c = client();
    const auto expectError = [](const httplib::Result& r, int status) {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, status);
        EXPECT_EQ(r->get_header_value("Content-Type"), "application/json");
        const json j = json::parse(r->body, nullptr, false);
        ASSERT_TRUE(j.is_object()) << r->body;
        EXPECT_TRUE(j["error"].is_string()) << r->body;
    };
    expectError(c.Get("/printers/nobody"), 404);
    expectError(c.Put("/printers/a/faults/on-fire"), 404);
    expectError(c.Get("/printers/a/labels?since=-1"), 400);
    expectError(c.Get("/printers/a/labels/99.png"), 404);
    expectError(c.Get("/no/such/route"), 404);
    expectError(c.Post("/render", std::string(2048, 'x'), "text/plain"), 413);

    // A client that sends nothing holds no thread: others are served
    // meanwhile, and the silent one is let go.
    const int silent = connectTo(httpPort_);
    const auto served = c.Get("/printers");
    ASSERT_TRUE(served);
    EXPECT_EQ(served->status, 200);
    EXPECT_GE(msUntilClosed(silent, 5000), 0) << "a client that sends nothing is never let go";
    close(silent);
    // A malformed request and a body larger than it says are answered 400.
    const int raw = connectTo(httpPort_);
    sendAll(raw, "NOT HTTP AT ALL\r\n\r\n");
    const std::string answer = readUntil(raw, "}", 3000);
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 400") << answer;
    EXPECT_NE(answer.find("{\"error\":"), std::string::npos) << answer;
    close(raw);
    // A chunked body past the cap: 413 without reading it all.
    const int chunked = connectTo(httpPort_);
    sendAll(chunked, "POST /render HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n800\r\n" +
                         std::string(0x800, 'y') + "\r\n");
    EXPECT_EQ(readUntil(chunked, "\r\n", 3000).substr(0, 12), "HTTP/1.1 413");
    close(chunked);

    // A label program that never ends on printer a: its form grows past the
    // bound and is dropped; a's status and printer b are served meanwhile.
    const int endless = connectTo(printerPort("a"));
    sendAll(endless, "~CREATE;LONG;X\r\nSCALE;DOT;203;203\r\n");
    for (int i = 0; i < 200; ++i) sendAll(endless, "ALPHA\r\nPOINT;10;10;10;10;\"" + std::string(60, 'z') + "\"\r\nSTOP\r\n");
    const int b = connectTo(printerPort("b"));
    sendAll(b, formJob() + labelJob("B 1") + "~STATUS");
    EXPECT_NE(readUntil(b, "END\r\n", 5000).find("LABELS PRINTED;1\r\n"), std::string::npos);
    close(b);
    const int status = connectTo(printerPort("a"));
    sendAll(status, "~STATUS");
    const std::string a = readUntil(status, "END\r\n", 5000);
    EXPECT_NE(a.find("FORMS STORED;0\r\nLOGOS STORED;0\r\nERRORS;1\r\n"), std::string::npos) << a;
    close(status);
    close(endless);
    EXPECT_EQ(getJson("/printers/b")["gallery"]["count"], 1);
}

TEST(WorkbenchOptions, HttpStaysOnLoopbackUnlessToldOtherwise) {
    const std::string bad = std::string(QOVEMU_PROGRAM) + " --port 0 --http 0.0.0.0:0 2>&1";
    FILE* p = popen(bad.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512] = {};
    const std::size_t n = fread(buf, 1, sizeof buf - 1, p);
    const int rc = pclose(p);
    EXPECT_NE(rc, 0);
    EXPECT_NE(std::string(buf, n).find("--http takes a loopback address"), std::string::npos) << buf;
}

}  // namespace
}  // namespace qovemu::test
