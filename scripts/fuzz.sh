#!/usr/bin/env bash
# Runs the fuzz targets built in build/fuzz, each for a number of seconds.
# Usage: scripts/fuzz.sh SECONDS [TARGET...]   (default: every target of
# build/fuzz/fuzz_targets.txt, one after the other)
# fuzz/<target>.dict, when there is one, lists words of the input.
# The committed seeds in fuzz/corpus/<target>/ are only read; what a run
# learns goes to build/fuzz/corpus/<target>/, crashes, leaks and time-outs
# (over 1 s) to build/fuzz/artifacts/, the output to build/fuzz/logs/.
# FUZZ_TIMEOUT is the longest a single input may run, in seconds (default 1;
# the smoke run of make test allows more, as a loaded machine can stall a
# process for a second). FUZZ_FLAGS adds libFuzzer options (e.g. -runs=10000000); FUZZ_LOGS names
# another folder for the output.
# Exits non-zero when any target failed; prints each target's final lines.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:?seconds}"; shift
out=build/fuzz
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < "$out/fuzz_targets.txt"
logs="${FUZZ_LOGS:-$out/logs}"
mkdir -p "$logs" "$out/artifacts"

failed=0
for t in "${targets[@]}"; do
  [ -n "$t" ] || continue
  mkdir -p "$out/corpus/$t" "fuzz/corpus/$t"
  log="$logs/$t.log"
  dict=(); [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}" \
    "$out/fuzz_$t" -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-1}" -detect_leaks=1 -print_final_stats=1 "${dict[@]}" ${FUZZ_FLAGS:-} \
      -artifact_prefix="$out/artifacts/$t-" "$out/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  cov=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -o 'cov: [0-9]*')
  if [ $rc -eq 0 ]; then
    echo "fuzz $t: ok, ${runs:-?} runs, ${cov:-cov: ?}"
  else
    echo "fuzz $t: FAILED (exit $rc), see $log"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -5
    failed=1
  fi
done
exit $failed
