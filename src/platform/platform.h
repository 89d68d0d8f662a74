// The boundary between the library and the operating system.
//
// Every service the library asks of the OS goes through qov::Platform. The
// members mirror the Windows calls the library was designed around, narrowed
// and typed in the library's own names, so that the subsystems keep every
// behaviour (flags, orders of tests, buffers, texts, time-outs) and a backend
// only carries out one primitive at a time.
//
// Backends: win32/ (the DLL), posix/ (libqovlib.so), sim/ (unit tests).
// A process-global pointer selects the backend: it points at the build's
// native backend when the library loads; tests install another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qov {

// ---------------------------------------------------------------------------
// Handles and shared records
// ---------------------------------------------------------------------------

// An opaque OS handle: file, device, spooler printer or event. It has the
// width of a pointer so that handles can cross the API as void*.
using Handle = std::intptr_t;
// Returned by createFile on failure (the value Windows uses).
constexpr Handle kInvalidHandle = -1;
// "No handle": failed event creation, failed printer open.
constexpr Handle kNullHandle = 0;

// A TCP socket.
using Socket = std::intptr_t;
constexpr Socket kInvalidSocket = -1;

// Overlapped I/O record. Its layout is that of the Windows OVERLAPPED record
// (two pointer-sized words, two 32-bit offsets, the event), so the win32
// backend hands it to the OS as it is. Other backends keep their own state
// for a pending request keyed by the record's address. The library zeroes it
// with `ov = Overlapped{}` and sets `event`.
struct Overlapped {
    std::uintptr_t internal = 0;
    std::uintptr_t internalHigh = 0;
    std::uint32_t offset = 0;
    std::uint32_t offsetHigh = 0;
    Handle event = kNullHandle;
};

// Last-error codes the library tests (Windows values).
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorInvalidParameter = 87,
    kErrorOperationAborted = 995,
    kErrorIoIncomplete = 996,
    kErrorIoPending = 997,
};

// Socket error codes the library tests (Winsock values).
enum : int {
    kWsaWouldBlock = 10035,
    kWsaTimedOut = 10060,
    kWsaConnRefused = 10061,
    kWsaConnReset = 10054,
};

// createFile access bits.
enum : std::uint32_t { kAccessRead = 1u << 0, kAccessWrite = 1u << 1 };
// createFile share bits.
enum : std::uint32_t { kShareRead = 1u << 0, kShareWrite = 1u << 1 };
// createFile dispositions.
enum class Disposition { OpenExisting, CreateAlways, OpenAlways };
// createFile flag bits.
enum : std::uint32_t { kFlagOverlapped = 1u << 0, kFlagNormalAttributes = 1u << 1 };

// Result of waitForSingleObject.
enum class WaitResult { Signaled, Timeout, Failed };
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Serial line state: the DCB fields the library changes. Every other field
// of the port's state is kept by the backend as the port had it.
struct SerialState {
    std::uint32_t baudRate = 0;
    std::uint8_t parityCheck = 0;  // fParity
    std::uint8_t byteSize = 0;     // 5..8
    std::uint8_t parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0;     // 0 one, 1 one and a half, 2 two
};

// Serial time-outs in milliseconds (the COMMTIMEOUTS record).
struct CommTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// One entry of the local spooler's printer list.
struct PrinterEntry {
    std::string printerName;
    std::string portName;
};

// Icons of a message box.
enum class Icon { Warning, Information };

// Result of the printer management query.
enum class ManagementResult {
    Found,     // the first matching printer was read; `offline` holds WorkOffline
    NotFound,  // the query ran and matched no printer
    Failed,    // the management service could not be reached or queried
};

// Code pages.
enum : std::uint32_t { kCodePageAnsi = 0, kCodePageUtf8 = 65001 };

// ---------------------------------------------------------------------------
// The interface
// ---------------------------------------------------------------------------

class Platform {
public:
    virtual ~Platform() = default;

    // --- last error --------------------------------------------------------
    // The calling thread's last error (GetLastError/SetLastError). File,
    // event and wait primitives set it when they fail.
    virtual std::uint32_t lastError() = 0;
    virtual void setLastError(std::uint32_t code) = 0;

