#!/usr/bin/env bash
# The Wine suite: QOVLIB.dll (x64 and x86) under wine64 and wine32 against
# real transports.
#
# Sets up, all under build/wine/:
#  - a private Wine prefix (created once, reused while its marker matches);
#  - wine_peer, the printer: TCP ports for openethernet and for the CUPS
#    queue's deliveries, the far end of the COM1 pty, and a control port;
#  - a pty pair (socat); COM1 of the prefix is one end (registry
#    HKLM\Software\Wine\Ports, read when the wineserver starts);
#  - LPT1 of the prefix mapped to a file;
#  - a private cupsd on 127.0.0.1 (scripts/private_cups.sh, outside the
#    checkout) with a raw queue whose socket backend delivers to the peer
#    (CUPS_SERVER points Wine's spooler at it).
# Then runs build/<arch>/wine_tests.exe once per architecture: the DLL's
# cases, the win32 backend's contract cases and the example's print, in one
# process (an x86 process costs about a minute where 32-bit programs run only
# under an emulator); x64 always through wine64, never the 32-bit loader.
# Prints "N passed, N failed" for each. Where this machine cannot run 32-bit
# x86 programs (scripts/i386_host.sh), the x86 run is reported as skipped with
# the reason, and recorded in build/skipped/wine-x86.txt for make test's
# last line. Exits non-zero on any failure.
# QOV_WINE_FILTER=<text> runs only the cases whose names contain it.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
work=$repo/build/wine
prefix=$work/prefix
mkdir -p "$work"

tool() {  # the first of the candidates that exists
    for c in "$@"; do
        if command -v "$c" >/dev/null 2>&1; then command -v "$c"; return; fi
        if [ -x "$c" ]; then echo "$c"; return; fi
    done
    echo "wine_tests: none of $* is installed (make deps)" >&2
    exit 1
}
wine64=$(tool /usr/lib/wine/wine64 wine64)
skipped_record=$repo/build/skipped/wine-x86.txt
rm -f "$skipped_record"
x86_host=$(bash scripts/i386_host.sh status) && x86_runs=1 || x86_runs=0
wine32=
[ "$x86_runs" -eq 0 ] || wine32=$(tool /usr/lib/wine/wine wine)
wineserver=$(tool /usr/lib/wine/wineserver wineserver)
lpadmin=$(tool /usr/sbin/lpadmin lpadmin)
socat=$(tool socat)

for f in build/win64/wine_tests.exe build/win32/wine_tests.exe build/win64/QOVLIB.dll build/win32/QOVLIB.dll; do
    [ -f "$f" ] || { echo "wine_tests: $f is missing (make dll)" >&2; exit 1; }
done

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8        # Wine's ANSI code page is then 1252
unset DISPLAY WAYLAND_DISPLAY  # message boxes return at once

# ---- processes of this run, stopped on exit ------------------------------
pids=()
cups_dir=
cleanup() {
    [ -z "$cups_dir" ] || bash scripts/private_cups.sh stop "$cups_dir" || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    # The prefix's wineserver leaves on its own once its last client has.
    [ -d "$prefix" ] && "$wineserver" -w 2>/dev/null || true
}
trap cleanup EXIT

wait_for() {  # wait_for <seconds> <command...>
    local limit=$(( $1 * 10 )); shift
    for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.1; done
    return 1
}

# ---- the peer ---------------------------------------------------------------
peer=$work/wine_peer
cc -std=c11 -O2 -Wall -Wextra -Werror -o "$peer" tests/wine/wine_peer.c

rm -f "$work/com1" "$work/com1-peer"
"$socat" pty,raw,echo=0,link="$work/com1" pty,raw,echo=0,link="$work/com1-peer" \
    >"$work/socat.log" 2>&1 &
pids+=($!)
wait_for 10 test -e "$work/com1-peer" || { echo "wine_tests: socat made no pty pair" >&2; exit 1; }
wait_for 10 test -e "$work/com1" || { echo "wine_tests: socat made no pty pair" >&2; exit 1; }

mkdir -p "$work/peer"
rm -f "$work/peer.ports" "$work"/peer/*.log
"$peer" --ports-file "$work/peer.ports" --log-dir "$work/peer" \
    --serial "$work/com1-peer" --wine-serial "$work/com1" &
pids+=($!)
wait_for 10 test -s "$work/peer.ports" || { echo "wine_tests: the peer did not start" >&2; exit 1; }
peer_ports=$(cat "$work/peer.ports")
port_of() { sed -E "s/.*$1=([0-9]+).*/\\1/" <<<"$peer_ports"; }
tcp_port=$(port_of tcp)
cups_peer_port=$(port_of cups)
control_port=$(port_of control)

