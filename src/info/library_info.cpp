// Version texts of the library. QOVA_GetDllVersion names the version of the
// form-composition interface, which differs from the library's own.
#include "qovlib.h"

#include "export_guard.h"
#include "library_version.h"
#include "platform/platform.h"

namespace {
char kLibraryVersion[] = QOV_LIBRARY_VERSION;
}

int about(void) {
    return qov::noThrow(1, [] {
        qov::os().messageBox("QOV Windows DLL Version V" QOV_LIBRARY_VERSION, "DLL Version",
                             qov::Icon::Information);
        return 1;
    });
}

// The caller must not change the text, although the signature lets it.
char* dllversion(void) {
    return qov::noThrow<char*>(kLibraryVersion, [&]() -> char* {
        return kLibraryVersion;
    });
}

const char* QOVA_GetDllVersion(void) {
    return qov::noThrow<const char*>("Halvendorm DLL version 1.00b1", [&]() -> const char* {
        return "Halvendorm DLL version 1.00b1";
    });
}
