// The complete text of a form (its entry and the closing END, ~EXECUTE and
// ~NORMAL lines) and QOVA_GetFormData.
#include "forms/form_output.h"

#include <cstdlib>
#include <cstring>

#include "forms/element_text.h"
#include "forms/form_workspace.h"
#include "qovlib.h"

namespace qov {

bool formExists(int form) {
    return form >= 0 && static_cast<std::size_t>(form) < formWorkspace().forms.size();
}

std::string completeFormText(int form) {
    const auto& ws = formWorkspace();
    const Form& f = ws.forms[static_cast<std::size_t>(form)];
    ElementText closing;
    closing << "END\r\n~EXECUTE;" << f.name;
    // Read now, not at creation: changing it between outputs changes the line.
    if (ws.formSecond != kNotSet) closing << ";" << ws.formSecond;
    closing << "\r\n~NORMAL\r\n";

    std::string text;
    text.reserve(f.text.size() + closing.str().size());
    text.append(f.text).append(closing.str());
    // The text is handed on as a C string: it ends at its first NUL.
    const auto nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

char* newTextBlock(const std::string& text) {
    char* block = static_cast<char*>(std::calloc(text.size() + 1, 1));
    if (block != nullptr) std::memcpy(block, text.data(), text.size());
    return block;
}

}  // namespace qov

char* QOVA_GetFormData(int form) {
    if (!qov::formExists(form)) return nullptr;
    return qov::guardedCall<char*>(nullptr, [&] { return qov::newTextBlock(qov::completeFormText(form)); });
}
