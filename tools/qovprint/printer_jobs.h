#pragma once
// What a printer does with a job: raster pages become logos and a form, raw
// command-language documents go out unchanged, and the identify and test-page
// actions.
#include <pappl/pappl.h>

#include <string>

#include "image_limits.h"

namespace qovprint {

void installJobCallbacks(pappl_pr_driver_data_t* data);

// The system-wide filters: application/vnd.cups-raw goes out as it is.
void addRawFilters(pappl_system_t* system);

// PNG documents are read by qovprint itself, within the limits.
void addPngFilter(pappl_system_t* system, const ImageLimits& limits);

// The test page: a label composed with the library's form calls, drawn by the
// renderer into a PNG under `dir` for the printer's resolution and size.
// Returns the file's path, empty (with a message) on failure.
std::string writeTestPage(const std::string& dir, int dpi, int widthMils, int lengthMils, std::string* error);

}  // namespace qovprint
