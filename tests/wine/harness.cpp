#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wt {

// ---- the library ---------------------------------------------------------

HMODULE library() {
    static HMODULE module = LoadLibraryA("QOVLIB.dll");
    return module;
}

void* exportAddress(const char* name) {
    HMODULE m = library();
    return m ? reinterpret_cast<void*>(GetProcAddress(m, name)) : nullptr;
}

std::string decorated(const char* x64Name) {
    std::string name(x64Name);
#ifndef _WIN64
    for (std::size_t at = name.find("PEA"); at != std::string::npos; at = name.find("PEA", at))
        name.replace(at, 3, "PA");
#endif
    return name;
}

// ---- cases and checks ----------------------------------------------------

namespace {

struct Case {
    const char* name;
    CaseFn fn;
};

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

int g_failures = 0;  // failed checks of the running case

}  // namespace

Registrar::Registrar(const char* name, CaseFn fn) { cases().push_back(Case{name, fn}); }

void fail(const char* file, int line, const std::string& what) {
    ++g_failures;
    const char* base = std::strrchr(file, '/');
    std::printf("    %s:%d: %s\n", base ? base + 1 : file, line, what.c_str());
    std::fflush(stdout);
}

void failMissing(const std::string& name) {
    fail(__FILE__, __LINE__, "QOVLIB.dll does not export " + name);
    throw CaseAborted{};
}

std::string shown(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char buf[8];
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7f) {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out;
}

void checkText(const char* file, int line, const char* what, const std::string& actual,
               const std::string& expected) {
    if (actual == expected) return;
    fail(file, line,
         std::string(what) + "\n      got:      \"" + shown(actual) + "\"\n      expected: \"" +
             shown(expected) + "\"");
}

void checkNumber(const char* file, int line, const char* what, long long actual,
                 long long expected) {
    if (actual == expected) return;
    fail(file, line,
         std::string(what) + ": got " + std::to_string(actual) + ", expected " +
             std::to_string(expected));
}

void note(const std::string& text) {
    std::printf("    note: %s\n", text.c_str());
    std::fflush(stdout);
}

int runAll(const char* filter) {
    int passed = 0, failed = 0;
    for (const Case& c : cases()) {
        if (filter && !std::strstr(c.name, filter)) continue;
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        g_failures = 0;
        const std::uint64_t start = nowMs();
        try {
            c.fn();
        } catch (const CaseAborted&) {
            // the failure is already reported
        } catch (...) {
            fail(__FILE__, __LINE__, "unexpected exception");
        }
        const unsigned long long ms = nowMs() - start;
        if (g_failures == 0) {
            ++passed;
            std::printf("[  OK  ] %s (%llu ms)\n", c.name, ms);
        } else {
            ++failed;
            std::printf("[ FAIL ] %s (%llu ms)\n", c.name, ms);
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed;
}

// ---- the environment -----------------------------------------------------

std::string setting(const char* name) {
    char buf[4096];
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) {
        fail(__FILE__, __LINE__, std::string("environment variable ") + name + " is not set");
        throw CaseAborted{};
    }
    return std::string(buf, n);
}

std::string windowsPath(const std::string& unixPath) {
    std::string out = "Z:";
    for (char c : unixPath) out += c == '/' ? '\\' : c;
    return out;
}

bool readWholeFile(const std::string& path, std::string& out) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    out.clear();
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(f);
    return true;
}

// ---- the peer --------------------------------------------------------------

int peerPort(const char* which) {
    // QOV_PEER_PORTS holds "tcp=<n> cups=<n> control=<n>".
    const std::string ports = setting("QOV_PEER_PORTS");
    const std::string key = std::string(which) + "=";
    const std::size_t at = ports.find(key);
    if (at == std::string::npos) {
        fail(__FILE__, __LINE__, "no " + key + " in QOV_PEER_PORTS");
        throw CaseAborted{};
    }
    return std::atoi(ports.c_str() + at + key.size());
}

