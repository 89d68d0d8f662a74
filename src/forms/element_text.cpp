#include "forms/element_text.h"

#include <charconv>

#include "forms/form_output.h"
#include "forms/form_workspace.h"

namespace qov {

void appendDecimal(std::string& out, int value) {
    char digits[16];  // "-2147483648" is 11 characters
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

bool appendToForm(int form, const std::string& element) {
    if (!formExists(form)) return false;
    formWorkspace().forms[static_cast<std::size_t>(form)].text.append(element);
    return true;
}

}  // namespace qov
