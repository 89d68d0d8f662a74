// QOVA_DownloadPCX: header, body and trailer on each transport, the port
// event, and the failure boxes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "formatters_test_support.h"
#include "library_state.h"

namespace {

using fmt_test::Link;
using qov::sim::WriteKind;

const std::string kTrailer = "~RASTEREND\r\nEND\r\n";
// PCX data is binary: zero bytes and CR LF inside must go out as they are.
const std::string kImage("\x0A\x05\x01\x08\x00\x00\x00\x00\r\n\x7F\x00\xFF", 14);

std::string header(const std::string& name) { return "~LOGO;" + name + ";PCX;DISK\r\n"; }

struct TransportCase {
    Link link;
    WriteKind header;  // kind of the header and trailer writes
    WriteKind body;
};

TEST(FormattersDownload, HeaderBodyAndTrailerGoOutOnEachTransport) {
    const TransportCase cases[] = {
        {Link::Spooler, WriteKind::WritePrinter, WriteKind::WritePrinter},
        {Link::Lpt, WriteKind::WriteFile, WriteKind::WriteFile},
        {Link::Usb, WriteKind::WriteFile, WriteKind::WriteFile},
        // A handle opened for overlapped I/O rejects plain writes.
        {Link::UsbAsync, WriteKind::WriteFileOverlapped, WriteKind::WriteFileOverlapped},
        {Link::Com, WriteKind::WriteFileOverlapped, WriteKind::WriteFileOverlapped},
        {Link::Network, WriteKind::Send, WriteKind::Send},
    };
    for (const TransportCase& c : cases) {
        SCOPED_TRACE(fmt_test::linkName(c.link));
        qov::sim::SimScope sim;
        fmt_test::open(sim.os(), c.link);
        sim->addFile("C:\\logos\\seal.pcx", kImage);
        // An LPT open holds a port event already; the download replaces it.
        const qov::Handle earlier = qov::connection().portOverlapped.event;
        const int events = sim->openEventCount() - (earlier != qov::kNullHandle ? 1 : 0);

        EXPECT_EQ(QOVA_DownloadPCX("C:\\logos\\seal.pcx", "SEAL"), 1);

        const auto target = fmt_test::targetOf(c.link);
        EXPECT_EQ(fmt_test::writtenTo(sim.os(), target),
                  (std::vector<std::string>{header("SEAL"), kImage, kTrailer}));
        EXPECT_EQ(fmt_test::kindsTo(sim.os(), target),
                  (std::vector<WriteKind>{c.header, c.body, c.header}));
        EXPECT_TRUE(sim->boxes.empty());

        const qov::sim::Device* file = sim->device("C:\\logos\\seal.pcx");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->openHandles, 0);
        EXPECT_EQ(file->lastDisposition, qov::Disposition::OpenExisting);
        EXPECT_NE(file->lastAccess & qov::kAccessRead, 0u);
        EXPECT_EQ(file->lastAccess & qov::kAccessWrite, 0u);
        EXPECT_EQ(file->lastShare, qov::kShareRead);
        // The port event is new and the writes' own events are closed.
        EXPECT_NE(qov::connection().portOverlapped.event, qov::kNullHandle);
        EXPECT_NE(qov::connection().portOverlapped.event, earlier);
        EXPECT_EQ(sim->openEventCount(), events + 1);
    }
}

TEST(FormattersDownload, EmptyFilesAndFilesOfZeroBytesAreSentAsTheyAre) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    sim->addFile("empty.pcx", "");
    sim->addFile("zeros.pcx", std::string(600, '\0'));

    EXPECT_EQ(QOVA_DownloadPCX("empty.pcx", "E"), 1);
    EXPECT_EQ(QOVA_DownloadPCX("zeros.pcx", "Z"), 1);

    EXPECT_EQ(fmt_test::writtenTo(sim.os(), fmt_test::kPrinter),
              (std::vector<std::string>{header("E"), "", kTrailer, header("Z"),
                                        std::string(600, '\0'), kTrailer}));
}

TEST(FormattersDownload, EachDownloadReplacesThePortEvent) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Network);
    sim->addFile("a.pcx", "A");
    ASSERT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 1);
    const qov::Handle first = qov::connection().portOverlapped.event;
    const int events = sim->openEventCount();
    ASSERT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 1);
    EXPECT_NE(qov::connection().portOverlapped.event, first);
    EXPECT_EQ(sim->openEventCount(), events);
}

TEST(FormattersDownload, LongLogoNamesAreWrittenWhole) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Lpt);
    sim->addFile("x.pcx", "X");
    const std::string name82(82, 'N');
    const std::string name300(300, 'L');
    EXPECT_EQ(QOVA_DownloadPCX("x.pcx", name82.c_str()), 1);
    EXPECT_EQ(QOVA_DownloadPCX("x.pcx", name300.c_str()), 1);
    const auto writes = fmt_test::writtenTo(sim.os(), "LPT1");
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(writes[0], header(name82));
    EXPECT_EQ(writes[0].size(), 99u);
    EXPECT_EQ(writes[3], header(name300));
}

TEST(FormattersDownload, APartialNetworkSendIsContinuedForTheBody) {
    qov::sim::SimScope sim;
    qov::sim::NetworkPeer* peer = fmt_test::open(sim.os(), Link::Network);
    ASSERT_NE(peer, nullptr);
    peer->partialSend = 5;
    const std::string body(23, 'b');
    sim->addFile("p.pcx", body);
    EXPECT_EQ(QOVA_DownloadPCX("p.pcx", "P"), 1);
    std::string all;
    int bodySends = 0;
    for (const auto& w : sim->writesTo(fmt_test::peerTarget())) {
        all += w.bytes;
        if (w.bytes.find('b') != std::string::npos) ++bodySends;
    }
    EXPECT_NE(all.find(body), std::string::npos);
    EXPECT_EQ(bodySends, 5);  // 5 + 5 + 5 + 5 + 3
}

