// Port names: LPT1 mapped to a file, COM1 mapped to a pty whose far end is
// the peer, and names that are neither a printer nor a port.
#include <cstdlib>

#include "harness.h"

namespace {

std::string lpt1Content() {
    std::string content;
    WT_REQUIRE(wt::readWholeFile(wt::windowsPath(wt::setting("QOV_LPT1_FILE")), content));
    return content;
}

}  // namespace

WT_CASE(lpt1_writes_reach_the_port) {
    auto openport = QOV_PLAIN(openport);
    auto sendcommand = QOV_PLAIN(sendcommand);
    auto closeport = QOV_PLAIN(closeport);

    WT_REQUIRE(openport("LPT1") == 0);
    WT_CHECK_EQ(sendcommand("LPTDATA"), 1);
    WT_CHECK_EQ(QOV_PLAIN(sendBinaryData)("AB\0C", 4), 1);  // the zero byte goes out too
    WT_CHECK_EQ(closeport(), 1);
    WT_CHECK_EQ(lpt1Content(), std::string("LPTDATA\r\nAB\0C\r\n", 15));

    // Lower case and blanks are normalised once the spooler has refused the
    // name; the port is opened anew (create-always), so only the new bytes
    // are there.
    WT_REQUIRE(openport(" lpt1 ") == 0);
    WT_CHECK_EQ(sendcommand("SECOND"), 1);
    WT_CHECK_EQ(closeport(), 1);
    WT_CHECK_EQ(lpt1Content(), "SECOND\r\n");
}

WT_CASE(com1_openport_send_and_read_reply) {
    wt::peerClear("com");
    WT_REQUIRE(QOV_PLAIN(openport)("COM1") == 0);
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)("COMDATA"), 1);
    WT_CHECK_EQ(wt::peerAwait("com", 9, 3000), "COMDATA\r\n");

    // The peer answers in two chunks 300 ms apart; the serial reader keeps
    // collecting until the terminator has arrived.
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)("~STATUS"), 1);
    WT_CHECK_EQ(QOV_PLAIN(QOVA_Read)("END\r\n"), "STATUS;READY;LABELS 0\r\nEND\r\n");
    WT_CHECK_EQ(wt::peerReceived("com"), "COMDATA\r\n~STATUS\r\n");
    WT_CHECK_EQ(QOV_PLAIN(closeport)(), 1);
}

WT_CASE(com1_opencomport_sends_with_fixed_line_settings) {
    wt::peerClear("com");
    auto opencomport = QOV_DECORATED(opencomport, "?opencomport@@YAPEADPEAD@Z");
    char name[] = "COM1";
    WT_CHECK_EQ(opencomport(name), "1");
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)("OVERLAPPED"), 1);
    WT_CHECK_EQ(wt::peerAwait("com", 12, 3000), "OVERLAPPED\r\n");
    const std::string line = wt::peerTermios();
    wt::note("after opencomport: " + line);
    WT_CHECK_EQ(wt::termiosField(line, "speed"), 9600);
    WT_CHECK_EQ(wt::termiosField(line, "cstopb"), 0);
    WT_CHECK_EQ(QOV_PLAIN(closeport)(), 1);
}

WT_CASE(com1_setrs232_changes_line_settings) {
    auto setRs232 = QOV_DECORATED(SetRS232, "?SetRS232@@YAHPEADHHHH@Z");
    char name[] = "COM1";

    // 115200 baud, even parity, 7 data bits, two stop bits.
    WT_CHECK_EQ(setRs232(name, 12, 2, 1, 2), 1);
    std::string line = wt::peerTermios();
    wt::note("after SetRS232(12, 2, 1, 2): " + line);
    WT_CHECK_EQ(wt::termiosField(line, "speed"), 115200);
    WT_CHECK_EQ(wt::termiosField(line, "cstopb"), 1);
    // A pty keeps 8 data bits and no parity whatever it is told, so parity
    // and data bits are reported above, not asserted.

    // Index 13 is no rate: the rate stays, the stop bits change back.
    WT_CHECK_EQ(setRs232(name, 13, 0, 0, 0), 1);
    line = wt::peerTermios();
    WT_CHECK_EQ(wt::termiosField(line, "speed"), 115200);
    WT_CHECK_EQ(wt::termiosField(line, "cstopb"), 0);

    WT_CHECK_EQ(setRs232(name, 6, 0, 0, 0), 1);
    WT_CHECK_EQ(wt::termiosField(wt::peerTermios(), "speed"), 9600);
}

WT_CASE(unknown_name_shows_two_boxes_and_fails) {
    WT_REQUIRE(wt::recordMessageBoxes());
    auto& boxes = wt::shownBoxes();
    auto openport = QOV_PLAIN(openport);
    const UINT warning = MB_OK | MB_ICONWARNING;

    for (const char* name : {" No Such Printer ", "COM6", "LPT5"}) {
        boxes.clear();
        const std::uint64_t start = wt::nowMs();
        WT_CHECK_EQ(openport(name), 1);
        // Without a display a box returns at once: the call must not block.
        WT_CHECK(wt::nowMs() - start < 5000);
        WT_REQUIRE(boxes.size() == 2);
        // The first box shows the name exactly as passed.
        WT_CHECK_EQ(boxes[0].text, name);
        WT_CHECK_EQ(boxes[1].text, "Can't Find Printer Driver, Please check Driver Name");
        for (const wt::ShownBox& box : boxes) {
            WT_CHECK_EQ(box.caption, "Error Message");
            WT_CHECK_EQ(static_cast<int>(box.style), static_cast<int>(warning));
            WT_CHECK(!box.owned);
            WT_CHECK(!box.wide);
        }
    }
    // The failed open leaves no connection: nothing can be sent.
    WT_CHECK_EQ(QOV_PLAIN(sendcommand)("X"), 0);
}

WT_CASE(usb_enumeration_without_printers) {
    // Wine presents no USB printer: SetupAPI lists nothing that passes the
    // vendor filter, and each USB path says so in its own way.
    WT_REQUIRE(wt::recordMessageBoxes());
    auto& boxes = wt::shownBoxes();
    boxes.clear();
    WT_CHECK_EQ(QOV_PLAIN(openport)("USB"), 1);
    WT_CHECK_EQ(QOV_PLAIN(openport_async)("usb"), 1);
    WT_CHECK_EQ(QOV_PLAIN(openport_usbid)(1, ""), 1);
    WT_CHECK_EQ(static_cast<int>(boxes.size()), 0);  // these fail silently
    char text[] = "X";
    WT_CHECK_EQ(QOV_DECORATED(usbportwrite, "?usbportwrite@@YAHPEAD@Z")(text), -1);
    WT_CHECK_EQ(QOV_DECORATED(usbprinterrestart, "?usbprinterrestart@@YAHXZ")(), -1);
    WT_CHECK_EQ(QOV_DECORATED(openusbportmult, "?openusbportmult@@YAHH@Z")(1), 0);
    WT_REQUIRE(boxes.size() == 1);
    WT_CHECK_EQ(boxes[0].text, "Can't find printer by USB.");
    WT_CHECK_EQ(boxes[0].caption, "Error Message");
}
