#include "forms/form_workspace.h"

namespace qov {

void resetFormWorkspace() {}

}  // namespace qov
