// Composing one large form: the cost per element must not grow with the
// number of elements already in the form (each form's text grows in place).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "qovlib.h"

namespace {

void appendMixedElement(int form, int i) {
    switch (i % 6) {
    case 0: QOVA_PrintTextEng(form, i, 20, 1, 1, "Lot number 4711"); break;
    case 1: QOVA_DrawBox(form, 2, i, 20, 110, 220); break;
    case 2: QOVA_DrawLine(form, 3, i, 10, i + 1, 200); break;
    case 3: QOVA_PrintBarcode(form, 7, i, 200, "https://example.invalid/item"); break;
    case 4: QOVA_PrintImage(form, i, 60, "LOGO1"); break;
    default: QOVA_VerifyRFID(form, "", "T", 96, "H"); break;
    }
}

void BM_ComposeAndFetchForm(benchmark::State& state) {
    const int elements = static_cast<int>(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        QOVA_DLLinit();
        QOVA_SetBarcode(7, 2, "90");
        QOVA_SetBarcode(7, 3, "4");
        const int form = QOVA_CreateForm("BENCH");
        for (int i = 0; i < elements; ++i) appendMixedElement(form, i);
        char* text = QOVA_GetFormData(form);
        benchmark::DoNotOptimize(text);
        if (text == nullptr) {
            state.SkipWithError("QOVA_GetFormData returned no text");
            break;
        }
        bytes = std::strlen(text);
        std::free(text);
    }
    state.SetItemsProcessed(state.iterations() * elements);
    state.counters["form_bytes"] = static_cast<double>(bytes);
    QOVA_DLLinit();
}

}  // namespace

BENCHMARK(BM_ComposeAndFetchForm)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
