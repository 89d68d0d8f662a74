#include "library_state.h"

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "forms/form_workspace.h"
#include "reading/receive_state.h"

namespace qov {

void resetLibraryState() {
    resetConnectionState();
    resetUsbDiscoveryState();
    resetReceiveState();
    resetFormWorkspace();
}

}  // namespace qov
