// Reopening without a close in between, thousands of times, as long-running
// applications do after a lost printer: every reopen succeeds and the
// process's handle count stays where the first open of each kind left it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "harness.h"

namespace {

// Reopens of each kind; QOV_REOPENS lowers it for a quick look.
int reopens() {
    const char* given = std::getenv("QOV_REOPENS");
    const int n = given ? std::atoi(given) : 0;
    return n > 0 ? n : 5000;
}

// The system's handle list, as the kernel keeps it (Wine's GetProcessHandleCount
// does not count them): the entries of this process.
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT value;
    PVOID object;
    ULONG grantedAccess;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};
using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

DWORD handleCount() {
    static const auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<unsigned char> buffer(1 << 16);
    for (int tries = 0; tries < 12; ++tries) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) return 0;
        const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
        const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
        DWORD n = 0;
        for (ULONG i = 0; i < list->count; ++i) n += list->entries[i].processId == self ? 1 : 0;
        return n;
    }
    return 0;
}

// Opens `times` times; the count after the last open equals the count after
// the first, and every open succeeded.
void expectFlat(const char* kind, int times, const std::function<bool()>& open) {
    const std::uint64_t start = wt::nowMs();
    WT_REQUIRE(open());
    const DWORD after = handleCount();
    int failed = 0;
    for (int i = 1; i < times; ++i) failed += open() ? 0 : 1;
    const DWORD last = handleCount();
    wt::note(std::string(kind) + ": " + std::to_string(times) + " opens, handles " +
             std::to_string(after) + " -> " + std::to_string(last) + ", " +
             std::to_string(wt::nowMs() - start) + " ms");
    WT_CHECK_EQ(failed, 0);
    WT_CHECK_EQ(static_cast<long long>(last), static_cast<long long>(after));
}

}  // namespace

WT_CASE(reopens_without_close_keep_the_handle_count_flat) {
    // The count sees a handle this process keeps open, or the check below
    // could not fail.
    const DWORD base = handleCount();
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WT_REQUIRE(probe != nullptr);
    WT_REQUIRE(handleCount() == base + 1);
    CloseHandle(probe);

    const int n = reopens();
    const int port = wt::peerPort("tcp");
    // The slot open takes the port as the pointer's value.
    int* portArg = reinterpret_cast<int*>(static_cast<std::intptr_t>(port));
    char address[] = "127.0.0.1";
    char com1[] = "COM1";
    auto openethernet = QOV_PLAIN(openethernet);
    auto openethernetAsync = QOV_PLAIN(openethernet_async);
    auto openethernetmult = QOV_DECORATED(openethernetmult, "?openethernetmult@@YAHHPEADPEAH@Z");
    auto openport = QOV_PLAIN(openport);
    auto opencomport = QOV_DECORATED(opencomport, "?opencomport@@YAPEADPEAD@Z");
    auto openportmult = QOV_DECORATED(openportmult, "?openportmult@@YAHHPEAD@Z");
    std::string queue = wt::setting("QOV_QUEUE");

    expectFlat("openethernet", n, [&] { return openethernet(address, port) == 0; });
    expectFlat("openethernet_async", n, [&] { return openethernetAsync(address, port) == 0; });
    expectFlat("openethernetmult slot 1", n,
               [&] { return openethernetmult(1, address, portArg) == 0; });
    expectFlat("openethernetmult slot 3", n,
               [&] { return openethernetmult(3, address, portArg) == 0; });
    expectFlat("openport COM1", n, [&] { return openport(com1) == 0; });
    expectFlat("opencomport COM1", n, [&] { return opencomport(com1)[0] == '1'; });
    expectFlat("openport LPT1", n, [&] { return openport("LPT1") == 0; });
    // Each spooler reopen ends a document, a job for the CUPS queue: fewer.
    const int jobs = n < 200 ? n : 200;
    expectFlat("openport queue", jobs, [&] { return openport(queue.c_str()) == 0; });
    expectFlat("openportmult slot 2", jobs, [&] { return openportmult(2, &queue[0]) == 1; });

    // What the last opens hold is given back.
    WT_CHECK_EQ(QOV_PLAIN(closeport)(), 1);
    WT_CHECK_EQ(QOV_DECORATED(closeethernetportmult, "?closeethernetportmult@@YAHHH@Z")(1, 0), 1);
    WT_CHECK_EQ(QOV_DECORATED(closeethernetportmult, "?closeethernetportmult@@YAHHH@Z")(3, 0), 1);
    WT_CHECK_EQ(QOV_DECORATED(closeportmult, "?closeportmult@@YAHH@Z")(2), 1);
}
