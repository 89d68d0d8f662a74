#pragma once
// What a printer does with a job: raster pages become logos and a form, raw
// command-language documents go out unchanged, and the identify and test-page
// actions.
#include <pappl/pappl.h>

#include <cstdint>
#include <functional>
#include <string>

#include "image_limits.h"

namespace qovprint {

void installJobCallbacks(pappl_pr_driver_data_t* data);

// The system-wide filters: application/vnd.cups-raw goes out as it is.
void addRawFilters(pappl_system_t* system);

// PNG documents are read by qovprint itself, within the limits.
void addPngFilter(pappl_system_t* system, const ImageLimits& limits);

// A picture that already is the page at the printer's resolution, the
// raster callbacks print copy by copy: with 8 bits a dot, grey (0 black ..
// 255 white) lines of cupsWidth bytes; with 1, a one-bit PNG's rows (1 white,
// (width + 7) / 8 bytes a line). rowAt(y) gives line y, lines in order (again
// from 0 for the next copy), or nullptr when the picture fails: the page is
// then dropped, with what of it the printer already stored.
bool printPlacedPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     const std::function<const std::uint8_t*(unsigned y)>& rowAt, int bitsPerDot);

// The test page: a label composed with the library's form calls, drawn by the
// renderer into a PNG under `dir` for the printer's resolution and size.
// Returns the file's path, empty (with a message) on failure.
std::string writeTestPage(const std::string& dir, int dpi, int widthMils, int lengthMils, std::string* error);

}  // namespace qovprint
