// Shared helpers of the form tests: a fresh library per test, and readers
// of what a form holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "forms/form_workspace.h"
#include "sim.h"
#include "qovlib.h"

namespace forms_test {

// A fresh simulated OS and library state, then QOVA_DLLinit as an
// application would call it.
class FormsFixture : public ::testing::Test {
protected:
    void SetUp() override { QOVA_DLLinit(); }
    qov::sim::SimScope sim;
};

// Takes ownership of a block returned by the library and copies it out.
inline std::string takeBlock(char* block) {
    if (block == nullptr) return "<null>";
    std::string text(block);
    std::free(block);
    return text;
}

// The complete text of a form, as QOVA_GetFormData returns it.
inline std::string formData(int form) { return takeBlock(QOVA_GetFormData(form)); }

// The form's entry in the form text list (header and elements, no closing).
inline std::string entry(int form) {
    return qov::formWorkspace().forms.at(static_cast<std::size_t>(form)).text;
}

// What `call` appended to form `form`, after checking that it left what the
// form held before untouched.
inline std::string appendedBy(int form, const std::function<void()>& call) {
    const std::string before = entry(form);
    call();
    const std::string after = entry(form);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "earlier text of the form changed";
    return after.size() >= before.size() ? after.substr(before.size()) : "<shrunk>";
}

// The header a form gets from the current settings: a throw-away form.
inline std::string headerNow() {
    const int form = QOVA_CreateForm("H");
    return form < 0 ? "<not created>" : entry(form);
}

}  // namespace forms_test
