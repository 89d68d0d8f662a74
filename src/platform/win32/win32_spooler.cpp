// The print spooler: OpenPrinterA, documents and pages, WritePrinter, and the
// two printer lookups (EnumPrintersA level 5, GetPrinterA level 2).
#include "platform/win32/win32_platform.h"

#include <winspool.h>

#include <new>

namespace qov::win32 {

Handle Win32Platform::openPrinter(const char* name) {
    // No data type, no device mode, desired access 0.
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, 0};
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<char*>(name), &printer, &defaults)) return kNullHandle;
    return fromWin(printer);
}

std::uint32_t Win32Platform::startDocPrinter(Handle printer, const char* docName) {
    // Level 1: document name, no output file, no data type.
    DOC_INFO_1A info{const_cast<char*>(docName), nullptr, nullptr};
    return StartDocPrinterA(toWin(printer), 1, reinterpret_cast<BYTE*>(&info));
}

bool Win32Platform::startPagePrinter(Handle printer) {
    return StartPagePrinter(toWin(printer)) != FALSE;
}

bool Win32Platform::writePrinter(Handle printer, const void* data, std::uint32_t size,
                                 std::uint32_t* written) {
    DWORD count = 0;
    const BOOL ok = WritePrinter(toWin(printer), const_cast<void*>(data), size, &count);
    if (written) *written = count;
    return ok != FALSE;
}

bool Win32Platform::endPagePrinter(Handle printer) {
    return EndPagePrinter(toWin(printer)) != FALSE;
}

bool Win32Platform::endDocPrinter(Handle printer) { return EndDocPrinter(toWin(printer)) != FALSE; }

bool Win32Platform::closePrinter(Handle printer) { return ClosePrinter(toWin(printer)) != FALSE; }

namespace {
std::string text(const char* s) { return s ? std::string(s) : std::string(); }
}  // namespace

bool Win32Platform::enumPrinters(std::vector<PrinterEntry>& out) {
    out.clear();
    try {
        // First call learns the size; the second fills a zeroed buffer.
        DWORD needed = 0;
        DWORD count = 0;
        if (EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 5, nullptr, 0, &needed, &count))
            return true;  // no local printers
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
        std::vector<BYTE> buffer(needed, 0);
        if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 5, buffer.data(), needed, &needed,
                           &count))
            return false;
        const auto* info = reinterpret_cast<const PRINTER_INFO_5A*>(buffer.data());
        out.reserve(count);
        for (DWORD i = 0; i < count; ++i)
            out.push_back(PrinterEntry{text(info[i].pPrinterName), text(info[i].pPortName)});
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
}

bool Win32Platform::printerPortName(Handle printer, std::string& out) {
    try {
        DWORD needed = 0;
        GetPrinterA(toWin(printer), 2, nullptr, 0, &needed);
        if (needed < sizeof(PRINTER_INFO_2A)) return false;
        std::vector<BYTE> buffer(needed, 0);
        if (!GetPrinterA(toWin(printer), 2, buffer.data(), needed, &needed)) return false;
        out = text(reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data())->pPortName);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace qov::win32
