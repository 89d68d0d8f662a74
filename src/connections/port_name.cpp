#include "connections/port_name.h"

#include <cctype>

namespace qov {

void normalizePortName(std::string& name) {
    for (char& ch : name) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    auto isBlank = [](char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; };
    std::size_t end = name.size();
    while (end > 0 && isBlank(name[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && isBlank(name[begin])) ++begin;
    name = name.substr(begin, end - begin);
}

}  // namespace qov
