// Internal to the simulated OS: code-page conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qov::sim::detail {

// codePage is 1252 or 65001; false for any other.
bool decode(std::uint32_t codePage, const char* src, std::size_t n, std::u16string& out);
bool encode(std::uint32_t codePage, const char16_t* src, std::size_t n, std::string& out);

}  // namespace qov::sim::detail
