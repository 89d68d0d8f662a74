// The LIKE operator of printer management queries, and the query text.
// Backend-neutral: every backend that answers the management query matches
// printer names with it, so all of them agree on what a pattern selects.
#pragma once

#include <string>

namespace qov {

// True when `text` matches `pattern`: '%' any run of characters (also none),
// '_' any one character, "[abc]" / "[a-c]" one of a set, "[^abc]" one not in
// it; letters compare without regard to case (ASCII). Runs in time
// proportional to pattern length times text length, whatever the number of
// '%' in the pattern.
bool likeMatch(const std::string& pattern, const std::string& text);

// The pattern of "SELECT * from Win32_Printer WHERE Name LIKE '<pattern>'":
// the text between the quote after LIKE and the last quote. False when the
// query has no such part (or a quote inside the pattern splits it).
bool likePatternOfQuery(const std::string& query, std::string& pattern);

}  // namespace qov
