// The Wine suite in one process: QOVLIB.dll, loaded from the program's
// folder, driven through real Windows APIs under Wine; then the win32
// backend's contract cases; then the Windows example against the printer.
// One process, because where 32-bit programs run only under an emulator each
// x86 Wine process costs about a minute. scripts/wine_tests.sh sets up the
// peers and the environment and runs this program on each architecture.
//
//     wine_tests.exe [--gtest_...] [--print-label ADDRESS PORT] [case-name-filter]
//
// Prints "N passed, N failed" for the DLL's cases, GoogleTest's summary for
// the contract cases and "print_label: exit N" for the example.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "harness.h"

extern "C" int print_label_main(int argc, char** argv);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#ifdef _WIN64
    std::printf("QOVLIB.dll x64 under Wine\n");
#else
    std::printf("QOVLIB.dll x86 under Wine\n");
#endif
    char* printLabel[3] = {nullptr, nullptr, nullptr};
    const char* filter = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--print-label") == 0 && i + 2 < argc) {
            printLabel[0] = argv[0];
            printLabel[1] = argv[i + 1];
            printLabel[2] = argv[i + 2];
            i += 2;
        } else {
            filter = argv[i];
        }
    }

    std::printf("== the DLL's cases\n");
    int failed = 0;
    if (!wt::library()) {
        std::printf("cannot load QOVLIB.dll (error %lu)\n0 passed, 1 failed\n", GetLastError());
        failed = 1;
    } else {
        failed = wt::runAll(filter);
    }

    std::printf("== the win32 backend's contract cases\n");
    std::fflush(stdout);
    if (RUN_ALL_TESTS() != 0) ++failed;

    if (printLabel[0]) {
        std::printf("== print_label %s %s\n", printLabel[1], printLabel[2]);
        std::fflush(stdout);
        const int rc = print_label_main(3, printLabel);
        std::fflush(stdout);
        std::printf("print_label: exit %d\n", rc);
        if (rc != 0) ++failed;
    }
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
