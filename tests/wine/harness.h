// The Wine suite's harness: QOVLIB.dll loaded with LoadLibrary and every
// export reached by its exported name through GetProcAddress, a small case
// runner, the peer that stands in for the printer, and a recorder of the
// message boxes the DLL shows.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// The declarations give each export's exact type; nothing here is linked
// against them.
#include "qovlib.h"

namespace wt {

// ---- the library ---------------------------------------------------------

HMODULE library();
// The address of an export by its exported name, or null.
void* exportAddress(const char* name);
// The exported name of a decorated export, given in its x64 form: on x86 a
// pointer is decorated PA instead of PEA.
std::string decorated(const char* x64Name);

// Thrown to end the running case (after a failed requirement).
struct CaseAborted {};

[[noreturn]] void failMissing(const std::string& name);

// An export as a typed function pointer; a missing one ends the case.
template <class F>
F exportAs(const std::string& name) {
    void* p = exportAddress(name.c_str());
    if (!p) failMissing(name);
    return reinterpret_cast<F>(p);
}

// A plain export by its C name; a decorated one by its x64 decoration.
#define QOV_PLAIN(fn) ::wt::exportAs<decltype(&::fn)>(#fn)
#define QOV_DECORATED(fn, x64Name) ::wt::exportAs<decltype(&::fn)>(::wt::decorated(x64Name))

// ---- cases and checks ----------------------------------------------------

using CaseFn = void (*)();
struct Registrar {
    Registrar(const char* name, CaseFn fn);
};
#define WT_CASE(name)                                        \
    static void name();                                      \
    static const ::wt::Registrar name##_registrar(#name, name); \
    static void name()

// Runs every registered case; prints one line per case and the closing
// "N passed, N failed" line. Returns the number of failed cases.
int runAll(const char* filter);

void fail(const char* file, int line, const std::string& what);
// Escapes control bytes so that differences in line ends are visible.
std::string shown(const std::string& bytes);

#define WT_CHECK(cond) \
    ((cond) ? (void)0 : ::wt::fail(__FILE__, __LINE__, "check failed: " #cond))
#define WT_REQUIRE(cond)                                                     \
    do {                                                                     \
        if (!(cond)) {                                                       \
            ::wt::fail(__FILE__, __LINE__, "requirement failed: " #cond);    \
            throw ::wt::CaseAborted{};                                       \
        }                                                                    \
    } while (0)
#define WT_CHECK_EQ(actual, expected) \
    ::wt::checkEqual(__FILE__, __LINE__, #actual, (actual), (expected))

void checkText(const char* file, int line, const char* what, const std::string& actual,
               const std::string& expected);
void checkNumber(const char* file, int line, const char* what, long long actual,
                 long long expected);
inline std::string asText(const char* s) { return s ? std::string(s) : std::string("(null)"); }
inline const std::string& asText(const std::string& s) { return s; }

// Numbers compare as numbers, texts (char pointers or strings) as bytes.
template <class A, class E>
void checkEqual(const char* file, int line, const char* what, const A& actual,
                const E& expected) {
    if constexpr (std::is_arithmetic_v<A> && std::is_arithmetic_v<E>)
        checkNumber(file, line, what, static_cast<long long>(actual),
                    static_cast<long long>(expected));
    else
        checkText(file, line, what, asText(actual), asText(expected));
}

// Prints a note that belongs to the running case (values that are reported
// rather than asserted).
void note(const std::string& text);

// ---- the environment set by scripts/wine_tests.sh -------------------------

// The value of an environment variable; a missing one ends the case.
std::string setting(const char* name);
// A Unix path as Wine's drive Z: sees it.
std::string windowsPath(const std::string& unixPath);
// The whole content of a file, read through Windows.
bool readWholeFile(const std::string& path, std::string& out);

// Milliseconds of the real clock.
inline std::uint64_t nowMs() { return GetTickCount64(); }

// ---- the peer --------------------------------------------------------------

// What the peer has received on a channel ("tcp", "cups", "com").
std::string peerReceived(const char* channel);
void peerClear(const char* channel);
// The number of bytes the peer has received on a channel.
std::size_t peerCount(const char* channel);
// Polls the channel until it holds at least `minSize` bytes or the time is
// up; returns what it holds then.
std::string peerAwait(const char* channel, std::size_t minSize, std::uint32_t timeoutMs);
// The line settings of Wine's end of the COM1 pty, as the peer reads them.
std::string peerTermios();
// One field ("speed", "cstopb", ...) of a peerTermios() line; -1 if absent.
long termiosField(const std::string& line, const char* field);
int peerPort(const char* which);  // "tcp", "cups", "control"

// ---- message boxes -----------------------------------------------------------

struct ShownBox {
    std::string text;     // UTF-8 for the wide boxes
    std::string caption;
    UINT style;
    bool owned;           // an owner window was given
    bool wide;
};
// Routes the DLL's MessageBoxA/MessageBoxW imports through a recorder that
// keeps each box and then shows it for real. False if the imports are not
// found.
bool recordMessageBoxes();
std::vector<ShownBox>& shownBoxes();

}  // namespace wt
