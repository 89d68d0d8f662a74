// The backend object, and the small primitives: last error, code pages,
// message boxes, standard output, sleeping and the clock.
#include "platform/win32/win32_platform.h"

#include <cstdio>
#include <ctime>

namespace qov {

Platform& nativePlatform() {
    static win32::Win32Platform platform;
    return platform;
}

namespace win32 {

// wchar_t is the UTF-16 code unit here, so wide texts pass as they are.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

std::uint32_t Win32Platform::lastError() { return GetLastError(); }

void Win32Platform::setLastError(std::uint32_t code) { SetLastError(code); }

int Win32Platform::multiByteToWide(std::uint32_t codePage, const char* src, int srcLen,
                                   char16_t* dst, int dstLen) {
    return MultiByteToWideChar(codePage, 0, src, srcLen, reinterpret_cast<wchar_t*>(dst), dstLen);
}

int Win32Platform::wideToMultiByte(std::uint32_t codePage, const char16_t* src, int srcLen,
                                   char* dst, int dstLen) {
    return WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(src), srcLen, dst,
                               dstLen, nullptr, nullptr);
}

namespace {
UINT iconStyle(Icon icon) {
    return icon == Icon::Information ? MB_ICONINFORMATION : MB_ICONWARNING;
}
}  // namespace

void Win32Platform::messageBox(const char* text, const char* caption, Icon icon) {
    MessageBoxA(nullptr, text, caption, MB_OK | iconStyle(icon));
}

void Win32Platform::messageBoxWide(const char16_t* text, const char16_t* caption, Icon icon) {
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text),
                reinterpret_cast<const wchar_t*>(caption), MB_OK | iconStyle(icon));
}

void Win32Platform::writeStdout(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void Win32Platform::sleep(std::uint32_t ms) { Sleep(ms); }

std::int64_t Win32Platform::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::uint64_t Win32Platform::tickMs() { return GetTickCount64(); }

}  // namespace win32
}  // namespace qov
