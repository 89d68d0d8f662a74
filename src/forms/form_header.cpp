// QOVA_CreateForm: the header of a new form, from the settings of this
// moment (later setup calls only affect later forms).
#include "export_guard.h"
#include "forms/element_text.h"
#include "forms/form_workspace.h"
#include "forms/keyword_tables.h"
#include "qovlib.h"

namespace {

using qov::ElementText;
using qov::FormWorkspace;
using qov::kNotSet;

void paperLines(const FormWorkspace& ws, ElementText& out) {
    // The printer takes width and length as two separate SIZE lines, each
    // with 0 for the other value.
    static const char* const before[qov::kJobSettings] = {
        "~PAPER;SIZE ",  "~PAPER;SIZE 0,", "~PAPER;SPEED IPS ", "~PAPER;INTENSITY ",
        "~PAPER;LABELS ", "~PAPER;MEDIA ",  "~PAPER;ROTATE ",
    };
    static const char* const after[qov::kJobSettings] = {",0\r\n", "\r\n", "\r\n", "\r\n",
                                                         "\r\n",   "\r\n", "\r\n"};
    bool any = false;
    for (int job : ws.job) any = any || job != kNotSet;
    if (!any) return;
    out << "~NORMAL\r\n";
    for (int i = 0; i < qov::kJobSettings; ++i) {
        if (ws.job[i] != kNotSet) out << before[i] << ws.job[i] << after[i];
    }
}

void fontLine(const FormWorkspace& ws, ElementText& out) {
    if (ws.fontName.empty() && ws.slant == kNotSet && ws.bold == kNotSet &&
        ws.codePage == kNotSet)
        return;
    out << "FONT";
    if (!ws.fontName.empty()) out << ";NAME " << ws.fontName;
    if (ws.slant == 0) out << ";SLANT RIGHT";
    if (ws.slant == 1) out << ";SLANT LEFT";
    if (ws.bold == 1) out << ";BOLD ON";
    if (ws.bold == 0) out << ";BOLD OFF";
    if (ws.codePage >= 0 && ws.codePage < qov::kCodePages) out << qov::symbolSetText(ws.codePage);
    out << "\r\n";
}

std::string composeHeader(const FormWorkspace& ws, const char* name) {
    ElementText out;
    paperLines(ws, out);
    out << "~CREATE;" << name << ";X";
    if (ws.formFirst != kNotSet) out << ";" << ws.formFirst;
    out << "\r\n";
    fontLine(ws, out);
    if (ws.scaleFirst != kNotSet) out << "SCALE;DOT;" << ws.scaleFirst << ";" << ws.scaleSecond << "\r\n";
    return out.str();
}

}  // namespace

int QOVA_CreateForm(const char* name) {
    return qov::noThrow<int>(-1, [&]() -> int {
        if (name == nullptr) return -1;
        auto& ws = qov::formWorkspace();
        qov::Form form{name, composeHeader(ws, name)};
        ws.forms.push_back(std::move(form));  // strong guarantee: no form is half added
        ws.formCounter = static_cast<int>(ws.forms.size()) - 1;
        return ws.formCounter;
    });
}
