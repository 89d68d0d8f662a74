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

// SQL LIKE as queryPrinterOffline applies it to printer names (the
// shared matcher of platform/like_pattern.h, sets "[a-c]" included):
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

    // The time from which the steps after the last matched Expect
    // count their delays (0 for a device or printer until an Expect
    // matches; the connect time for a network connection). Leading steps
    // with no Expect before them are scheduled from here the first time the
    // library writes to or reads from the endpoint.
    std::uint64_t anchorMs = 0;

    bool scriptDone() const { return nextStep >= script.size() && readable.empty(); }
};

enum class DeviceKind { Lpt, Com, Usb, File };

// Further error codes the simulation sets (Windows / Winsock values).
enum : std::uint32_t {
    kSimErrorInvalidFunction = 1,        // serial call on a non-COM device, fileSize on a device
    kSimErrorSharingViolation = 32,      // createFile: share modes of the open handles forbid it
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

// How devices behave (createFile finds a device by its exact path):
// - createFile: an unknown path fails with kErrorFileNotFound unless the
//   disposition is CreateAlways or OpenAlways, which add a new File device.
//   CreateAlways empties a File's content; OpenAlways keeps it and the
//   handle writes from offset 0 on, overwriting. openFails: kErrorAccessDenied.
//   A COM port that has a handle open cannot be opened again
//   (kErrorAccessDenied); other devices and files follow the share modes of
//   the handles open on them (kSimErrorSharingViolation).
// - Writes go into io (received, writes, the script's Expect) and into
//   `writes`; a File's also into content at the handle's position. A write
//   without a record on an overlapped handle fails (kErrorInvalidParameter).
//   With a record on an overlapped handle and writesPend, the write returns
//   false with kErrorIoPending and completes writeCompletesAfterMs after it
//   began: when the clock reaches that moment (a sleep, a wait, a blocking
//   read) or when it is waited on; with 0, at the next wait or clock step.
// - A read that fails at once (after a Fail step) completes nothing: its
//   event is not set and no result is kept for its record.
// - Overlapped reads (a record on an overlapped handle): a chunk readable now
//   completes at once (true, event set); otherwise false with kErrorIoPending,
//   and the request completes with the next chunk (or with 0 bytes at Close;
//   failed at Fail) when the clock reaches it. A record on a handle not
//   opened overlapped makes a synchronous read (its event is set after).
// - Synchronous reads: a File reads content at the handle's position; LPT
//   returns the chunk readable now or 0 bytes; USB returns the next chunk
//   when it arrives (the clock advances to it), or 0 bytes after 5000 ms (the USB wait) when
//   none is scripted; COM waits for the next chunk at most
//   readTotalConstant + readTotalMultiplier * size ms, or readInterval ms
//   when both totals are 0 (not at all when readInterval is 0xFFFFFFFF; with
//   every time-out 0 until a chunk comes, "wait forever" when none is
//   scripted), else returns 0 bytes after that time. After Close reads give 0
//   bytes (true); after Fail they fail (kSimErrorDeviceNotConnected).
// - cancelIo ends the handle's pending requests (kErrorOperationAborted from
//   getOverlappedResult; their events are set, as Windows does); their data
//   stays readable. Closing a handle cancels its pending requests the same way.
struct Device {
    std::string path;
    DeviceKind kind = DeviceKind::File;
    Endpoint io;
    std::string content;      // File: its content (reads come from here, writes overwrite)
    bool openFails = false;   // createFile on it fails
    bool writesPend = false;  // overlapped writes stay pending until their event is waited on
                              // (or the clock reaches their completion, see above)
    std::uint32_t writeCompletesAfterMs = 0;  // pending write completes this long after it began
    bool writeShortens = false;               // writes report one byte less than asked
                                              // (all the bytes are still delivered and recorded)
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

// A TCP peer at an address and port. Each accepted connect makes a new
// connection Endpoint (named "tcp:<a>:<p>", the script copied from the peer,
// its leading steps counted from the connect time).
// - connect, blocking: Accept -> 0; Refuse -> -1 kWsaConnRefused at once;
//   Silent or no peer at that address and port -> the clock advances
//   connectTimeoutMs (21000 with no peer), -1 kWsaTimedOut.
// - connect, non-blocking: -1 kWsaWouldBlock; selectWritable then returns 1
//   at once for Accept (connected); for Refuse and Silent it advances its
//   whole time-out and returns 0 (a failed connect is never writable), and
//   for Refuse socketError then gives kWsaConnRefused.
// - inetAddr reads the forms inet_addr reads: one to four parts, decimal,
//   octal or hex, the last filling the remaining bytes ("10.0.0" is 10.0.0.0).
// - send: the count (at most partialSend when that is >= 0; only the bytes
//   delivered are recorded); -1 kSimWsaNotConn when not connected, -1
//   kWsaConnReset once a Close or Fail step has come (the peer is gone).
//   A peer with pauseMs > 0 reads nothing for that long after the connect:
//   until then its connection takes at most bufferBytes in all. When they
//   are full a non-blocking send gives -1 kWsaWouldBlock at once; a blocking
//   one waits (advancing the clock) until the pause ends or the peer goes,
//   at most its send time-out, then gives -1 kWsaTimedOut.
// - selectWritable on a connected socket: 1 while the connection takes
//   bytes or once the peer is gone; otherwise it waits for that as a
//   blocking send does, at most its own time-out, then 0.
// - recv: one chunk (or its first part); 0 after Close; -1 kWsaConnReset after
//   Fail; with nothing readable, a non-blocking socket gives -1 kWsaWouldBlock
//   at once, a blocking one waits for the next chunk up to its receive
//   time-out (advancing the clock) and then gives -1 kWsaTimedOut (no
//   time-out and nothing scripted: "wait forever", -1 kWsaTimedOut at once).
// - lastError() and socketLastError() share one value, as on Windows.
struct NetworkPeer {
    enum Behaviour {
        Accept,   // connects at once
        Refuse,   // connect fails at once (connection refused)
        Silent,   // no answer: blocking connect fails after connectTimeoutMs,
                  // a non-blocking connect never completes
    } behaviour = Accept;
    std::uint32_t connectTimeoutMs = 21000;
    int partialSend = -1;               // >= 0: every send delivers at most this many bytes
    std::uint32_t pauseMs = 0;          // reads nothing for this long after the connect
    std::size_t bufferBytes = 65536;    // what a connection holds while the peer pauses
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
    // A guard against loops that never end. When more than this many
    // calls are logged while the virtual clock stands still, the simulation
    // prints the last calls to stderr and aborts the test program. 0: off.
    std::uint64_t runawayCallLimit = 1000000;

