// Small readers shared by every statement: fields split at ';', numbers,
// `n.m` positions and delimited text.
#pragma once

#include <string>
#include <vector>

namespace qovread {

std::vector<std::string> splitFields(const std::string& s, char sep = ';');
std::string trimBlanks(const std::string& s);
bool startsWith(const std::string& s, const char* prefix);
// A signed decimal of at most nine digits; blanks around it are tolerated
// and reported through `blanks`.
bool readInt(const std::string& s, long long& value, bool* blanks = nullptr);
// `n` or `n.m`: n units and m more dots (m read as a whole number).
bool readPosition(const std::string& s, long long& whole, long long& dots, bool& hasDots);
// Text between the first byte and its last repetition (or, with `next`, its
// next one); `rest` is what follows the closing delimiter.
bool readDelimited(const std::string& s, std::string& text, std::string* rest = nullptr, bool next = false);
// A line as notes show it: control bytes escaped, at most 60 bytes.
std::string shown(const std::string& s);

}  // namespace qovread
