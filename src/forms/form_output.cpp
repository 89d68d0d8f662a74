// The complete text of a form (its entry and the closing END, ~EXECUTE and
// ~NORMAL lines) and QOVA_GetFormData.
#include "export_guard.h"
#include "forms/form_output.h"

#include <cstdlib>
#include <cstring>

#include "forms/element_text.h"
#include "forms/form_workspace.h"
#include "qovlib.h"

namespace qov {

namespace {

std::string closingLines(const Form& form) {
    ElementText closing;
    closing << "END\r\n~EXECUTE;" << form.name;
    // Read now, not at creation: changing it between outputs changes the line.
    const int second = formWorkspace().formSecond;
    if (second != kNotSet) closing << ";" << second;
    closing << "\r\n~NORMAL\r\n";
    return closing.str();
}

// The text is handed on as a C string, so it ends at its first NUL: the
// length of `text` up to there.
std::size_t textLength(const std::string& text) {
    const auto nul = text.find('\0');
    return nul == std::string::npos ? text.size() : nul;
}

}  // namespace

bool formExists(int form) {
    return form >= 0 && static_cast<std::size_t>(form) < formWorkspace().forms.size();
}

std::string completeFormText(int form) {
    const Form& f = formWorkspace().forms[static_cast<std::size_t>(form)];
    const std::string closing = closingLines(f);
    std::string text;
    text.reserve(f.text.size() + closing.size());
    text.append(f.text).append(closing);
    text.resize(textLength(text));
    return text;
}

char* newTextBlock(const std::string& text) {
    char* block = static_cast<char*>(std::calloc(text.size() + 1, 1));
    if (block != nullptr) std::memcpy(block, text.data(), text.size());
    return block;
}

char* newFormBlock(int form) {
    // Same text as newTextBlock(completeFormText(form)), without building
    // the large intermediate copy of the form first.
    const Form& f = formWorkspace().forms[static_cast<std::size_t>(form)];
    const std::string closing = closingLines(f);
    const std::size_t body = textLength(f.text);
    const std::size_t tail = body < f.text.size() ? 0 : textLength(closing);
    char* block = static_cast<char*>(std::calloc(body + tail + 1, 1));
    if (block == nullptr) return nullptr;
    std::memcpy(block, f.text.data(), body);
    std::memcpy(block + body, closing.data(), tail);
    return block;
}

}  // namespace qov

char* QOVA_GetFormData(int form) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        if (!qov::formExists(form)) return nullptr;
        return qov::newFormBlock(form);
    });
}
