// Reopening the network connections without a close in between, through
// the real Windows socket layer: the process's handle count stays where the
// first open left it (each socket is a handle under Wine). x64 only.
#include "harness.h"

#ifdef _WIN64

namespace {

DWORD handleCount() {
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}

// `open` `times` times, each succeeding; the handle count after the last
// equals the count after the first.
template <class Open>
void expectFlat(const char* kind, int times, Open open) {
    WT_REQUIRE(open());
    const DWORD after = handleCount();
    for (int i = 1; i < times; ++i) {
        if (!open()) {
            WT_CHECK(!"a reopen failed");
            wt::note(std::string(kind) + ": reopen " + std::to_string(i) + " failed");
            return;
        }
    }
    const DWORD end = handleCount();
    wt::note(std::string(kind) + ": " + std::to_string(times) + " opens, handles " +
             std::to_string(after) + " after the first, " + std::to_string(end) + " after the last");
    WT_CHECK_EQ(end, after);
}

}  // namespace

WT_CASE(socket_reopen_handle_count) {
    const int port = wt::peerPort("tcp");
    auto openEthernet = QOV_PLAIN(openethernet);
    auto openAsync = QOV_PLAIN(openethernet_async);
    auto openMult = QOV_DECORATED(openethernetmult, "?openethernetmult@@YAHHPEADPEAH@Z");
    auto closeEthernet = QOV_DECORATED(closeethernetport, "?closeethernetport@@YAHH@Z");
    auto closeMult = QOV_DECORATED(closeethernetportmult, "?closeethernetportmult@@YAHHH@Z");
    char address[] = "127.0.0.1";
    int* portArg = reinterpret_cast<int*>(static_cast<std::uintptr_t>(port));

    const DWORD before = handleCount();
    expectFlat("openethernet_async", 5000, [&] { return openAsync(address, port) == 0; });
    // The blocking opens settle 50 ms each.
    expectFlat("openethernet", 1000, [&] { return openEthernet(address, port) == 0; });
    expectFlat("openethernetmult", 1000, [&] { return openMult(2, address, portArg) == 0; });
    WT_CHECK_EQ(closeEthernet(0), 1);
    WT_CHECK_EQ(closeMult(2, 0), 1);
    const DWORD closed = handleCount();
    wt::note("handles: " + std::to_string(before) + " before, " + std::to_string(closed) +
             " after the closes");
    // The socket layer may keep a few handles of its own once started.
    WT_CHECK(closed <= before + 8);
}

#endif
