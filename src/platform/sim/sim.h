// A simulated operating system for the unit tests.
//
// Time is virtual: sleeps and waits advance the clock and never block.
// The world is data that a test sets up before it calls the library:
// spooler printers, devices (LPT, COM, USB device paths, plain files), USB
// device interfaces, network peers. Every call that reaches the world is
// recorded: the bytes of each write with its kind, message boxes, sleeps,
// and a call log in order.
//
// Replies: each device and each network connection has a script of steps.
// A step is one of: expect these bytes to have been written, reply these
// bytes after N ms, close after N ms, fail reads after N ms. The steps run
// in order; an `expect` waits until the bytes written so far (since the
// previous expect) contain the expected bytes, and the time of the matching
// write starts the delays of the steps after it. Each reply step is one
// chunk: one read returns at most one chunk (or its first part when the
// read asks for less), so a test chooses how a reply is split across reads.
// A test ends by checking that the script was used up (scriptDone()).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qov::sim {

// How a write reached its target.
enum class WriteKind {
    WritePrinter,       // spooler document
    WriteFile,          // synchronous WriteFile (no overlapped record)
    WriteFileOverlapped,// WriteFile with an overlapped record
    Send,               // socket send
};

struct WriteRecord {
    std::string target;  // printer name, device path, or "tcp:<addr>:<port>"
    WriteKind kind;
    std::string bytes;
    std::uint64_t atMs;  // virtual time of the write
};

struct MessageBoxRecord {
    std::string text;     // UTF-8 (wide boxes are converted)
    std::string caption;  // UTF-8
    Icon icon;
    bool wide;
};

// One step of a reply script.
struct Step {
    enum Kind { Expect, Reply, Close, Fail } kind;
    std::string bytes;         // Expect: bytes to wait for; Reply: the chunk
    std::uint32_t delayMs = 0; // Reply/Close/Fail: after the previous step
};
Step expect(std::string bytes);
Step reply(std::string bytes, std::uint32_t afterMs = 0);
Step closeAfter(std::uint32_t afterMs = 0);
Step failAfter(std::uint32_t afterMs = 0);

// Added: SQL LIKE as queryPrinterOffline applies it to printer names:
// '%' any run of characters, '_' exactly one, letters compared without case
// (ASCII), no escapes.
bool sqlLike(const std::string& pattern, const std::string& text);

// Something the library writes to and may read from: a device, a spooler
// printer, one network connection.
struct Endpoint {
    std::string name;
    std::vector<Step> script;
    std::size_t nextStep = 0;
    // Bytes written since the last matched expect (searched by Expect).
    std::string unmatched;
    // Chunks scheduled for reading: available from `atMs` on.
    struct Chunk {
        std::uint64_t atMs;
        std::string bytes;
    };
    std::deque<Chunk> readable;
    // Time from which reads see the end of the stream (closed) or fail.
    std::uint64_t closedAtMs = UINT64_MAX;
    std::uint64_t failAtMs = UINT64_MAX;
    // Every byte written, in order, and each write's bytes.
    std::string received;
    std::vector<std::string> writes;

    // Added: the time from which the steps after the last matched Expect
    // count their delays (0 for a device or printer until an Expect
    // matches; the connect time for a network connection). Leading steps
    // with no Expect before them are scheduled from here the first time the
    // library writes to or reads from the endpoint.
    std::uint64_t anchorMs = 0;

    bool scriptDone() const { return nextStep >= script.size() && readable.empty(); }
};

enum class DeviceKind { Lpt, Com, Usb, File };

// Added: further error codes the simulation sets (Windows / Winsock values).
enum : std::uint32_t {
    kSimErrorInvalidFunction = 1,        // serial call on a non-COM device, fileSize on a device
    kSimErrorInsufficientBuffer = 122,   // code-page conversion: dstLen too small
    kSimErrorInvalidPrinterName = 1801,  // openPrinter: unknown name
    kSimErrorDeviceNotConnected = 1167,  // ReadFile after a Fail step
    kSimErrorNoStartDoc = 3004,          // writePrinter/startPagePrinter without a document
};
enum : int {
    kSimWsaNotSocket = 10038,  // unknown or closed socket
    kSimWsaNoBufs = 10055,     // createTcpSocket with socketCreationFails
    kSimWsaIsConn = 10056,     // connect on a connected socket
    kSimWsaNotConn = 10057,    // send/recv on a socket that is not connected
};

