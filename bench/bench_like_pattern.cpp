// The LIKE matcher of the management query: the time for a name that
// defeats every '%' must grow with the name's length, not explode with the
// number of '%'. Compare the 30- and 60-character rows: about twice.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/like_pattern.h"

namespace {

void BM_SevenWildcardsNoMatch(benchmark::State& state) {
    const std::string name(static_cast<std::size_t>(state.range(0)) - 1, 'a');
    const std::string text = name + "c";
    for (auto _ : state) benchmark::DoNotOptimize(qov::likeMatch("%a%a%a%a%a%a%a%b", text));
}

}  // namespace

BENCHMARK(BM_SevenWildcardsNoMatch)->Arg(30)->Arg(60)->Arg(120)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
