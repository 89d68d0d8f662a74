// The renderer's speed on the demo label at 203 dpi: parsing, drawing and
// PNG encoding against encoding the same picture alone (goal: the whole at
// most 3 times the encoding), and the cost per label as one input prints
// 1 to 1,000 labels (goal: flat).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "png_io.h"
#include "render_vs_encode.h"
#include "renderer.h"

namespace {

// What print_label sends for the demo label (see examples/print_label.c).
const std::string kDemoForm =
    "~NORMAL\r\n~PAPER;SIZE 4000,0\r\n~PAPER;SIZE 0,2000\r\n~PAPER;SPEED IPS 6\r\n~CREATE;DEMO;X;300\r\n"
    "FONT;BOLD ON;SYMSET 0\r\nSCALE;DOT;203;203\r\n"
    "BOX\r\n2;10;10;392;798\r\nSTOP\r\nALPHA\r\n60;30;2;2;*QOVLIB demo label*\r\nSTOP\r\n"
    "HORZ\r\n2;80;30;780\r\nSTOP\r\nALPHA\r\n115;30;1;1;*Printed over TCP*\r\nSTOP\r\n"
    "BARCODE\r\nC128B;X2;H5;140;30\r\n*QOV-000123*\r\nPDF\r\nSTOP\r\n"
    "BARCODE\r\nQRCODE;X4;130;660\r\n*https://example.invalid/QOV-000123*\r\nSTOP\r\n"
    "DIAG\r\n1;270;30;380;380\r\nSTOP\r\nVERT\r\n2;420;260;380\r\nSTOP\r\n"
    "ALPHA\r\n330;440;1;1;*Lot 4711  Qty 12*\r\nSTOP\r\nEND\r\n";
const std::string kExecute = "~EXECUTE;DEMO\r\n~NORMAL\r\n";

struct Sink {
    std::vector<std::uint8_t> png;
    qovrender::Raster last;
    long long labels = 0;
    bool keep = false;
    void operator()(const qovrender::PrintedLabel& l) {
        std::string error;
        qovrender::encodePng(*l.picture, l.dpi, png, error);
        benchmark::DoNotOptimize(png.data());
        if (keep) last = *l.picture;
        ++labels;
    }
};

// Render and encode, then encode the same picture alone, in each iteration:
// both figures and their ratio come from one run.
void BM_DemoLabelRenderEncodeVsEncode(benchmark::State& state) {
    Sink sink;
    sink.keep = true;
    qovrender::Renderer renderer(qovrender::RenderOptions(), std::ref(sink), nullptr);
    renderer.feed(kDemoForm + kExecute);  // fonts loaded, glyphs cached: a printer that is running
    bench::renderVsEncode(state, renderer, kDemoForm + kExecute, sink.last);
    state.counters["png_bytes"] = static_cast<double>(sink.png.size());
}
BENCHMARK(BM_DemoLabelRenderEncodeVsEncode)->Unit(benchmark::kMillisecond);

// One input that defines the form once and prints it N times.
void BM_LabelsOfOneInput(benchmark::State& state) {
    const long long n = state.range(0);
    std::string input = kDemoForm;
    for (long long i = 0; i < n; ++i) input += kExecute;
    for (auto _ : state) {
        state.PauseTiming();
        Sink sink;
        auto renderer = std::make_unique<qovrender::Renderer>(qovrender::RenderOptions(), std::ref(sink), nullptr);
        renderer->feed(kDemoForm + kExecute);  // fonts loaded and glyphs cached, as in a running printer
        state.ResumeTiming();
        renderer->feed(input);
        if (sink.labels != n + 1) state.SkipWithError("labels missing");
    }
    // CPU seconds per label (shown with an SI prefix, e.g. 900u = 0.9 ms).
    state.counters["per_label"] =
        benchmark::Counter(static_cast<double>(n * state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LabelsOfOneInput)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
