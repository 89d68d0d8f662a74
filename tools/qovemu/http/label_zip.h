// A ZIP archive in memory of named files (the label pictures), stored as
// they are: PNG is compressed already.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qovemu {

using ZipEntry = std::pair<std::string, std::vector<std::uint8_t>>;

// False with `error` when libzip fails.
bool zipFiles(const std::vector<ZipEntry>& files, std::string& out, std::string& error);

}  // namespace qovemu
