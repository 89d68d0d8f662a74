#include "text_fields.h"

#include <cstdio>
#include <cstring>

namespace qovread {

std::vector<std::string> splitFields(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

std::string trimBlanks(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

bool readInt(const std::string& raw, long long& value, bool* blanks) {
    const std::string t = trimBlanks(raw);
    if (blanks) *blanks = t.size() != raw.size();
    std::size_t i = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i == t.size() || t.size() - i > 9) return false;
    long long v = 0;
    for (std::size_t k = i; k < t.size(); ++k) {
        if (t[k] < '0' || t[k] > '9') return false;
        v = v * 10 + (t[k] - '0');
    }
    value = t[0] == '-' ? -v : v;
    return true;
}

bool readPosition(const std::string& s, long long& whole, long long& dots, bool& hasDots) {
    const std::size_t dot = s.find('.');
    hasDots = dot != std::string::npos;
    dots = 0;
    if (!hasDots) return readInt(s, whole);
    return readInt(s.substr(0, dot), whole) && readInt(s.substr(dot + 1), dots) && dots >= 0;
}

bool readDelimited(const std::string& s, std::string& text, std::string* rest, bool next) {
    if (s.size() < 2) return false;
    const std::size_t close = next ? s.find(s[0], 1) : s.rfind(s[0]);
    if (close == 0 || close == std::string::npos) return false;
    text = s.substr(1, close - 1);
    if (rest) *rest = s.substr(close + 1);
    return true;
}

std::string shown(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < 60; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (s.size() > 60) out += "...";
    return out;
}

}  // namespace qovread
