// The caps on what the reader keeps: past each, input is dropped and noted,
// so that endless or malformed input cannot grow memory without limit.
#pragma once

#include <cstddef>

namespace qovread {

struct ReaderLimits {
    std::size_t maxLine = 4096;             // bytes of one statement
    std::size_t maxFormBytes = 256 * 1024;  // one form body
    std::size_t maxForms = 64;
    std::size_t maxLogoBytes = 1024 * 1024; // one logo, rows or image
    std::size_t maxLogos = 64;
    std::size_t maxElements = 10000;        // of one form
    std::size_t maxDataLines = 1024;        // data and overlay lines of one page of an EXECUTE
    std::size_t maxPageLines = 2000;        // lines of one plain-text page
    std::size_t maxFieldBytes = 4096;       // one field's data
    long long maxCopies = 1000000;
    long long maxPageNumber = 99999999;
    std::size_t maxSetupEntries = 256;
};

}  // namespace qovread
