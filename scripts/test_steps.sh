#!/usr/bin/env bash
# make test's driver: runs the steps named on the command line in order, each
# as its own make call, stops at the first that fails, and ends with how long
# each took (wall and CPU seconds; also kept in build/test-times.txt).
# A build step is made once: later steps are told it is done (make -o).
# A step written `bg:NAME` starts NAME in the background (its output in
# build/test-logs/NAME.log); the later step NAME waits for it, prints its
# output and counts its time. The Wine suite runs so: most of it is one
# process under an emulator, leaving a core for the Linux builds and suites.
# Once the packages are in, the Wine prefix is created in the background
# (scripts/wine_prefix.sh), as it is mostly one process waiting on an
# emulator while the trees build; the Wine suite waits for it.
set -uo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
times=build/test-times.txt
: >"$times"

# CPU seconds of every finished child so far: bash's `times` (its second
# line), called in this shell (a subshell has no finished children yet) and
# read back from a file.
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
children_cpu() {
  times >"$times_file"
  children_cpu_s=$(awk 'NR == 2 {
    n = split($0, f, " "); s = 0
    for (i = 1; i <= n; i++) { split(f[i], p, "m"); s += p[1] * 60 + p[2] }
    print s }' "$times_file")
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

made=()
declare -A background=()
logs=build/test-logs
mkdir -p "$logs"
is_build_step() {
  case "$1" in build|build-asan|fuzz-build|dll|package) return 0 ;; *) return 1 ;; esac
}

total_start=$(now_ms)
for step in "$@"; do
  if [ "${step#bg:}" != "$step" ]; then
    name=${step#bg:}
    echo "make test: $name runs in the background ($logs/$name.log)"
    rm -f "$logs/$name.rc" "$logs/$name.end"
    ( make --no-print-directory "${made[@]}" "$name" >"$logs/$name.log" 2>&1
      echo $? >"$logs/$name.rc"; now_ms >"$logs/$name.end" ) &
    background[$name]="$! $(now_ms)"
    continue
  fi
  start=$(now_ms)
  children_cpu; cpu_before=$children_cpu_s
  if [ -n "${background[$step]:-}" ]; then
    read -r pid start <<<"${background[$step]}"
    wait "$pid"
    cat "$logs/$step.log"
    rc=$(cat "$logs/$step.rc" 2>/dev/null || echo 1)
    wall=$(( ($(cat "$logs/$step.end" 2>/dev/null || now_ms) - start + 500) / 1000 ))
  else
    make --no-print-directory "${made[@]}" "$step"
    rc=$?
    wall=$(( ($(now_ms) - start + 500) / 1000 ))
  fi
  children_cpu
  cpu=$(awk -v a="$cpu_before" -v b="$children_cpu_s" 'BEGIN { printf "%.0f", b - a }')
  printf '%-18s %5d s wall %5d s cpu\n' "$step" "$wall" "$cpu" >>"$times"
  if [ $rc -ne 0 ]; then
    echo "make test: step $step failed (exit $rc); times so far:"
    cat "$times"
    for name in "${!background[@]}"; do
      [ -f "$logs/$name.rc" ] || echo "make test: waiting for $name, still running in the background ($logs/$name.log)"
    done
    wait
    exit $rc
  fi
  is_build_step "$step" && made+=(-o "$step")
  if [ "$step" = deps ] && [ -x /usr/lib/wine/wine64 ]; then
    mkdir -p build/wine
    bash scripts/wine_prefix.sh >build/wine/prefix.log 2>&1 &
  fi
done
printf '%-18s %5d s wall\n' total $(( ($(now_ms) - total_start + 500) / 1000 )) >>"$times"
echo "make test: time of each step (build/test-times.txt)"
cat "$times"
wait
bash scripts/test_summary.sh
