// The Linux backend: BSD sockets, termios, device files, sysfs, CUPS and
// iconv behind qov::Platform. Each service lives in a file of its own
// (posix_sockets.cpp, posix_serial.cpp, ...); this header only gathers the
// members so the class can be split across them.
#pragma once

#include "platform/platform.h"

namespace qov::posix {

class PosixPlatform final : public Platform {
public:
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
    std::uint32_t spoolerCodePage() override;

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
    Handle adoptCallerHandle(std::intptr_t value) override;
    void releaseCallerHandle(Handle h) override;

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
};

}  // namespace qov::posix
