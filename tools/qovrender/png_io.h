// 1-bit PNG for a raster: black dots on white, with the resolution stored in
// the file so that viewers show the label at its printed size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster.h"

namespace qovrender {

// Encodes the raster; false (and a reason) only when libpng fails.
bool encodePng(const Raster& raster, int dpi, std::vector<std::uint8_t>& out, std::string& error);

// Reads a PNG back into a raster (any dark dot is ink). For tests and tools.
bool decodePng(const std::vector<std::uint8_t>& png, Raster& out, std::string& error);

// NNN-<form name>.png, the name of a printed label's picture, with the form
// name made safe for a file name.
std::string labelFileName(long long number, const std::string& form);

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);
bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace qovrender
