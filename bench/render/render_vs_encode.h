// The timing both render benchmarks share: in each iteration the input is
// rendered (the sink encoding each label as qovpreview does), then the last
// picture is encoded alone, so both figures and their ratio come from one
// run on one machine state.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "png_io.h"
#include "renderer.h"

namespace bench {

// `last` is the sink's copy of the last picture rendered.
inline void renderVsEncode(benchmark::State& state, qovrender::Renderer& renderer, const std::string& input,
                           const qovrender::Raster& last) {
    using Clock = std::chrono::steady_clock;
    double whole = 0, encode = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        renderer.feed(input);
        const auto t1 = Clock::now();
        std::vector<std::uint8_t> png;
        std::string error;
        qovrender::encodePng(last, 203, png, error);
        benchmark::DoNotOptimize(png.data());
        const auto t2 = Clock::now();
        whole += std::chrono::duration<double, std::milli>(t1 - t0).count();
        encode += std::chrono::duration<double, std::milli>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["render_encode_ms"] = whole / n;
    state.counters["encode_ms"] = encode / n;
    state.counters["ratio"] = encode > 0 ? whole / encode : 0;
}

}  // namespace bench
