// Building command-language text for forms: one number format and one
// element builder shared by the header and every element, the append of a
// finished element to its form.
#pragma once

#include <string>

namespace qov {

// Signed decimal: "-" for negatives, no "+", no leading zeros ("0" for 0).
void appendDecimal(std::string& out, int value);

// Text assembled piece by piece: texts are copied byte for byte, numbers go
// through appendDecimal.
class ElementText {
public:
    ElementText& operator<<(const char* text) {
        text_.append(text);
        return *this;
    }
    ElementText& operator<<(const std::string& text) {
        text_.append(text);
        return *this;
    }
    ElementText& operator<<(int value) {
        appendDecimal(text_, value);
        return *this;
    }
    // A char would otherwise be promoted to int and written as a number.
    ElementText& operator<<(char) = delete;

    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// Appends a finished element to the end of form `form`'s text in one step.
// False, and nothing changes, when `form` names no form created since the
// last QOVA_DLLinit.
bool appendToForm(int form, const std::string& element);

}  // namespace qov
