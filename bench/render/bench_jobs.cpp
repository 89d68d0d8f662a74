// Rendering against PNG encoding of the same picture, for the demo label and
// for a job from a file (QOV_BENCH_JOB, default the largest example job): in
// each iteration the input is rendered (each label encoded as it comes, as
// qovpreview does), then the last picture is encoded alone; the ratio of the
// two comes from one run. bench/render/compare.sh runs this source against
// the previous renderer too, side by side.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "png_io.h"
#include "render_vs_encode.h"
#include "renderer.h"

namespace {

const std::string kDemo =
    "~NORMAL\r\n~PAPER;SIZE 4000,0\r\n~PAPER;SIZE 0,2000\r\n~PAPER;SPEED IPS 6\r\n~CREATE;DEMO;X;300\r\n"
    "FONT;BOLD ON;SYMSET 0\r\nSCALE;DOT;203;203\r\n"
    "BOX\r\n2;10;10;392;798\r\nSTOP\r\nALPHA\r\n60;30;2;2;*QOVLIB demo label*\r\nSTOP\r\n"
    "HORZ\r\n2;80;30;780\r\nSTOP\r\nALPHA\r\n115;30;1;1;*Printed over TCP*\r\nSTOP\r\n"
    "BARCODE\r\nC128B;X2;H5;140;30\r\n*QOV-000123*\r\nPDF\r\nSTOP\r\n"
    "BARCODE\r\nQRCODE;X4;130;660\r\n*https://example.invalid/QOV-000123*\r\nSTOP\r\n"
    "DIAG\r\n1;270;30;380;380\r\nSTOP\r\nVERT\r\n2;420;260;380\r\nSTOP\r\n"
    "ALPHA\r\n330;440;1;1;*Lot 4711  Qty 12*\r\nSTOP\r\nEND\r\n~EXECUTE;DEMO\r\n~NORMAL\r\n";

std::string jobBytes() {
    const char* path = std::getenv("QOV_BENCH_JOB");
    std::ifstream in(path ? path : "tests/jobs/01-driver-shipping-pcx-logo.txt", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Sink {
    qovrender::Raster last;
    long long labels = 0;
    void operator()(const qovrender::PrintedLabel& l) {
        std::vector<std::uint8_t> png;
        std::string error;
        qovrender::encodePng(*l.picture, l.dpi, png, error);
        benchmark::DoNotOptimize(png.data());
        last = *l.picture;
        ++labels;
    }
};

void renderVsEncode(benchmark::State& state, const std::string& input) {
    Sink sink;
    qovrender::Renderer renderer(qovrender::RenderOptions(), std::ref(sink), nullptr);
    renderer.feed(input);  // fonts loaded, glyphs cached: a printer that is running
    if (sink.labels == 0) {
        state.SkipWithError("the input prints no label");
        return;
    }
    bench::renderVsEncode(state, renderer, input, sink.last);
}

void BM_DemoLabel(benchmark::State& state) { renderVsEncode(state, kDemo); }
BENCHMARK(BM_DemoLabel)->Unit(benchmark::kMillisecond);

void BM_Job(benchmark::State& state) { renderVsEncode(state, jobBytes()); }
BENCHMARK(BM_Job)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