peer_request() {  # one request on the peer's control port
    exec 3<>"/dev/tcp/127.0.0.1/$control_port"
    printf '%s\n' "$1" >&3
    cat <&3
    exec 3<&-
}

# ---- LPT1: a file ---------------------------------------------------------------
lpt1=$work/lpt1.out
: >"$lpt1"

# ---- the Wine prefix (made once; make test starts it early) ------------------
bash scripts/wine_prefix.sh
ln -sfn "$work/com1" "$prefix/dosdevices/com1"
ln -sfn "$lpt1" "$prefix/dosdevices/lpt1"

# ---- a private CUPS server with a raw queue --------------------------------------
# The set-up the Linux suite uses too; its folder is under /tmp, where the
# lp user that runs the CUPS backends can read the jobs.
cups_env=$(bash scripts/private_cups.sh start) ||
    { echo "wine_tests: the private CUPS server did not start" >&2; exit 1; }
cups_dir=$(sed -n 's/^QOV_CUPS_DIR=//p' <<<"$cups_env")
export CUPS_SERVER=$(sed -n 's/^QOV_CUPS_SERVER=//p' <<<"$cups_env")
queue=qovwine
lpadmin_out=$("$lpadmin" -h "$CUPS_SERVER" -p "$queue" -E -v "socket://127.0.0.1:$cups_peer_port" 2>&1) ||
    { echo "wine_tests: lpadmin failed: $lpadmin_out" >&2; exit 1; }

export QOV_PEER_PORTS="$peer_ports"
export QOV_QUEUE=$queue
export QOV_LPT1_FILE=$lpt1
export QOV_FREE_PORT=$("$peer" --free-port)
# The reopen case: 100 opens of each kind show a handle kept per open plainly
# and cost seconds; QOV_REOPENS=5000 runs the long version (about 13 minutes
# for x64, far more for x86 under an emulator).
export QOV_REOPENS=${QOV_REOPENS:-100}

# ---- the suites ----------------------------------------------------------------
status=0
run_arch() {  # run_arch <arch> <build dir> <loader>
    local arch=$1 dir=$2 loader=$3 log=$work/wine_tests-$1.log
    echo "== QOVLIB.dll $arch: wine_tests.exe (the DLL's cases, the contract cases, print_label)"
    peer_request "CLEAR tcp" >/dev/null
    local rc=0
    (cd "build/$dir" && "$loader" wine_tests.exe --gtest_brief=1 \
        ${QOV_WINE_FILTER:+"--gtest_filter=*$QOV_WINE_FILTER*"} \
        --print-label 127.0.0.1 "$tcp_port" ${QOV_WINE_FILTER:+"$QOV_WINE_FILTER"}) 2>&1 | tee "$log" || rc=$?

    local passed failed cpassed cfailed
    passed=$(sed -n -E 's/^([0-9]+) passed, ([0-9]+) failed.*/\1/p' "$log" | tail -1)
    failed=$(sed -n -E 's/^([0-9]+) passed, ([0-9]+) failed.*/\2/p' "$log" | tail -1)
    passed=${passed:-0}
    failed=${failed:-1}
    cpassed=$(sed -n -E 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -1)
    cfailed=$(sed -n -E 's/^\[  FAILED  \] ([0-9]+) tests?, listed below:.*/\1/p' "$log" | tail -1)
    cpassed=${cpassed:-0}
    cfailed=${cfailed:-0}
    # GoogleTest printed nothing: the process ended before its cases did.
    grep -q '^\[==========\]' "$log" || cfailed=$((cfailed > 0 ? cfailed : 1))
    echo "contract $arch: $cpassed passed, $cfailed failed"
    passed=$((passed + cpassed))
    failed=$((failed + cfailed))

    if grep -qx 'print_label: exit 0' <(tr -d '\r' <"$log") &&
        received=$(peer_request "GET tcp") &&
        grep -q '~CREATE;LABEL1;X;300' <<<"$received" &&
        grep -q '~EXECUTE;LABEL1' <<<"$received"; then
        echo "[  OK  ] print_label"
        passed=$((passed + 1))
    else
        echo "[ FAIL ] print_label (see $log)"
        failed=$((failed + 1))
    fi
    # Every case passed but the process failed (a crash on the way out).
    [ "$rc" -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
    echo "$arch: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] || status=1
}

run_arch x64 win64 "$wine64"
if [ "$x86_runs" -eq 1 ]; then
    [ "$x86_host" = native ] || echo "== x86: 32-bit programs run here through the emulator registered for them ($x86_host)"
    run_arch x86 win32 "$wine32"
else
    echo "x86: skipped (${x86_host#unavailable: })"
    mkdir -p "${skipped_record%/*}"
    echo "the x86 Wine suite (${x86_host#unavailable: })" >"$skipped_record"
fi
exit $status
