// The renderer (what qovpreview and the emulator's previews read from
// anyone): parser, label model, raster and PNG. The input is fed to one
// Renderer in chunks whose sizes come from the input; every printed label's
// picture must stay within the raster caps and survive a PNG round trip
// (libpng reads back the same size and the same dots), and the printer's
// memory must stay within its caps.
//
// Input: the bytes a printer receives, then what FuzzedDataProvider reads
// from the end, last byte first: the resolution (0: 203, 1: 300, 2: 600 dpi),
// the chunk generator's seed (4 bytes) and the largest chunk shift (up to
// 2^k bytes a chunk, k at most 12).
#include <fuzzer/FuzzedDataProvider.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "png_io.h"
#include "renderer.h"

namespace {

using qovrender::Raster;

struct PngSource {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at;
};

void readFromVector(png_structp png, png_bytep data, png_size_t length) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->bytes->size() - src->at) png_error(png, "read past the end");
    std::memcpy(data, src->bytes->data() + src->at, length);
    src->at += length;
}

// Reads the PNG back with libpng row by row, as stored (1-bit gray, 0 is
// ink), and compares each row with the raster's. False on any difference.
bool samePicture(const std::vector<std::uint8_t>& bytes, const Raster& raster) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource src{&bytes, 0};
    std::vector<png_byte> row(static_cast<std::size_t>(raster.stride()));
    // volatile: the result is read after a longjmp from libpng.
    volatile bool same = false;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &src, readFromVector);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    if (w == static_cast<png_uint_32>(raster.width()) && h == static_cast<png_uint_32>(raster.height()) &&
        depth == 1 && colour == PNG_COLOR_TYPE_GRAY && interlace == PNG_INTERLACE_NONE &&
        png_get_rowbytes(png, info) == row.size()) {
        // Read back as the raster stores dots (a set bit is ink); bits past
        // the width in a row's last byte are padding.
        png_set_invert_mono(png);
        bool rowsSame = true;
        const int spare = raster.stride() * 8 - raster.width();
        const auto lastMask = static_cast<png_byte>(0xFF << spare);
        const std::size_t whole = row.size() - 1;
        for (int y = 0; y < raster.height(); ++y) {
            png_read_row(png, row.data(), nullptr);
            const std::uint8_t* want = raster.row(y);
            if (std::memcmp(row.data(), want, whole) != 0 || ((row[whole] ^ want[whole]) & lastMask) != 0)
                rowsSame = false;
        }
        png_read_end(png, nullptr);
        same = rowsSame;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const int kDpi[] = {203, 300, 600};
    qovrender::RenderOptions options;
    options.dpi = kDpi[in.ConsumeIntegralInRange<int>(0, 2)];
    std::uint32_t state = in.ConsumeIntegral<std::uint32_t>() | 1u;
    const unsigned maxShift = in.ConsumeIntegralInRange<unsigned>(0, 12);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    // Pictures within smaller caps, as the render API draws them: the default
    // paper still fits at 600 dpi, and a label at the caps costs milliseconds
    // under the sanitizers instead of a third of a second (three labels at
    // 2,400 x 40,000 dots passed the one-second limit), so the runs go to the
    // language rather than to clearing and compressing empty dots.
    options.metrics.maxRasterColumns = 2400;
    options.metrics.maxRasterRows = 8000;
    const qovrender::ModelMetrics& m = options.metrics;

    long long labels = 0;
    auto onLabel = [&](const qovrender::PrintedLabel& label) {
        ++labels;
        FUZZ_CHECK(label.picture != nullptr);
        const Raster& r = *label.picture;
        FUZZ_CHECK(label.copies >= 1 && label.copies <= m.maxCopies);
        // The paper's width across, its length along, whichever way it turns.
        FUZZ_CHECK(!r.empty() && r.width() <= m.maxRasterColumns && r.height() <= m.maxRasterRows);
        // The PNG round trip for the first labels only: 627 bytes printed 441
        // labels of 2,400 x 3,600 dots, and compressing each took 3.9 s in all.
        if (labels > 16) return;
        std::vector<std::uint8_t> png;
        std::string error;
        FUZZ_CHECK(qovrender::encodePng(r, label.dpi, png, error));
        FUZZ_CHECK(samePicture(png, r));
    };
    std::size_t notes = 0;
    auto onNote = [&notes](long long line, const std::string& text) {
        FUZZ_CHECK(line >= 1 && !text.empty());
        ++notes;
    };
    qovrender::Renderer renderer(options, onLabel, onNote);

    for (std::size_t at = 0; at < bytes.size();) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t n = std::min<std::size_t>(1 + state % (1u << maxShift), bytes.size() - at);
        renderer.feed(bytes.data() + at, n);
        at += n;
    }
    renderer.finish();
    FUZZ_CHECK(renderer.labels() == labels);

    const qovrender::PrinterMemory& mem = renderer.memory();
    FUZZ_CHECK(mem.language.forms.size() <= m.maxForms);
    FUZZ_CHECK(mem.language.logos.size() <= m.maxLogos);
    for (const auto& form : mem.language.forms) FUZZ_CHECK(form.second->elements.size() <= m.maxElementsPerLabel);
    for (const auto& logo : mem.pictures) {
        const Raster& r = logo.second.second;
        FUZZ_CHECK(r.width() <= m.maxRasterColumns && r.height() <= m.maxRasterRows);
        FUZZ_CHECK(static_cast<long long>(r.width()) * r.height() <= m.maxLogoDots);
    }
    const int rotate = mem.language.setup.rotate;
    FUZZ_CHECK(rotate == 0 || rotate == 90 || rotate == 180 || rotate == 270);
    return 0;
}
