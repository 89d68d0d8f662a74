#include "platform/posix/posix_like_pattern.h"

#include <cctype>
#include <strings.h>

namespace qov::posix {

namespace {

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Matches one set "[...]" starting at pattern[p] against c; *end receives
// the index after the closing bracket. False for a set without one.
bool setMatch(const std::string& pattern, std::size_t p, char c, std::size_t* end, bool* hit) {
    std::size_t i = p + 1;
    bool negate = i < pattern.size() && pattern[i] == '^';
    if (negate) ++i;
    bool in = false;
    std::size_t first = i;
    for (; i < pattern.size() && (pattern[i] != ']' || i == first); ++i) {
        char lo = fold(pattern[i]);
        char hi = lo;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            hi = fold(pattern[i + 2]);
            i += 2;
        }
        char f = fold(c);
        if (f >= lo && f <= hi) in = true;
    }
    if (i >= pattern.size()) return false;
    *end = i + 1;
    *hit = in != negate;
    return true;
}

bool matchFrom(const std::string& pattern, std::size_t p, const std::string& text, std::size_t t) {
    while (p < pattern.size()) {
        char pc = pattern[p];
        if (pc == '%') {
            while (p < pattern.size() && pattern[p] == '%') ++p;
            if (p == pattern.size()) return true;
            for (std::size_t k = t; k <= text.size(); ++k)
                if (matchFrom(pattern, p, text, k)) return true;
            return false;
        }
        if (t >= text.size()) return false;
        if (pc == '_') {
            ++p;
            ++t;
            continue;
        }
        if (pc == '[') {
            std::size_t end = 0;
            bool hit = false;
            if (setMatch(pattern, p, text[t], &end, &hit)) {
                if (!hit) return false;
                p = end;
                ++t;
                continue;
            }
            // No closing bracket: a plain '['.
        }
        if (fold(pc) != fold(text[t])) return false;
        ++p;
        ++t;
    }
    return t == text.size();
}

}  // namespace

bool likeMatch(const std::string& pattern, const std::string& text) {
    return matchFrom(pattern, 0, text, 0);
}

bool likePatternOfQuery(const std::string& query, std::string& pattern) {
    std::size_t like = std::string::npos;
    // The first LIKE is the keyword; the pattern may hold the word too.
    for (std::size_t i = 0; i + 4 <= query.size() && like == std::string::npos; ++i)
        if (strncasecmp(query.c_str() + i, "LIKE", 4) == 0) like = i;
    if (like == std::string::npos) return false;
    std::size_t open = query.find('\'', like + 4);
    if (open == std::string::npos) return false;
    std::size_t close = query.find('\'', open + 1);
    if (close == std::string::npos) return false;
    // Anything after the closing quote but blanks is a broken query.
    for (std::size_t i = close + 1; i < query.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(query[i]))) return false;
    pattern = query.substr(open + 1, close - open - 1);
    return true;
}

}  // namespace qov::posix