    // --- print spooler -----------------------------------------------------
    // Opens a spooler printer by name with no data type, no device mode and
    // desired access 0. Returns the printer handle, or kNullHandle when the
    // spooler does not know the name.
    virtual Handle openPrinter(const char* name) = 0;
    // Starts a document at level 1 with the given document name, no output
    // file and no data type. Returns the print job id, 0 on failure.
    virtual std::uint32_t startDocPrinter(Handle printer, const char* docName) = 0;
    virtual bool startPagePrinter(Handle printer) = 0;
    // Writes bytes into the open document; `written` receives the count.
    virtual bool writePrinter(Handle printer, const void* data, std::uint32_t size,
                              std::uint32_t* written) = 0;
    virtual bool endPagePrinter(Handle printer) = 0;
    virtual bool endDocPrinter(Handle printer) = 0;
    virtual bool closePrinter(Handle printer) = 0;
    // Lists the local printers (level 5: printer and port name) in the
    // spooler's order. Returns false when the enumeration fails.
    virtual bool enumPrinters(std::vector<PrinterEntry>& out) = 0;
    // Reads the port name of an open printer (level 2). False on failure.
    virtual bool printerPortName(Handle printer, std::string& out) = 0;
    // Runs a management query for printers, given the whole query text
    // ("SELECT * from Win32_Printer WHERE Name LIKE '<pattern>'"), and reads
    // WorkOffline of the first printer returned. The backend releases every
    // object it created before it returns.
    virtual ManagementResult queryPrinterOffline(const char* query, bool* offline) = 0;
    // The code page of the spooler's printer and port names: the ANSI code
    // page on Windows; CUPS names its queues in UTF-8.
    virtual std::uint32_t spoolerCodePage() { return kCodePageAnsi; }

    // --- files and devices -------------------------------------------------
    // Opens a file or device by name: "LPT1".."LPT4", "COM1".."COM5", a USB
    // device path from enumUsbDevicePaths, or a file path. Returns
    // kInvalidHandle on failure (lastError set).
    virtual Handle createFile(const char* path, std::uint32_t access, std::uint32_t share,
                              Disposition disposition, std::uint32_t flags) = 0;
    // Closes a file, device or event handle.
    virtual bool closeHandle(Handle h) = 0;
    // Writes bytes. With ov == nullptr the write is synchronous. With an
    // overlapped record on an overlapped handle the write may stay pending:
    // it returns false with lastError kErrorIoPending and completes later
    // (its event is then set; getOverlappedResult collects the count).
    // A plain write to an overlapped handle fails (kErrorInvalidParameter).
    virtual bool writeFile(Handle h, const void* data, std::uint32_t size, std::uint32_t* written,
                           Overlapped* ov) = 0;
    // Reads up to `size` bytes, as writeFile does for writes. A synchronous
    // read on a serial port returns when its time-outs expire, possibly with
    // 0 bytes.
    virtual bool readFile(Handle h, void* data, std::uint32_t size, std::uint32_t* read,
                          Overlapped* ov) = 0;
    // Collects the result of an overlapped request. With wait, blocks until
    // it completes. Fails with kErrorIoIncomplete when not waiting and still
    // pending, with kErrorOperationAborted when it was cancelled.
    virtual bool getOverlappedResult(Handle h, Overlapped* ov, std::uint32_t* transferred,
                                     bool wait) = 0;
    // Cancels the calling thread's pending requests on the handle.
    virtual bool cancelIo(Handle h) = 0;
    // Size of an open file. False on failure.
    virtual bool fileSize(Handle h, std::uint64_t* size) = 0;
    // A device handle the application passes in (the USB chunk readers take
    // one): a Windows handle as it is; on Linux the file descriptor of an
    // open device node, which the backend takes in for the file calls above
    // as a handle opened for overlapped I/O. releaseCallerHandle ends that
    // use: the application's handle stays open and as it was. kInvalidHandle
    // when the value names nothing open.
    virtual Handle adoptCallerHandle(std::intptr_t value) { return value; }
    virtual void releaseCallerHandle(Handle /*h*/) {}

    // --- events and waits --------------------------------------------------
    // Creates an unnamed event. Returns kNullHandle on failure.
    virtual Handle createEvent(bool manualReset, bool initialState) = 0;
    virtual bool resetEvent(Handle event) = 0;
    // Waits for an event (or an overlapped request's event) for at most
    // `ms` milliseconds (kInfinite: no limit).
    virtual WaitResult waitForSingleObject(Handle event, std::uint32_t ms) = 0;

    // --- serial ports ------------------------------------------------------
    virtual bool getCommState(Handle h, SerialState* state) = 0;
    virtual bool setCommState(Handle h, const SerialState& state) = 0;
    virtual bool setCommTimeouts(Handle h, const CommTimeouts& timeouts) = 0;

