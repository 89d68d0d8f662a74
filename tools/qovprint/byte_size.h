#pragma once
// A byte count as messages show it: whole MiB or KiB when it is one.
#include <cstdint>
#include <string>

namespace qovprint {

inline std::string byteSizeText(std::uint64_t bytes) {
    if (bytes && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace qovprint