    // ---- what happened --------------------------------------------------
    std::vector<WriteRecord> writes;        // every write, in order
    std::vector<MessageBoxRecord> boxes;    // every message box, in order
    std::vector<std::uint32_t> sleeps;      // every sleep's length
    std::vector<std::string> calls;         // call log, e.g. "OpenPrinter ZP-1", "closesocket tcp:127.0.0.1:9100"
    // The exact entries of `calls`, one per primitive called, in order.
    // <name> is a printer name, <path> a device path as given to createFile,
    // <target> "tcp:<a.b.c.d>:<port>". A call on a handle or socket that is
    // unknown or already closed logs "<Call> invalid" instead of its name
    // (e.g. "CloseHandle invalid", "ClosePrinter invalid", "recv invalid").
    //   spooler:  "OpenPrinter <name>" (also when the name is unknown),
    //             "StartDocPrinter <name> <docName>", "StartPagePrinter <name>",
    //             "WritePrinter <name>", "EndPagePrinter <name>",
    //             "EndDocPrinter <name>", "ClosePrinter <name>",
    //             "EnumPrinters", "GetPrinter <name>" (printerPortName),
    //             "ExecQuery <whole query text>" (queryPrinterOffline)
    //   files:    "CreateFile <path>" (also when it fails), "CloseHandle <path>",
    //             "WriteFile <path>", "ReadFile <path>", "CancelIo <path>",
    //             "GetFileSize <path>", "GetOverlappedResult unknown" (a record
    //             no read or write of the simulation used; only then logged)
    //   events:   "CreateEvent" or, when it fails, "CreateEvent failed";
    //             "ResetEvent", "CloseHandle event",
    //             "WaitForSingleObject <ms>" or "WaitForSingleObject INFINITE"
    //   serial:   "GetCommState <path>", "SetCommState <path>", "SetCommTimeouts <path>"
    //   USB:      "EnumUsbDevices"
    //   sockets:  "WSAStartup", "WSACleanup", "socket" (or "socket failed"),
    //             "connect <target>", "ioctlsocket FIONBIO 1" / "... 0",
    //             "setsockopt SO_SNDTIMEO <ms>", "setsockopt SO_RCVTIMEO <ms>",
    //             "select", "getsockopt SO_ERROR", "send <target>",
    //             "recv <target>", "closesocket <target>" ("closesocket" alone
    //             for a socket that never connected); send/recv on a socket
    //             that never connected log "send unconnected"/"recv unconnected"
    //   UI/time:  "MessageBox <caption>: <text>", "MessageBoxW <caption>: <text>"
    //             (UTF-8), "Sleep <ms>"
    //   "wait forever": logged after the entry of a call that would block for
    //             ever on Windows (infinite wait, getOverlappedResult with wait,
    //             blocking recv without time-out, serial read without
    //             time-outs, with nothing scripted that ends it); the call
    //             then fails at once instead.
    // Not logged: inetAddr, lastError/setLastError, code-page conversions,
    // writeStdout, calendarSeconds, socketLastError.
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
    // File, device and printer handles still open (events not counted).
    int openHandleCount() const;
    // Sockets created and not yet closed.
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
    std::uint64_t tickMs() override;

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