namespace {

// One request on the peer's control port; the reply is everything until
// the peer closes the connection.
std::string control(const std::string& request) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        fail(__FILE__, __LINE__, "cannot create a socket for the peer");
        throw CaseAborted{};
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(peerPort("control")));
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        fail(__FILE__, __LINE__, "the peer's control port does not answer");
        throw CaseAborted{};
    }
    const std::string line = request + "\n";
    send(s, line.data(), static_cast<int>(line.size()), 0);
    std::string reply;
    char buf[65536];
    int n;
    while ((n = recv(s, buf, sizeof buf, 0)) > 0) reply.append(buf, n);
    closesocket(s);
    return reply;
}

}  // namespace

std::string peerReceived(const char* channel) {
    const std::string reply = control(std::string("GET ") + channel);
    const std::size_t nl = reply.find('\n');
    if (nl == std::string::npos) {
        fail(__FILE__, __LINE__, "the peer answered GET with \"" + shown(reply) + "\"");
        throw CaseAborted{};
    }
    const std::size_t size = std::strtoul(reply.c_str(), nullptr, 10);
    std::string data = reply.substr(nl + 1);
    if (data.size() != size) {
        fail(__FILE__, __LINE__, "the peer's GET reply is cut short");
        throw CaseAborted{};
    }
    return data;
}

void peerClear(const char* channel) {
    const std::string reply = control(std::string("CLEAR ") + channel);
    if (reply != "OK\n") {
        fail(__FILE__, __LINE__, "the peer answered CLEAR with \"" + shown(reply) + "\"");
        throw CaseAborted{};
    }
}

std::size_t peerCount(const char* channel) {
    const std::string reply = control(std::string("COUNT ") + channel);
    if (reply.empty() || reply.back() != '\n') {
        fail(__FILE__, __LINE__, "the peer answered COUNT with \"" + shown(reply) + "\"");
        throw CaseAborted{};
    }
    return std::strtoul(reply.c_str(), nullptr, 10);
}

std::string peerAwait(const char* channel, std::size_t minSize, std::uint32_t timeoutMs) {
    // Counted while waiting; the bytes are fetched once.
    const std::uint64_t end = nowMs() + timeoutMs;
    while (peerCount(channel) < minSize && nowMs() < end) Sleep(100);
    return peerReceived(channel);
}

std::string peerTermios() {
    std::string line = control("TERMIOS");
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

long termiosField(const std::string& line, const char* field) {
    const std::string key = std::string(field) + "=";
    std::size_t at = line.find(key);
    // Match a whole field name ("parodd" must not be found in "xparodd").
    while (at != std::string::npos && at > 0 && line[at - 1] != ' ') at = line.find(key, at + 1);
    if (at == std::string::npos) return -1;
    return std::strtol(line.c_str() + at + key.size(), nullptr, 10);
}

// ---- message boxes -----------------------------------------------------------

namespace {

using BoxA = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
using BoxW = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
BoxA g_realA = nullptr;
BoxW g_realW = nullptr;

std::string utf8(LPCWSTR w) {
    if (!w) return "(null)";
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

int WINAPI recordA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    shownBoxes().push_back(
        ShownBox{text ? text : "(null)", caption ? caption : "(null)", style, owner != nullptr, false});
    return g_realA(owner, text, caption, style);
}

int WINAPI recordW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    shownBoxes().push_back(ShownBox{utf8(text), utf8(caption), style, owner != nullptr, true});
    return g_realW(owner, text, caption, style);
}

void patch(ULONG_PTR* slot, ULONG_PTR replacement) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = replacement;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

std::vector<ShownBox>& shownBoxes() {
    static std::vector<ShownBox> boxes;
    return boxes;
}

bool recordMessageBoxes() {
    if (g_realA && g_realW) return true;
    auto* base = reinterpret_cast<BYTE*>(library());
    if (!base) return false;
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return false;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + imp->Name), "user32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            auto* slot = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
            const char* fn = reinterpret_cast<const char*>(byName->Name);
            if (std::strcmp(fn, "MessageBoxA") == 0 && !g_realA) {
                g_realA = reinterpret_cast<BoxA>(*slot);
                patch(slot, reinterpret_cast<ULONG_PTR>(&recordA));
            } else if (std::strcmp(fn, "MessageBoxW") == 0 && !g_realW) {
                g_realW = reinterpret_cast<BoxW>(*slot);
                patch(slot, reinterpret_cast<ULONG_PTR>(&recordW));
            }
        }
    }
    return g_realA && g_realW;
}

}  // namespace wt
