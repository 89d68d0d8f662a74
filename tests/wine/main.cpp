// The Wine suite: QOVLIB.dll, loaded from the program's folder, driven
// through real Windows APIs under Wine. scripts/wine_tests.sh sets up the
// peers and the environment and runs this program on each architecture.
//
//     wine_tests.exe [case-name-filter]
#include <cstdio>

#include "harness.h"

int main(int argc, char** argv) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#ifdef _WIN64
    std::printf("QOVLIB.dll x64 under Wine\n");
#else
    std::printf("QOVLIB.dll x86 under Wine\n");
#endif
    if (!wt::library()) {
        std::printf("cannot load QOVLIB.dll (error %lu)\n0 passed, 1 failed\n", GetLastError());
        return 1;
    }
    const int failed = wt::runAll(argc > 1 ? argv[1] : nullptr);
    return failed == 0 ? 0 : 1;
}
