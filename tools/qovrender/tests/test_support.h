// Helpers of the renderer tests: render printer input in memory, find ink,
// decode barcodes back with zxing-cpp.
#pragma once

#include <string>
#include <vector>

#include "raster.h"
#include "renderer.h"

namespace qovtest {

struct Label {
    std::string form;
    long long copies = 0;
    long long line = 0;
    std::string summary;
    qovrender::Raster picture;
};

struct Note {
    long long line = 0;
    std::string text;
};

struct Output {
    std::vector<Label> labels;
    std::vector<Note> notes;
    bool noted(const std::string& part) const;
};

// Feeds `input` to a fresh renderer in chunks of `chunk` bytes (0: at once).
Output render(const std::string& input, int dpi = 203, std::size_t chunk = 0,
              qovrender::RenderOptions options = qovrender::RenderOptions());

// A form definition with its execute line, lines ended by CR LF.
std::string form(const std::string& name, const std::vector<std::string>& lines, const std::string& execute = "");

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; right < left when empty
    bool empty() const { return right < left; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};
Box inkBox(const qovrender::Raster& r, int x0 = 0, int y0 = 0, int x1 = 1 << 30, int y1 = 1 << 30);

// Every barcode zxing-cpp finds in the picture (with a white margin added).
std::vector<std::string> decode(const qovrender::Raster& r);

}  // namespace qovtest
