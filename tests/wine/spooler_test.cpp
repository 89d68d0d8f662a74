// The print spooler: a raw CUPS queue that delivers to the peer, reached by
// its queue name and by its port name, and the management query.
#include "harness.h"

namespace {

#ifdef _WIN64
const char kArch[] = "x64";
#else
const char kArch[] = "x86";
#endif

// A document text that no other run sends, so that a late job of an
// earlier run cannot be taken for this one.
std::string uniqueText(const char* what) {
    return std::string(what) + " " + kArch + " " + std::to_string(wt::nowMs());
}

// Polls the peer until the queue has delivered `bytes`; the spooler
// delivers only after the document has ended.
bool delivered(const std::string& bytes) {
    const std::uint64_t end = wt::nowMs() + 30000;
    do {
        if (wt::peerReceived("cups").find(bytes) != std::string::npos) return true;
        Sleep(200);
    } while (wt::nowMs() < end);
    return false;
}

}  // namespace

WT_CASE(spooler_queue_receives_the_document) {
    const std::string queue = wt::setting("QOV_QUEUE");
    const std::string text = uniqueText("SPOOLED");
    WT_REQUIRE(QOV_PLAIN(openport)(queue.c_str()) == 0);
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)(text.c_str()), 1);
    // A spooler connection cannot be read.
    WT_CHECK_EQ(QOV_PLAIN(QOVA_Read)("END\r\n"), "");
    WT_CHECK_EQ(QOV_PLAIN(closeport)(), 1);
    WT_CHECK(delivered(text + "\r\n"));
}

WT_CASE(spooler_lookups_by_port_name) {
    const std::string queue = wt::setting("QOV_QUEUE");
    const std::string port = "CUPS:" + queue;
    auto closeport = QOV_PLAIN(closeport);

    WT_CHECK_EQ(QOV_PLAIN(driver_portname)(queue.c_str()), port);
    WT_CHECK_EQ(closeport(), 1);  // driver_portname opened it with a document

    auto compareport = QOV_DECORATED(compareport, "?compareport@@YAHPEAD@Z");
    std::string name = port;
    WT_REQUIRE(compareport(&name[0]) == 1);
    const std::string text = uniqueText("COMPARED");
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)(text.c_str()), 1);
    WT_CHECK_EQ(closeport(), 1);
    WT_CHECK(delivered(text + "\r\n"));

    auto returndriver = QOV_DECORATED(returndriver, "?returndriver@@YAPEADPEAD@Z");
    WT_CHECK_EQ(returndriver(&name[0]), queue);
    // The printer is open but no connection is: plain sends refuse.
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)("X"), 0);
    WT_CHECK_EQ(QOV_DECORATED(closeportmult, "?closeportmult@@YAHH@Z")(1), 1);

    // Port names compare exactly: another case finds nothing and says so.
    WT_REQUIRE(wt::recordMessageBoxes());
    wt::shownBoxes().clear();
    std::string lower = "cups:" + queue;
    WT_CHECK_EQ(compareport(&lower[0]), 0);
    WT_REQUIRE(wt::shownBoxes().size() == 2);
    WT_CHECK_EQ(wt::shownBoxes()[0].text, lower);
    WT_CHECK_EQ(wt::shownBoxes()[1].text, "Can't Find Printer Driver, Please check Driver Name");
    WT_CHECK_EQ(wt::shownBoxes()[1].caption, "Error Message");
    char other[] = "NOPORT:";
    WT_CHECK_EQ(returndriver(other), "-1");
}

WT_CASE(driver_status_is_reported) {
    // Wine's management service may not know WorkOffline; the values are
    // reported, and only the range of results is checked.
    const std::string queue = wt::setting("QOV_QUEUE");
    auto driverStatus = QOV_PLAIN(driver_status);
    const int known = driverStatus(queue.c_str());
    const int unknown = driverStatus("no such printer");
    const int any = driverStatus("%");  // LIKE: every printer; the first is read
    wt::note("driver_status(\"" + queue + "\") = " + std::to_string(known) +
             ", driver_status(\"no such printer\") = " + std::to_string(unknown) +
             ", driver_status(\"%\") = " + std::to_string(any));
    WT_CHECK(known >= -1 && known <= 1);
    WT_CHECK(any >= -1 && any <= 1);
    WT_CHECK(unknown == 0 || unknown == -1);  // never "online"
}
