// Stored logos into pictures: row definitions ("row;a-b;c..." with rows and
// columns from 1, one dot per printer dot) and downloaded PCX files (1-bit,
// 8-bit palette or 24-bit, the latter two turned to 1-bit at 50 %) and
// black-and-white TIFF files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model_metrics.h"
#include "raster.h"

namespace qovrender {

// `rows` is the LF-separated row lines. Dots outside height x width are
// dropped and noted in `note`.
bool decodeLogoRows(int height, int width, const std::string& rows, const ModelMetrics& m, Raster& out,
                    std::string& note);

bool decodePcx(const std::string& file, const ModelMetrics& m, Raster& out, std::string& error);

// A 1-bit TIFF, uncompressed or PackBits. False, with the reason in `error`,
// for other kinds, sizes past the caps and files that cannot be read; true
// with a remark in `error` when the data ends early.
bool decodeTiff(const std::string& file, const ModelMetrics& m, Raster& out, std::string& error);

}  // namespace qovrender