struct Device {
    std::string path;
    DeviceKind kind = DeviceKind::File;
    Endpoint io;
    std::string content;      // File: its content (reads come from here, writes overwrite)
    bool openFails = false;   // createFile on it fails
    bool writesPend = false;  // overlapped writes stay pending until their event is waited on
    std::uint32_t writeCompletesAfterMs = 0;  // pending write completes this long after it began
    bool writeShortens = false;               // writes report one byte less than asked
    SerialState serial{9600, 0, 8, 0, 0};
    // The last time-outs passed to setCommTimeouts on a handle of this
    // device, whatever its kind (the call succeeds on COM devices only).
    CommTimeouts timeouts{};
    bool timeoutsSet = false;
    int openCount = 0;
    int openHandles = 0;      // handles currently open on the device
    std::uint32_t lastAccess = 0, lastShare = 0, lastFlags = 0;
    Disposition lastDisposition = Disposition::OpenExisting;
};

struct Printer {
    std::string name;
    std::string port;
    bool online = true;
    bool startDocFails = false;
    Endpoint io;              // bytes written into its documents
    int docsStarted = 0, docsEnded = 0, pagesStarted = 0, pagesEnded = 0;
    int openHandles = 0;
};

// A TCP peer at an address and port.
struct NetworkPeer {
    enum Behaviour {
        Accept,   // connects at once
        Refuse,   // connect fails at once (connection refused)
        Silent,   // no answer: blocking connect fails after connectTimeoutMs,
                  // a non-blocking connect never completes
    } behaviour = Accept;
    std::uint32_t connectTimeoutMs = 21000;
    int partialSend = -1;               // >= 0: every send delivers at most this many bytes
    std::vector<Step> script;           // copied into each new connection
    std::vector<std::shared_ptr<Endpoint>> connections;  // one per accepted connect
};

class SimPlatform : public Platform {
public:
    SimPlatform();
    ~SimPlatform() override;

    // ---- the world ------------------------------------------------------
    Printer& addPrinter(const std::string& name, const std::string& port, bool online = true);
    Device& addDevice(const std::string& path, DeviceKind kind);
    // Adds a plain file with content (for image downloads).
    Device& addFile(const std::string& path, const std::string& content);
    // Adds a present USB device interface with its device path; with
    // detailFails the interface's detail data cannot be fetched. The device
    // itself (to open the path) is added with addDevice(path, Usb).
    void addUsbInterface(const std::string& path, bool detailFails = false);
    NetworkPeer& addPeer(const std::string& address, std::uint16_t port);

    Printer* printer(const std::string& name);
    Device* device(const std::string& path);
    NetworkPeer* peer(const std::string& address, std::uint16_t port);
    // The n-th connection made to a peer (0 first).
    Endpoint& connectionTo(const std::string& address, std::uint16_t port, std::size_t n = 0);

    // Failure switches.
    bool usbEnumerationFails = false;
    bool enumPrintersFails = false;
    bool managementFails = false;  // queryPrinterOffline returns Failed
    int failNextEvents = 0;        // the next n createEvent calls fail
    bool socketCreationFails = false;
    std::uint32_t ansiCodePage = 1252;  // 1252 or 65001

    // ---- what happened --------------------------------------------------
    std::vector<WriteRecord> writes;        // every write, in order
    std::vector<MessageBoxRecord> boxes;    // every message box, in order
    std::vector<std::uint32_t> sleeps;      // every sleep's length
    std::vector<std::string> calls;         // call log, e.g. "OpenPrinter ZP-1", "closesocket tcp:127.0.0.1:9100"
    std::string stdoutText;
    std::vector<std::string> managementQueries;
    int socketStartups = 0, socketCleanups = 0;

    // Writes to one target, in order.
    std::vector<WriteRecord> writesTo(const std::string& target) const;
    // All bytes written to one target, concatenated.
    std::string bytesTo(const std::string& target) const;
    // Number of calls in the log that start with `prefix`.
    int countCalls(const std::string& prefix) const;
    // True when every endpoint's script was used up.
    bool allScriptsDone() const;
    // Events and handles still open (a test of cleanup).
    int openEventCount() const;
    // Added: file, device and printer handles still open (events not counted).
    int openHandleCount() const;
    // Added: sockets created and not yet closed.
    int openSocketCount() const;

