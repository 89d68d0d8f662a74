// Logo conversion speed on a 4,000 x 6,000 picture (500 bytes a row, 3 MB):
// all blank, text-like (short strokes in lines of text, blank margins and
// gaps) and random, for the library's converter and for a plain loop that
// tests every bit in turn. Both append into a reserved string with the same
// number formatting, so the figures compare the scanning alone.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "formatters/logo_conversion.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 6000;
constexpr int kRowBytes = (kWidth + 4) / 8;

using Picture = std::vector<unsigned char>;

void setDot(Picture& p, int row, int x) {
    p[static_cast<std::size_t>(row) * kRowBytes + x / 8] &=
        static_cast<unsigned char>(~(0x80u >> (x % 8)));
}

Picture blankPicture() { return Picture(static_cast<std::size_t>(kRowBytes) * kHeight, 0xFF); }

// Lines of text 40 rows high with 24 blank rows between them and 200-pixel
// margins; a line's rows carry words of 3 to 8 glyphs, a glyph 1 to 3
// strokes of 1 to 4 dots in a 20-pixel cell, words 20 to 60 pixels apart.
Picture textLikePicture() {
    Picture p = blankPicture();
    std::mt19937 rng(7);
    auto pick = [&rng](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    for (int top = 100; top + 40 < kHeight; top += 64) {
        for (int row = top; row < top + 40; ++row) {
            int x = 200;
            while (x < kWidth - 400) {
                const int glyphs = pick(3, 8);
                for (int g = 0; g < glyphs; ++g, x += 20) {
                    const int strokes = pick(1, 3);
                    for (int s = 0; s < strokes; ++s) {
                        const int at = x + pick(0, 15);
                        const int length = pick(1, 4);
                        for (int d = 0; d < length; ++d) setDot(p, row, at + d);
                    }
                }
                x += pick(20, 60);
            }
        }
    }
    return p;
}

Picture randomPicture() {
    Picture p(static_cast<std::size_t>(kRowBytes) * kHeight);
    std::mt19937 rng(11);
    for (auto& b : p) b = static_cast<unsigned char>(rng());
    return p;
}

void appendNumber(std::string& out, long long v) {
    char buf[24];
    char* end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    out.append(buf, static_cast<std::size_t>(end - buf));
}

void appendRun(std::string& out, int first, int last) {
    out += ';';
    appendNumber(out, first);
    if (last != first) {
        out += '-';
        appendNumber(out, last);
    }
}

// The reference: every bit of every row byte in turn.
std::string perPixelLogo(const unsigned char* picture, const char* name, int height, int width) {
    std::string out;
    out.reserve(static_cast<std::size_t>(height) * ((width + 4) / 8) / 4);
    out += "~LOGO;";
    out += name;
    out += ';';
    appendNumber(out, height);
    out += ';';
    appendNumber(out, width);
    out += ';';
    const int rowBytes = (width + 4) / 8;
    for (int r = 0; r < height && rowBytes > 0; ++r) {
        const std::size_t lineStart = out.size();
        out += '\n';
        appendNumber(out, r + 1);
        const std::size_t runsStart = out.size();
        bool open = false;
        int first = 0;
        for (int k = 0; k < rowBytes; ++k) {
            const unsigned byte = picture[static_cast<std::size_t>(r) * rowBytes + k];
            for (int bit = 7; bit >= 0; --bit) {
                const int x = 8 * k + (7 - bit);
                if (x >= width) break;
                if (((byte >> bit) & 1u) == 0) {
                    if (!open) {
                        open = true;
                        first = x + 1;
                    }
                    if (x == width - 1) {
                        appendRun(out, first, x + 1);
                        open = false;
                    }
                } else if (open) {
                    appendRun(out, first, x);
                    open = false;
                }
            }
        }
        if (out.size() == runsStart) out.resize(lineStart);
    }
    out += "\nEND";
    return out;
}

template <typename Convert>
void run(benchmark::State& state, const Picture& picture, Convert convert) {
    std::size_t outputBytes = 0;
    for (auto _ : state) {
        std::string text = convert(picture.data(), "BENCH", kHeight, kWidth);
        outputBytes = text.size();
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(picture.size()));
    state.counters["output_bytes"] = static_cast<double>(outputBytes);
}

const Picture& blank() {
    static const Picture p = blankPicture();
    return p;
}
const Picture& textLike() {
    static const Picture p = textLikePicture();
    return p;
}
const Picture& randomDots() {
    static const Picture p = randomPicture();
    return p;
}

void BM_LogoBlank(benchmark::State& s) { run(s, blank(), qov::convertLogo); }
void BM_LogoBlankPerPixel(benchmark::State& s) { run(s, blank(), perPixelLogo); }
void BM_LogoTextLike(benchmark::State& s) { run(s, textLike(), qov::convertLogo); }
void BM_LogoTextLikePerPixel(benchmark::State& s) { run(s, textLike(), perPixelLogo); }
void BM_LogoRandom(benchmark::State& s) { run(s, randomDots(), qov::convertLogo); }
void BM_LogoRandomPerPixel(benchmark::State& s) { run(s, randomDots(), perPixelLogo); }

// Both converters must agree before their speeds mean anything.
void BM_LogoConvertersAgree(benchmark::State& state) {
    for (auto _ : state) {
        for (const Picture* p : {&blank(), &textLike(), &randomDots()}) {
            if (qov::convertLogo(p->data(), "BENCH", kHeight, kWidth) !=
                perPixelLogo(p->data(), "BENCH", kHeight, kWidth)) {
                state.SkipWithError("converters disagree");
                return;
            }
        }
    }
}

}  // namespace

BENCHMARK(BM_LogoConvertersAgree)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoBlank)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoBlankPerPixel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoTextLike)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoTextLikePerPixel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoRandomPerPixel)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