TEST(FormattersDownload, WithoutAnOpenConnectionNothingIsTouched) {
    qov::sim::SimScope sim;
    sim->addFile("a.pcx", "A");
    EXPECT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 0);
    EXPECT_EQ(sim->countCalls("CreateFile"), 0);
    EXPECT_TRUE(sim->boxes.empty());
    EXPECT_TRUE(sim->writes.empty());
}

TEST(FormattersDownload, WithNoTransportLeftTheResultIsZero) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Lpt);
    ASSERT_EQ(closeport(), 1);  // the open flag stays set, no transport flag does
    sim->addFile("a.pcx", "A");
    EXPECT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 0);
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_TRUE(sim->boxes.empty());
    EXPECT_EQ(sim->device("a.pcx")->openHandles, 0);
}

TEST(FormattersDownload, AMissingFileShowsItsBox) {
    qov::sim::SimScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    EXPECT_EQ(QOVA_DownloadPCX("missing.pcx", "M"), 0);
    EXPECT_EQ(QOVA_DownloadPCX(nullptr, "M"), 0);
    ASSERT_EQ(sim->boxes.size(), 2u);
    for (const auto& box : sim->boxes) {
        EXPECT_EQ(box.text, "Could not open file");
        EXPECT_EQ(box.caption, "Error Message");
        EXPECT_EQ(box.icon, qov::Icon::Warning);
        EXPECT_FALSE(box.wide);
    }
    EXPECT_TRUE(sim->writes.empty());
}

// A simulated OS whose file reads, size queries or n-th event fail.
class FaultySim : public qov::sim::SimPlatform {
public:
    bool failReads = false;
    bool failSizes = false;
    bool hugeSize = false;
    int failEventNumber = 0;  // 1 for the first createEvent from now on
    int eventsAsked = 0;

    bool readFile(qov::Handle h, void* data, std::uint32_t size, std::uint32_t* read,
                  qov::Overlapped* ov) override {
        if (failReads) {
            if (read) *read = 0;
            return false;
        }
        return SimPlatform::readFile(h, data, size, read, ov);
    }
    bool fileSize(qov::Handle h, std::uint64_t* size) override {
        if (failSizes) return false;
        if (hugeSize) {
            *size = std::uint64_t{1} << 40;
            return true;
        }
        return SimPlatform::fileSize(h, size);
    }
    qov::Handle createEvent(bool manualReset, bool initialState) override {
        if (++eventsAsked == failEventNumber) return qov::kNullHandle;
        return SimPlatform::createEvent(manualReset, initialState);
    }
};

// Installs a FaultySim for one test, with the library state reset around it.
class FaultyScope {
public:
    FaultyScope() {
        qov::resetLibraryState();
        qov::setPlatform(&sim_);
    }
    ~FaultyScope() {
        qov::resetLibraryState();
        qov::setPlatform(nullptr);
    }
    FaultySim* operator->() { return &sim_; }
    FaultySim& os() { return sim_; }

private:
    FaultySim sim_;
};

TEST(FormattersDownload, ReadAndSizeFailuresShowTheReadBox) {
    FaultyScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    sim->addFile("a.pcx", "A");
    sim->failReads = true;
    EXPECT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 0);
    sim->failReads = false;
    sim->failSizes = true;
    EXPECT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 0);
    ASSERT_EQ(sim->boxes.size(), 2u);
    for (const auto& box : sim->boxes) {
        EXPECT_EQ(box.text, "File read unsuccessfully");
        EXPECT_EQ(box.caption, "Read File Message");
        EXPECT_EQ(box.icon, qov::Icon::Warning);
    }
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(sim->device("a.pcx")->openHandles, 0);
}

TEST(FormattersDownload, AFileTooLargeToHoldShowsOutOfMemory) {
    FaultyScope sim;
    fmt_test::open(sim.os(), Link::Spooler);
    sim->addFile("big.pcx", "B");
    sim->hugeSize = true;
    EXPECT_EQ(QOVA_DownloadPCX("big.pcx", "B"), 0);
    ASSERT_EQ(sim->boxes.size(), 1u);
    EXPECT_EQ(sim->boxes[0].text, "Out of memory");
    EXPECT_EQ(sim->boxes[0].caption, "Error Message");
    EXPECT_EQ(sim->boxes[0].icon, qov::Icon::Warning);
    EXPECT_TRUE(sim->writes.empty());
    EXPECT_EQ(sim->device("big.pcx")->openHandles, 0);
}

TEST(FormattersDownload, OnlyTheBodysOwnCommEventFailing) {
    FaultyScope sim;
    fmt_test::open(sim.os(), Link::Com);
    sim->addFile("a.pcx", "BODY");
    const int events = sim->openEventCount();
    sim->eventsAsked = 0;
    sim->failEventNumber = 3;  // header write, port event, body write
    EXPECT_EQ(QOVA_DownloadPCX("a.pcx", "A"), 0);
    // The header went out; neither body nor trailer did.
    EXPECT_EQ(fmt_test::writtenTo(sim.os(), "COM1"), (std::vector<std::string>{header("A")}));
    EXPECT_EQ(sim->device("a.pcx")->openHandles, 0);
    // Only the port event is left open.
    EXPECT_EQ(sim->openEventCount(), events + 1);
}

}  // namespace
