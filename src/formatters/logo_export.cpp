// printer_PNGLogo_NORMAL: a decoded one-bit picture stored in the printer as
// a logo, the definition handed back to the caller. The element that prints
// a stored logo on a form (printer_Logo) is in forms/image_elements.cpp.
#include "qovlib.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "export_guard.h"
#include "formatters/logo_conversion.h"

namespace {

char* storeLogo(const char* picture, const char* name, int height, int width) {
    const std::string text =
        qov::convertLogo(reinterpret_cast<const unsigned char*>(picture), name, height, width);
    // The caller keeps the block; it is a malloc block like the form texts.
    char* block = static_cast<char*>(std::malloc(text.size() + 1));
    if (block != nullptr) std::memcpy(block, text.c_str(), text.size() + 1);
    sendcommand(text.c_str());
    return block;
}

}  // namespace

// The picture size is the caller's promise: (width + 4) / 8 bytes per row,
// `height` rows. Without a name, or without the picture of rows that it
// has, there is nothing to store; a picture of no rows needs no bytes.
char* printer_PNGLogo_NORMAL(const char* picture, const char* name, int height, int width) {
    return qov::noThrow<char*>(nullptr, [&]() -> char* {
        if (name == nullptr) return nullptr;
        const bool hasRows = height > 0 && qov::logoRowBytes(width) > 0;
        if (picture == nullptr && hasRows) return nullptr;
        // No memory for the definition: nothing was sent.
        return storeLogo(picture, name, height, width);
    });
}
