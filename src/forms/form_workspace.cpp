#include "forms/form_workspace.h"

#include "export_guard.h"
#include "qovlib.h"

namespace qov {

FormWorkspace& formWorkspace() {
    // A function-local static: whoever calls first, the workspace is ready.
    static FormWorkspace workspace;
    return workspace;
}

void resetFormWorkspace() {
    // Swapping with a fresh record also gives back the memory of large
    // forms; clear() alone would keep it reserved.
    FormWorkspace fresh;
    std::swap(formWorkspace(), fresh);
}

}  // namespace qov

void QOVA_DLLinit(void) {
    return qov::noThrow([] { qov::resetFormWorkspace(); });
}

// Nothing to release: the workspace lives for the process.
void QOVA_DLLexit(void) {
    return qov::noThrow([] {});
}
