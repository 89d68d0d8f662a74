#!/usr/bin/env bash
# The renderer and the emulator before and after a change, side by side in
# one run: the tree of BASE (a commit, default the branch's fork point from
# main) is unpacked to a temporary folder, bench_jobs.cpp is built against
# it and against this tree, and both are run alternately, twice each, then
# both emulators are timed over TCP. Run from the repository root after
# `cmake --build --preset linux --target bench_jobs qovemu`.
set -euo pipefail
base="${1:-$(git merge-base HEAD main 2>/dev/null || git rev-parse HEAD~1)}"
job="${QOV_BENCH_JOB:-$(pwd)/tests/jobs/01-driver-shipping-pcx-logo.txt}"
# The earlier tree and its build are kept for the next run.
tmp="/tmp/qov-bench-$(git rev-parse --short "$base")"
[ -f "$tmp/CMakeLists.txt" ] || { mkdir -p "$tmp" && git archive "$base" | tar -x -C "$tmp"; }
cp bench/render/bench_jobs.cpp bench/render/render_vs_encode.h "$tmp/bench/render/"
grep -q bench_jobs "$tmp/cmake/linux.cmake" || cat >> "$tmp/cmake/linux.cmake" <<'CMAKE'
if(TARGET qovrender AND TARGET benchmark::benchmark)
  add_executable(bench_jobs bench/render/bench_jobs.cpp)
  target_link_libraries(bench_jobs PRIVATE qovrender benchmark::benchmark)
endif()
CMAKE
cmake -S "$tmp" -B "$tmp/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$tmp/build" -j2 --target bench_jobs qovemu >/dev/null
for round in 1 2; do
  for side in before after; do
    bin=build/linux/bench_jobs
    [ "$side" = before ] && bin="$tmp/build/bench_jobs"
    echo "== $side ($round)"
    QOV_BENCH_JOB="$job" "$bin" --benchmark_min_time=2 2>/dev/null | grep -E "^BM_"
  done
done
for side in before after; do
  bin=build/linux/qovemu
  [ "$side" = before ] && bin="$tmp/build/qovemu"
  echo "== emulator $side"
  /usr/bin/python3 bench/render/emulator_rate.py "$bin" 20000
done
