// The Linux backend. Until its transports are in place every primitive
// reports failure: nothing opens.
#include "platform/platform.h"

namespace qov {
namespace {

class PosixPlatform final : public Platform {
public:
    std::uint32_t lastError() override { return 0; }
    void setLastError(std::uint32_t) override {  }
    Handle openPrinter(const char*) override { return kNullHandle; }
    std::uint32_t startDocPrinter(Handle, const char*) override { return 0; }
    bool startPagePrinter(Handle) override { return false; }
    bool writePrinter(Handle, const void*, std::uint32_t, std::uint32_t*) override { return false; }
    bool endPagePrinter(Handle) override { return false; }
    bool endDocPrinter(Handle) override { return false; }
    bool closePrinter(Handle) override { return false; }
    bool enumPrinters(std::vector<PrinterEntry>&) override { return false; }
    bool printerPortName(Handle, std::string&) override { return false; }
    ManagementResult queryPrinterOffline(const char*, bool*) override { return ManagementResult::Failed; }
    Handle createFile(const char*, std::uint32_t, std::uint32_t, Disposition, std::uint32_t) override { return kInvalidHandle; }
    bool closeHandle(Handle) override { return false; }
    bool writeFile(Handle, const void*, std::uint32_t, std::uint32_t*, Overlapped*) override { return false; }
    bool readFile(Handle, void*, std::uint32_t, std::uint32_t*, Overlapped*) override { return false; }
    bool getOverlappedResult(Handle, Overlapped*, std::uint32_t*, bool) override { return false; }
    bool cancelIo(Handle) override { return false; }
    bool fileSize(Handle, std::uint64_t*) override { return false; }
    Handle createEvent(bool, bool) override { return kNullHandle; }
    bool resetEvent(Handle) override { return false; }
    WaitResult waitForSingleObject(Handle, std::uint32_t) override { return WaitResult::Failed; }
    bool getCommState(Handle, SerialState*) override { return false; }
    bool setCommState(Handle, const SerialState&) override { return false; }
    bool setCommTimeouts(Handle, const CommTimeouts&) override { return false; }
    bool enumUsbDevicePaths(std::vector<std::string>&) override { return false; }
    int socketStartup() override { return -1; }
    int socketCleanup() override { return -1; }
    Socket createTcpSocket() override { return kInvalidSocket; }
    std::uint32_t inetAddr(const char*) override { return 0xFFFFFFFFu; }
    int connect(Socket, std::uint32_t, std::uint16_t) override { return -1; }
    int setNonBlocking(Socket, bool) override { return -1; }
    int setSendTimeout(Socket, std::uint32_t) override { return -1; }
    int setReceiveTimeout(Socket, std::uint32_t) override { return -1; }
    int selectWritable(Socket, long, long) override { return -1; }
    int socketError(Socket, int*) override { return -1; }
    int send(Socket, const void*, int) override { return -1; }
    int recv(Socket, void*, int) override { return -1; }
    int closeSocket(Socket) override { return -1; }
    int socketLastError() override { return -1; }
    int multiByteToWide(std::uint32_t, const char*, int, char16_t*, int) override { return -1; }
    int wideToMultiByte(std::uint32_t, const char16_t*, int, char*, int) override { return -1; }
    void messageBox(const char*, const char*, Icon) override {  }
    void messageBoxWide(const char16_t*, const char16_t*, Icon) override {  }
    void writeStdout(const char*) override {  }
    void sleep(std::uint32_t) override {  }
    std::int64_t calendarSeconds() override { return 0; }};

}  // namespace

Platform& nativePlatform() {
    static PosixPlatform platform;
    return platform;
}

}  // namespace qov
