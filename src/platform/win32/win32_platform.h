// The Windows backend: each primitive is the Windows call it names.
//
// The members are spread over one file per group of calls (spooler, files
// and overlapped I/O, serial ports, USB enumeration, sockets, the management
// query, and the small ones in win32_platform.cpp); this header is the class
// they share. Only files under win32/ include the Windows headers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <windows.h>

#include "platform/platform.h"

namespace qov::win32 {

// Handles cross the boundary as pointer-wide integers.
inline HANDLE toWin(Handle h) { return reinterpret_cast<HANDLE>(h); }
inline Handle fromWin(HANDLE h) { return reinterpret_cast<Handle>(h); }
inline SOCKET toWinSocket(Socket s) { return static_cast<SOCKET>(s); }
inline Socket fromWinSocket(SOCKET s) { return static_cast<Socket>(s); }

// The library's overlapped record has the layout of OVERLAPPED, so it is
// handed to the system as it is (checked in win32_files.cpp).
inline OVERLAPPED* toWin(Overlapped* ov) { return reinterpret_cast<OVERLAPPED*>(ov); }

class Win32Platform final : public Platform {
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
};

}  // namespace qov::win32
