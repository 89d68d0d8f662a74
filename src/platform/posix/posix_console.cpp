// Message boxes, standard output, the last error, sleeping and the clock.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/posix_errors.h"
#include "platform/posix/posix_objects.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_time.h"

namespace qov::posix {

void sleepMs(std::uint32_t ms) {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

namespace {

// There is no desktop to show a box on: the box becomes one line on
// standard error, "caption: text", and "returns" at once.
void writeBoxLine(const std::string& caption, const std::string& text) {
    std::string line = caption + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string utf8Of(PosixPlatform& p, const char16_t* text) {
    if (!text) return {};
    int n = p.wideToMultiByte(kCodePageUtf8, text, -1, nullptr, 0);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    p.wideToMultiByte(kCodePageUtf8, text, -1, out.data(), n);
    out.resize(static_cast<std::size_t>(n - 1));  // without the terminator
    return out;
}

}  // namespace

std::uint32_t PosixPlatform::lastError() { return threadLastError(); }
void PosixPlatform::setLastError(std::uint32_t code) { setThreadLastError(code); }

void PosixPlatform::messageBox(const char* text, const char* caption, Icon) {
    writeBoxLine(caption ? caption : "", text ? text : "");
}

void PosixPlatform::messageBoxWide(const char16_t* text, const char16_t* caption, Icon) {
    writeBoxLine(utf8Of(*this, caption), utf8Of(*this, text));
}

void PosixPlatform::writeStdout(const char* text) {
    if (!text) return;
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void PosixPlatform::sleep(std::uint32_t ms) { sleepMs(ms); }

std::int64_t PosixPlatform::calendarSeconds() { return static_cast<std::int64_t>(::time(nullptr)); }

std::uint64_t PosixPlatform::tickMs() { return static_cast<std::uint64_t>(monotonicMs()); }

}  // namespace qov::posix
