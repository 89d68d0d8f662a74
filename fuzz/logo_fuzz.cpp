// Logo conversion (printer_PNGLogo_NORMAL): dimensions, name and picture
// bits from the input. The picture is a heap block of exactly the bytes its
// dimensions promise, so a read past it is an overflow AddressSanitizer
// reports; the definition is checked against a pixel-by-pixel model.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "formatters/logo_conversion.h"
#include "fuzz_check.h"
#include "sim.h"
#include "qovlib.h"

namespace {

// The definition as the rules state it, one pixel at a time: rows of
// (width + 4) / 8 bytes, bit 0 a dot, runs of dots as ";first-last" or
// ";col" (columns from 1), a run still open where the row's bytes end short
// of the width dropped, rows without runs left out.
std::string model(const unsigned char* picture, const std::string& name, int height, int width) {
    std::string out = "~LOGO;" + name + ";" + std::to_string(height) + ";" +
                      std::to_string(width) + ";";
    const long long rowBytes = (static_cast<long long>(width) + 4) / 8;
    if (height > 0 && rowBytes > 0) {
        const long long pixels = std::min<long long>(width, rowBytes * 8);
        for (int r = 0; r < height; ++r) {
            const unsigned char* row = picture + r * rowBytes;
            auto dot = [&](long long x) { return ((row[x / 8] >> (7 - x % 8)) & 1) == 0; };
            std::string runs;
            for (long long x = 0; x < pixels;) {
                if (!dot(x)) { ++x; continue; }
                long long end = x;
                while (end < pixels && dot(end)) ++end;
                if (end == pixels && pixels < width) break;  // no known last column
                runs += ";" + std::to_string(x + 1);
                if (end - 1 != x) runs += "-" + std::to_string(end);
                x = end;
            }
            if (!runs.empty()) out += "\n" + std::to_string(r + 1) + runs;
        }
    }
    return out + "\nEND";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    int height = in.ConsumeIntegral<int>();
    const int width = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-8, 600)
                                       : in.ConsumeIntegral<int>();
    const std::string name = in.ConsumeRandomLengthString(32);
    const std::size_t rowBytes = qov::logoRowBytes(width);
    // Rows the input can fill: a larger height is cut to them.
    if (height > 0 && rowBytes > 0) {
        const std::size_t rows = in.remaining_bytes() / rowBytes;
        if (static_cast<std::size_t>(height) > rows) height = static_cast<int>(rows);
    }
    const std::size_t bytes = height > 0 ? rowBytes * static_cast<std::size_t>(height)
                                         : in.remaining_bytes();
    const std::string bits = in.ConsumeBytesAsString(bytes);
    std::unique_ptr<unsigned char[]> picture(new unsigned char[bits.size()]);
    std::memcpy(picture.get(), bits.data(), bits.size());

    qov::sim::SimScope sim;
    char* text = printer_PNGLogo_NORMAL(reinterpret_cast<const char*>(picture.get()),
                                        name.c_str(), height, width);
    FUZZ_CHECK(text != nullptr);
    FUZZ_CHECK(text == model(picture.get(), name.c_str(), height, width));
    std::free(text);
    FUZZ_CHECK(sim->writes.empty());  // no connection: nothing was sent
    return 0;
}