    // ---- the clock ------------------------------------------------------
    std::uint64_t nowMs() const { return now_; }
    void advance(std::uint64_t ms);
    // calendarSeconds() is epochSeconds + now / 1000; the default epoch is
    // a whole second, so the clock starts at the beginning of a second.
    std::int64_t epochSeconds = 1800000000;

    // ---- Platform -------------------------------------------------------
    std::uint32_t lastError() override;
    void setLastError(std::uint32_t code) override;
    Handle openPrinter(const char* name) override;
    std::uint32_t startDocPrinter(Handle printer, const char* docName) override;
    bool startPagePrinter(Handle printer) override;
    bool writePrinter(Handle printer, const void* data, std::uint32_t size,
                      std::uint32_t* written) override;
    bool endPagePrinter(Handle printer) override;
    bool endDocPrinter(Handle printer) override;
    bool closePrinter(Handle printer) override;
    bool enumPrinters(std::vector<PrinterEntry>& out) override;
    bool printerPortName(Handle printer, std::string& out) override;
    ManagementResult queryPrinterOffline(const char* query, bool* offline) override;
    Handle createFile(const char* path, std::uint32_t access, std::uint32_t share,
                      Disposition disposition, std::uint32_t flags) override;
    bool closeHandle(Handle h) override;
    bool writeFile(Handle h, const void* data, std::uint32_t size, std::uint32_t* written,
                   Overlapped* ov) override;
    bool readFile(Handle h, void* data, std::uint32_t size, std::uint32_t* read,
                  Overlapped* ov) override;
    bool getOverlappedResult(Handle h, Overlapped* ov, std::uint32_t* transferred,
                             bool wait) override;
    bool cancelIo(Handle h) override;
    bool fileSize(Handle h, std::uint64_t* size) override;
    Handle createEvent(bool manualReset, bool initialState) override;
    bool resetEvent(Handle event) override;
    WaitResult waitForSingleObject(Handle event, std::uint32_t ms) override;
    bool getCommState(Handle h, SerialState* state) override;
    bool setCommState(Handle h, const SerialState& state) override;
    bool setCommTimeouts(Handle h, const CommTimeouts& timeouts) override;
    bool enumUsbDevicePaths(std::vector<std::string>& out) override;
    int socketStartup() override;
    int socketCleanup() override;
    Socket createTcpSocket() override;
    std::uint32_t inetAddr(const char* text) override;
    int connect(Socket s, std::uint32_t addr, std::uint16_t port) override;
    int setNonBlocking(Socket s, bool on) override;
    int setSendTimeout(Socket s, std::uint32_t ms) override;
    int setReceiveTimeout(Socket s, std::uint32_t ms) override;
    int selectWritable(Socket s, long seconds, long microseconds) override;
    int socketError(Socket s, int* value) override;
    int send(Socket s, const void* data, int size) override;
    int recv(Socket s, void* data, int size) override;
    int closeSocket(Socket s) override;
    int socketLastError() override;
    int multiByteToWide(std::uint32_t codePage, const char* src, int srcLen, char16_t* dst,
                        int dstLen) override;
    int wideToMultiByte(std::uint32_t codePage, const char16_t* src, int srcLen, char* dst,
                        int dstLen) override;
    void messageBox(const char* text, const char* caption, Icon icon) override;
    void messageBoxWide(const char16_t* text, const char16_t* caption, Icon icon) override;
    void writeStdout(const char* text) override;
    void sleep(std::uint32_t ms) override;
    std::int64_t calendarSeconds() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint64_t now_ = 0;
};

// Installs a fresh simulated OS as the backend for the lifetime of the
// object and resets all of the library's global state, before and after.
// Use one per test.
class SimScope {
public:
    SimScope();
    ~SimScope();
    SimScope(const SimScope&) = delete;
    SimScope& operator=(const SimScope&) = delete;
    SimPlatform& os() { return sim_; }
    SimPlatform* operator->() { return &sim_; }

private:
    SimPlatform sim_;
};

}  // namespace qov::sim
