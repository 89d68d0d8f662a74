// Form printing: the complete text of a form goes to the printer as UTF-8,
// and the caller gets the text as composed (still in the ANSI code page).
#include "export_guard.h"
#include "forms/element_text.h"
#include "forms/form_output.h"
#include "qovlib.h"

namespace {

// The send's result is not the caller's concern: the block comes back
// whether or not anything reached a printer.
template <class Send>
char* printForm(int form, Send&& send) {
    if (!qov::formExists(form)) return nullptr;
    char* block = qov::newFormBlock(form);
    if (block != nullptr) send(block);
    return block;
}

}  // namespace

char* QOVA_PrintForm(int form) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        return printForm(form, [](char* text) { sendcommandutf8(text); });
    });
}

char* QOVA_PrintForm_Mult(int slot, int form) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        return printForm(form, [slot](char* text) { sendcommandutf8_mult(slot, text); });
    });
}