    // --- USB device interfaces ---------------------------------------------
    // Enumerates the present USB device interfaces (GUID_DEVINTERFACE_USB_DEVICE)
    // in the OS's order and returns their device paths
    // ("\\?\usb#vid_xxxx&pid_xxxx#serial#{a5dcbf10-6530-11d2-901f-00c04fb951ed}").
    // Interfaces whose detail data cannot be fetched are left out. Returns
    // false when the device list cannot be built.
    virtual bool enumUsbDevicePaths(std::vector<std::string>& out) = 0;

    // --- sockets -----------------------------------------------------------
    // WSAStartup(2.2) / WSACleanup. Return 0 on success.
    virtual int socketStartup() = 0;
    virtual int socketCleanup() = 0;
    // Creates a TCP/IPv4 stream socket; kInvalidSocket on failure.
    virtual Socket createTcpSocket() = 0;
    // inet_addr: dotted IPv4 text to a network-order address; 0xFFFFFFFF
    // (INADDR_NONE) for text that is no address.
    virtual std::uint32_t inetAddr(const char* text) = 0;
    // Connects to a network-order address and a host-order port. Returns 0,
    // or -1 with socketLastError set (kWsaWouldBlock from a non-blocking
    // socket whose connect is under way).
    virtual int connect(Socket s, std::uint32_t addr, std::uint16_t port) = 0;
    virtual int setNonBlocking(Socket s, bool on) = 0;
    // SO_SNDTIMEO / SO_RCVTIMEO in milliseconds.
    virtual int setSendTimeout(Socket s, std::uint32_t ms) = 0;
    virtual int setReceiveTimeout(Socket s, std::uint32_t ms) = 0;
    // select for writability: >0 writable, 0 time-out, <0 error. A
    // connected socket is writable when its send buffer has room again, and
    // also once the connection has failed (its next send reports the error).
    // A senders' wait for a peer that has stopped reading.
    virtual int selectWritable(Socket s, long seconds, long microseconds) = 0;
    // getsockopt SO_ERROR into *value (left as it was on failure). 0 or -1.
    virtual int socketError(Socket s, int* value) = 0;
    // send, flags 0. Returns the count the socket took, which may be less
    // than `size` (a partial send: the rest has to be sent again), or -1 with
    // socketLastError: kWsaWouldBlock when a non-blocking socket's send
    // buffer is full (wait with selectWritable), kWsaTimedOut when a blocking
    // socket's send time-out expired before it took a byte (neither ends the
    // connection); any other code is a failed connection.
    virtual int send(Socket s, const void* data, int size) = 0;
    // recv, flags 0: the count, 0 when the peer closed, -1 on error
    // (socketLastError: kWsaWouldBlock only on a non-blocking socket with no
    // data; kWsaTimedOut when a blocking socket's receive time-out expired).
    virtual int recv(Socket s, void* data, int size) = 0;
    virtual int closeSocket(Socket s) = 0;
    // WSAGetLastError.
    virtual int socketLastError() = 0;

    // --- code pages --------------------------------------------------------
    // MultiByteToWideChar / WideCharToMultiByte with no flags and no default
    // character. srcLen -1 means up to and including the terminator. With
    // dstLen 0 the call returns the size needed. Returns 0 on failure.
    virtual int multiByteToWide(std::uint32_t codePage, const char* src, int srcLen,
                                char16_t* dst, int dstLen) = 0;
    virtual int wideToMultiByte(std::uint32_t codePage, const char16_t* src, int srcLen, char* dst,
                                int dstLen) = 0;

    // --- user interface ----------------------------------------------------
    // Modal message box without owner window; returns when it is closed.
    virtual void messageBox(const char* text, const char* caption, Icon icon) = 0;
    virtual void messageBoxWide(const char16_t* text, const char16_t* caption, Icon icon) = 0;
    // Writes text to the process's standard output.
    virtual void writeStdout(const char* text) = 0;

    // --- time --------------------------------------------------------------
    virtual void sleep(std::uint32_t ms) = 0;
    // The calendar clock in whole seconds (time()).
    virtual std::int64_t calendarSeconds() = 0;
    // A clock in milliseconds that only moves forward (GetTickCount64),
    // for waits measured in parts of a second.
    virtual std::uint64_t tickMs() = 0;
};

// The backend in use. Points at the native backend when the library loads.
Platform& os();
// Installs another backend (tests); nullptr restores the native one.
void setPlatform(Platform* platform);
// The build's native backend (defined by the backend linked in).
Platform& nativePlatform();

}  // namespace qov
