// The workbench page's files, compiled into qovemu (generated from
// tools/qovemu/web by embed_web.cmake): nothing is fetched at run time.
#pragma once

#include <cstddef>
#include <vector>

namespace qovemu {

struct WebAsset {
    const char* name;  // "index.html"
    const char* type;  // its Content-Type
    const unsigned char* data;
    std::size_t size;
};

const std::vector<WebAsset>& webAssets();

}  // namespace qovemu
