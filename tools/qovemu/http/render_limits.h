// What one POST /render may cost: the paper it may ask for, the labels and
// dots it may draw, the pictures a ZIP holds and the notes it reports. The
// input can ask for endless copies or pages; the request still ends soon,
// with what it drew and a note saying where it stopped.
#pragma once

#include <cstddef>

namespace qovemu {

struct RenderLimits {
    int maxPaperMils = 100000;                   // 100 inches either way
    long long maxPictureDots = 64LL << 20;       // one label's picture, from the paper asked for
    long long maxLabels = 500;                   // labels drawn by one request
    long long maxDotsDrawn = 512LL << 20;        // all its pictures together
    long long maxZipLabels = 100;                // pictures in one ZIP
    std::size_t maxNotes = 1000;                 // notes listed
    std::size_t maxNotesHeader = 4096;           // bytes of X-Notes
    std::size_t feedChunk = 4096;                // input bytes between checks of the caps
    bool reuseGlyphs = true;                     // fonts and drawn glyphs kept between requests (false: loaded anew)
};

}  // namespace qovemu
