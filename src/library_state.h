// Resets every piece of the library's global state to its state at load.
// Tests call it between cases; no export reaches it.
#pragma once

namespace qov {
void resetLibraryState();
}
