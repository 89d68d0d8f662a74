// The form workspace: job, form, scale and font settings, the barcode
// settings table, the RFID setup list, and the forms composed so far.
#pragma once

namespace qov {

// Resets the workspace to its state at load (tests).
void resetFormWorkspace();

}  // namespace qov
