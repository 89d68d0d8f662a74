#include "platform/like_pattern.h"

#include <cctype>

namespace qov {

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

// Whether the single-character element at pattern[p] ('_', a set or a
// plain character) takes c; *next receives the index after the element.
bool elementTakes(const std::string& pattern, std::size_t p, char c, std::size_t* next) {
    const char pc = pattern[p];
    if (pc == '_') {
        *next = p + 1;
        return true;
    }
    if (pc == '[') {
        bool hit = false;
        if (setMatch(pattern, p, c, next, &hit)) return hit;
        // No closing bracket: a plain '['.
    }
    *next = p + 1;
    return fold(pc) == fold(c);
}

}  // namespace

// Every element but '%' takes exactly one character, so when a later '%'
// has matched, an earlier one never needs to take more: only the position
// of the last '%' is retried. That keeps the match to one pass per retry.
bool likeMatch(const std::string& pattern, const std::string& text) {
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            starP = ++p;
            starT = t;
            continue;
        }
        std::size_t next = 0;
        if (p < pattern.size() && elementTakes(pattern, p, text[t], &next)) {
            p = next;
            ++t;
            continue;
        }
        if (starP == std::string::npos) return false;
        // The last '%' takes one more character and the rest is tried again.
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

bool likePatternOfQuery(const std::string& query, std::string& pattern) {
    std::size_t like = std::string::npos;
    // The first LIKE is the keyword; the pattern may hold the word too.
    for (std::size_t i = 0; i + 4 <= query.size() && like == std::string::npos; ++i)
        if (fold(query[i]) == 'l' && fold(query[i + 1]) == 'i' && fold(query[i + 2]) == 'k' &&
            fold(query[i + 3]) == 'e')
            like = i;
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

}  // namespace qov
