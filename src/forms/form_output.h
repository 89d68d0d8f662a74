// The complete text of a composed form: its entry of the form text list
// followed by the closing END, ~EXECUTE and ~NORMAL lines.
#pragma once

#include <string>

namespace qov {

// True when `form` names a form created since the last QOVA_DLLinit.
bool formExists(int form);

// The complete text of form `form` (which must exist), measured as text:
// an embedded NUL byte ends it.
std::string completeFormText(int form);

// A new heap block (malloc) holding `text` and its terminator; the caller
// owns it. Never null unless memory is exhausted.
char* newTextBlock(const std::string& text);

// newTextBlock(completeFormText(form)) built in one copy (form must exist).
char* newFormBlock(int form);

}  // namespace qov
